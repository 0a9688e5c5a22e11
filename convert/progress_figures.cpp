#include "convert/progress_figures.h"

#include <cstdio>
#include <limits>

namespace {

// Truncation toward zero, held within the int range.
int To_Int(double value) {
  constexpr double kMax = std::numeric_limits<int>::max();
  constexpr double kMin = std::numeric_limits<int>::min();
  if (!(value < kMax)) return value > 0 ? std::numeric_limits<int>::max() : 0;
  if (value < kMin) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

}  // namespace

ProgressFigures Compute_Progress_Figures(const ConversionProgress& progress,
                                         const ConversionSettings& settings, int elapsed_seconds) {
  ProgressFigures f{};
  f.frames_written = progress.frames_written.load();
  f.kbytes_written = progress.kbytes_written.load();
  f.current_file_index = progress.current_file_index.load();
  f.input_kbytes_read = progress.input_kbytes_read.load();
  f.share_known = !settings.convert_all_frames || settings.input_size_known;
  if (!f.share_known) return f;
  double current, total;
  if (settings.convert_all_frames) {
    current = progress.input_kbytes_read.load();
    total = static_cast<double>(settings.total_input_kbytes);
  } else {
    current = f.frames_written;
    total = settings.frame_limit;
  }
  f.bar_position = total != 0 ? To_Int(current / total * 1000.0) : 0;
  f.remaining_seconds = current != 0 ? To_Int(elapsed_seconds / current * (total - current)) : 0;
  return f;
}

std::string Format_Clock(int seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, (seconds / 60) % 60,
                seconds % 60);
  return text;
}
