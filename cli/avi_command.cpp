#include "cli/avi_command.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <string>

#include "cli/exit_status.h"
#include "convert/avi_writer.h"
#include "convert/conversion_job.h"
#include "convert/messages.h"
#include "convert/progress_figures.h"
#include "convert/stream_properties.h"

namespace {

void Report(const char* message) {
  std::fprintf(stderr, "vidorlan-convert: %s\n", message);
}

// The value of a number edit given on the command line; the options
// refuse what the edit could not hold, so it fits.
NumberEdit Number_Edit_Of(long value) {
  return NumberEdit{false, static_cast<int32_t>(value)};
}

// The pages' controls as a probe leaves them, changed by the options.
StartForm Form_From_Options(const CliOptions& o, const StreamInfo& stream) {
  StartForm form;
  form.output_path = o.output.value_or("");
  form.deinterlace = o.deinterlace.value_or(stream.progressive_sequence == 0);
  form.process_all_frames = !o.frames.has_value();
  if (o.frames) form.frame_count = Number_Edit_Of(*o.frames);
  if (o.split_mbytes) {
    form.split_choice = SPLIT_BY_SIZE;
    form.split_mbytes = Number_Edit_Of(*o.split_mbytes);
  } else if (o.split_frames) {
    form.split_choice = SPLIT_BY_FRAMES;
    form.split_frames = Number_Edit_Of(*o.split_frames);
  }
  form.aspect_selection =
      o.aspect_index.value_or(Default_Aspect_Index(stream.aspect_ratio_information));
  form.frame_rate_selection = o.frame_rate_index.value_or(Default_Frame_Rate_Index(stream));
  form.crop_top = o.crop_top.value_or(0);
  form.crop_height = o.crop_height.value_or(stream.coded_height);
  form.audio.selection = static_cast<int>(std::min<long>(o.audio, INT_MAX)) - 1;
  form.audio.output = o.audio_output;
  return form;
}

CompressOptions Compress_Options_From(const CliOptions& o) {
  CompressOptions options;
  options.compressor = o.codec == "uncompressed" ? "" : o.codec;
  options.keyframe_every = static_cast<int>(o.keyframe.value_or(0));
  options.data_rate = static_cast<int>(o.data_rate.value_or(0));
  options.quality = static_cast<int>(o.quality.value_or(0));
  return options;
}

// The progress line on a terminal: the progress dialog's figures.
class ProgressLine {
 public:
  ProgressLine(bool enabled, const ConversionSettings& settings)
      : enabled_(enabled), settings_(settings) {}

  void Show(const ConversionProgress& progress, int elapsed_seconds) {
    if (!enabled_) return;
    ProgressFigures f = Compute_Progress_Figures(progress, settings_, elapsed_seconds);
    const char* file = "";
    for (int i = 0; settings_.input_paths[i] != nullptr; ++i) {
      if (i == f.current_file_index) file = settings_.input_paths[i];
    }
    if (f.share_known) {
      std::fprintf(stderr, "\r%d frames, %lld KBytes, elapsed %s, remaining %s, %3d%%, %s\033[K",
                   f.frames_written, static_cast<long long>(f.kbytes_written),
                   Format_Clock(elapsed_seconds).c_str(), Format_Clock(f.remaining_seconds).c_str(),
                   f.bar_position / 10, file);
    } else {
      // Input from a pipe has no size: how much was read instead of a share.
      std::fprintf(stderr, "\r%d frames, %lld KBytes, elapsed %s, %lld KBytes read, %s\033[K",
                   f.frames_written, static_cast<long long>(f.kbytes_written),
                   Format_Clock(elapsed_seconds).c_str(),
                   static_cast<long long>(f.input_kbytes_read), file);
    }
    shown_ = true;
  }

  void End() {
    if (shown_) std::fputc('\n', stderr);
  }

 private:
  bool enabled_;
  bool shown_ = false;
  const ConversionSettings& settings_;
};

}  // namespace

void List_Compressors() {
  for (const CompressorInfo& c : AvailableCompressors()) {
    std::string settings;
    if (c.honours_keyframe_every) settings += " keyframe";
    if (c.honours_data_rate) settings += " data-rate";
    if (c.honours_quality) settings += " quality";
    std::printf("%-13s %-32s %s%s%s\n", c.name.c_str(), c.display_name.c_str(),
                c.lossless ? "lossless" : "lossy", settings.empty() ? "" : ";", settings.c_str());
  }
}

int Run_Avi_Conversion(const CliOptions& options, FrameSource& source,
                       const char* const* input_paths, const std::atomic<bool>& interrupt) {
  ConversionSettings settings;
  StartResult checked = Read_Start_Form(Form_From_Options(options, source.stream_info),
                                        source.stream_info, input_paths, &settings);
  if (checked.outcome == StartResult::kRefused) {
    Report(checked.message);
    return kExitStartRefused;
  }
  if (checked.outcome == StartResult::kSilent) return kExitStartRefused;

  AviWriter writer;
  CompressOptions compress = Compress_Options_From(options);
  writer.SetChooseCompressorHook([&compress](CompressOptions& chosen) {
    chosen = compress;
    return true;
  });
  ConversionProgress progress;
  ConversionJob job(source, writer, settings, progress);
  StartResult started = job.Start();
  if (started.outcome != StartResult::kStarted) {
    if (started.message != nullptr) Report(started.message);
    return kExitStartRefused;
  }

  ProgressLine line(!options.quiet && isatty(STDERR_FILENO), settings);
  const auto start = std::chrono::steady_clock::now();
  int ticks = 0;
  bool cancelled = false;
  // Wakes for Ctrl-C and the progress line, and at once when the job ends.
  while (!job.WaitFor(std::chrono::milliseconds(50))) {
    if (interrupt.load() && !cancelled) {
      job.RequestCancel();
      cancelled = true;
    }
    auto elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed >= std::chrono::seconds(ticks + 1)) {
      ++ticks;
      line.Show(progress, ticks);
    }
  }
  job.Join();
  line.End();

  switch (progress.job_state.load()) {
    case JOB_WRITE_ERROR:
      Report(messages::kWriteError);
      return kExitWriteError;
    case JOB_READ_ERROR:
      Report(messages::kReadError);
      return kExitReadError;
    default:
      break;
  }
  if (!options.quiet) {
    auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    std::fprintf(stderr, "%s: %d frames, %lld KBytes written to %s in %s.\n",
                 cancelled ? "Cancelled" : "Done", progress.frames_written.load(),
                 static_cast<long long>(progress.kbytes_written.load()),
                 settings.output_path.c_str(), Format_Clock(static_cast<int>(seconds)).c_str());
  }
  return cancelled ? kExitInterrupted : kExitDone;
}
