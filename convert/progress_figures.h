// The figures a running job shows once a second (the progress dialog and the
// command line's progress line): bar position, remaining time, clock texts.
#pragma once

#include <cstdint>
#include <string>

#include "convert/conversion_job.h"

struct ProgressFigures {
  int32_t frames_written;
  int64_t kbytes_written;
  int32_t current_file_index;
  int64_t input_kbytes_read;
  // False for a job of all frames whose input includes a pipe: there is no
  // total, so no bar position and no remaining time (both 0).
  bool share_known;
  int bar_position;       // 0..1000 while current <= total; beyond 1000 when it passes it
  int remaining_seconds;  // negative when current has passed total
};

// The progress pair is (input KBytes read, total input KBytes) for a job of
// all frames, else (frames written, frame limit). Quotients with a zero
// divisor give 0; results beyond the int range are held at its ends.
ProgressFigures Compute_Progress_Figures(const ConversionProgress& progress,
                                         const ConversionSettings& settings, int elapsed_seconds);

// "%02d:%02d:%02d" of hours, minutes and seconds; each field of a negative
// time keeps its sign.
std::string Format_Clock(int seconds);
