// The application: the processor check at start-up and the objects that
// exist once for the whole run of the program.
#pragma once

#include "convert/avi_writer.h"
#include "convert/conversion_job.h"
#include "convert/frame_source.h"
#include "ui/about_page.h"
#include "ui/input_file_names.h"
#include "ui/input_page.h"
#include "ui/output_page.h"
#include "ui/processing_page.h"

// The run's single instances, constructed in this order (after the Qt
// application object, which the pages need) and destroyed in the reverse
// order. The pages' windows are put into place by the main window.
class ConverterApp {
 public:
  ConverterApp();
  ~ConverterApp();
  ConverterApp(const ConverterApp&) = delete;
  ConverterApp& operator=(const ConverterApp&) = delete;

  // The start-up sequence: refuses a processor without MMX with a message
  // (result 1, no window shown); otherwise installs the fastest kernels the
  // processor runs, empties the input table, runs the main window modally
  // until it closes, and returns 0.
  int Run();
  int Run(bool cpu_has_mmx);

  // Plain storage first: the stream layer holds on to the table while the
  // frame source is open, so it has to outlive the frame source.
  InputFileNames input_file_names;
  FrameSource frame_source;
  AviWriter avi_writer;
  InputPage input_page;
  ProcessingPage processing_page;
  OutputPage output_page;
  AboutPage about_page;
  // The job's parameters and the record it shares with the progress
  // dialog; both keep their values between jobs.
  ConversionSettings conversion_settings;
  ConversionProgress conversion_progress;
};
