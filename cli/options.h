// Command line of vidorlan-convert.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "convert/kernel_setup.h"
#include "platform/audio_converter.h"

struct CliOptions {
  std::vector<std::string> inputs;
  std::optional<std::string> output;  // -o, --output
  std::optional<std::string> y4m;     // --y4m ('-' = standard output)
  bool info = false;
  std::optional<long> crop_top;
  std::optional<long> crop_height;
  std::optional<bool> deinterlace;
  std::optional<int> aspect_index;      // 0 "1:1", 1 "4:3", 2 "16:9", 3 "2.21:1"
  std::optional<int> frame_rate_index;  // 0 "23.976" ... 7 "60"
  std::optional<long> frames;
  std::optional<long> split_mbytes;
  std::optional<long> split_frames;
  std::string codec;  // empty: uncompressed
  bool list_codecs = false;
  std::optional<long> keyframe;
  std::optional<long> data_rate;
  std::optional<long> quality;
  long audio = 0;  // --audio: 0 none, else the stream's place in the --info list (first: 1)
  AudioOutput audio_output = AudioOutput::kPcm;  // --audio-format
  KernelChoice kernels = KernelChoice::kAuto;    // --cpu
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses argv. On a usage error returns false and sets `error` to a one-line
// explanation.
bool Parse_Options(int argc, const char* const* argv, CliOptions* options, std::string* error);

// The --help text.
const char* Usage_Text();
