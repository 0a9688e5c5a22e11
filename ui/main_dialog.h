// The main window "Vidorlan MPEG": the four pages in a tab control, "Start
// Conversion..." and "Exit".
//
// The window decides when the listed input is open as a stream: leaving the
// Input page probes it, returning to the Input page closes it. "Start
// Conversion..." is enabled exactly while a stream is open; every job
// consumes its input, so the stream is closed when the job is over.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QTabWidget>

#include "convert/conversion_job.h"

class ConverterApp;

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  enum Page { kInputPage = 0, kProcessingPage = 1, kOutputPage = 2, kAboutPage = 3 };

  explicit MainDialog(ConverterApp& app);
  ~MainDialog() override;

  // "Start Conversion...": checks the pages, creates the first AVI file
  // (the compressor dialog shows), runs the job under the progress dialog
  // and then closes the input. A refused start leaves everything as it was.
  void OnStartConversion();

  // Exit, the close box and Escape: closes an open stream and ends the
  // window with result 2.
  void reject() override;

  // For tests: how the job's worker thread is started.
  void SetJobLauncher(ConversionJob::Launcher launcher) { launcher_ = std::move(launcher); }

 private:
  void OnTabChanged(int index);

  ConverterApp& app_;
  int current_page_ = kInputPage;
  QTabWidget tabs_{this};
  // Given their parent after the pages are in place, so that the keyboard
  // goes from the tabs through the visible page to these two.
  QPushButton start_;
  QPushButton exit_;
  ConversionJob::Launcher launcher_;
};
