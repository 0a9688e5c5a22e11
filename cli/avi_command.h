// The AVI conversion of vidorlan-convert: the options become the pages'
// choices (defaults as the Processing and Output pages set them after a
// probe), then the shared start checks, the job, and a progress line.
#pragma once

#include <atomic>

#include "cli/options.h"
#include "convert/frame_source.h"

// Runs the job on the open frame source and returns the exit status.
// `interrupt` turns true on Ctrl-C, which cancels the job.
int Run_Avi_Conversion(const CliOptions& options, FrameSource& source,
                       const char* const* input_paths, const std::atomic<bool>& interrupt);

// Prints the available compressors, one per line.
void List_Compressors();
