// vidorlan-convert: the converter on the command line.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/avi_command.h"
#include "cli/exit_status.h"
#include "cli/options.h"
#include "cli/y4m_output.h"
#include "convert/frame_source.h"
#include "convert/kernel_setup.h"
#include "convert/messages.h"
#include "convert/output_paths.h"
#include "convert/stream_properties.h"
#include "decoder/decoder.h"
#include "platform/compressor.h"

namespace {

constexpr int kMaxInputFiles = 16;

// Ctrl-C. Until the input has been probed nothing is written, so the
// process ends at once (with async-signal-safe calls only); afterwards it
// asks the job to cancel, which leaves the files written so far complete.
std::atomic<bool> probing{true};
std::atomic<bool> interrupt_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void On_Interrupt(int) {
  if (probing.load()) _exit(kExitInterrupted);
  interrupt_requested.store(true);
}

void Report(const char* message) {
  std::fprintf(stderr, "vidorlan-convert: %s\n", message);
}

void Print_Info(const StreamInfo& stream) {
  for (const std::string& line : Stream_Property_Lines(stream)) std::printf("%s\n", line.c_str());
  std::printf("horizontal_size=%d\n", Decoder_Horizontal_Size());
  std::printf("vertical_size=%d\n", Decoder_Vertical_Size());
  std::printf("coded_width=%d\n", Decoder_Coded_Width());
  std::printf("coded_height=%d\n", Decoder_Coded_Height());
  std::printf("progressive_sequence=%d\n", Decoder_Progressive_Sequence());
  std::printf("frame_rate_code=%d\n", Decoder_Frame_Rate_Code());
  std::printf("aspect_ratio_information=%d\n", Decoder_Aspect_Ratio_Code());
  std::printf("chroma_format=%d\n", Decoder_Chroma_Format());
  std::printf("mpeg=%d\n", Decoder_Is_MPEG2() ? 2 : 1);
  std::printf("stream=%s\n", Decoder_Stream_Is_Multiplexed() ? "program" : "elementary");
  std::printf("pulldown=%d\n", Film_Frame_Rate_Index(stream) >= 0 ? 1 : 0);
  const std::string rate = kFrameRateItems[Default_Frame_Rate_Index(stream)];
  std::printf("default_rate=%s\n", rate.substr(0, rate.find(' ')).c_str());
  for (size_t i = 0; i < stream.audio_streams.size(); ++i)
    std::printf("audio%zu=%s\n", i + 1, stream.audio_streams[i].description.c_str());
}

int Run_Y4m(const std::string& path, long frame_limit, const char* const* input_paths) {
  if (path != "-" && Output_Overwrites_Input(path, false, input_paths)) {
    Report(messages::kOutputIsInput);
    return kExitStartRefused;
  }
  std::FILE* out = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    Report(("Cannot create " + path + ": " + std::strerror(errno)).c_str());
    return kExitWriteError;
  }
  std::setvbuf(out, nullptr, _IOFBF, 1 << 16);
  Y4mResult result = Write_Y4m(out, frame_limit, &interrupt_requested);
  if (out != stdout && std::fclose(out) != 0 && result == Y4mResult::kDone) {
    result = Y4mResult::kWriteError;
  }
  switch (result) {
    case Y4mResult::kDone:
      return kExitDone;
    case Y4mResult::kWriteError:
      Report(("Error writing " + path + ".").c_str());
      return kExitWriteError;
    case Y4mResult::kReadError:
      Report(messages::kReadError);
      return kExitReadError;
    case Y4mResult::kInterrupted:
      return kExitInterrupted;
  }
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, On_Interrupt);
  // A file size limit makes writes fail (reported as write errors) instead
  // of ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  CliOptions options;
  std::string error;
  if (!Parse_Options(argc, argv, &options, &error)) {
    Report(error.c_str());
    std::fprintf(stderr, "Try 'vidorlan-convert --help'.\n");
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(Usage_Text(), stdout);
    return kExitDone;
  }
  if (options.version) {
    std::printf("vidorlan-convert (Vidorlan MPEG) 0.67\n");
    return kExitDone;
  }
  if (options.list_codecs) {
    List_Compressors();
    return kExitDone;
  }
  CompressorInfo compressor;
  if (!FindCompressor(options.codec, &compressor)) {
    Report(("unknown compressor '" + options.codec + "' (see --list-codecs)").c_str());
    return kExitUsage;
  }
  if (options.inputs.empty()) {
    Report("no input file given");
    std::fprintf(stderr, "Try 'vidorlan-convert --help'.\n");
    return kExitUsage;
  }
  if (options.inputs.size() > kMaxInputFiles) {
    Report(messages::kTooManyFiles);
    return kExitInputRefused;
  }

  Install_Kernels(options.kernels);

  std::vector<const char*> paths;
  for (const std::string& input : options.inputs) paths.push_back(input.c_str());
  paths.push_back(nullptr);
  FrameSource source;
  int opened = source.Open(paths.data());
  if (opened != DECODER_OK) {
    Report(messages::Open_Result_Message(opened));
    return kExitInputRefused;
  }

  probing.store(false);
  int status = kExitDone;
  if (options.info) {
    Print_Info(source.stream_info);
  } else if (options.y4m) {
    source.SelectAudio(-1, nullptr, nullptr);  // pictures only: no audio kept
    status = Run_Y4m(*options.y4m, options.frames ? *options.frames : -1, paths.data());
  } else {
    status = Run_Avi_Conversion(options, source, paths.data(), interrupt_requested);
  }
  source.Close();
  return status;
}
