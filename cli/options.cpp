#include "cli/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr const char* kAspectChoices[] = {"1:1", "4:3", "16:9", "2.21:1"};
constexpr const char* kRateChoices[] = {"23.976", "24", "25", "29.97", "30", "50", "59.94", "60"};

// A whole decimal number from 0 to `max`.
bool Parse_Count(const std::string& text, long max, long* value) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  errno = 0;
  long v = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || v > max) return false;
  *value = v;
  return true;
}

template <size_t N>
int Find_Choice(const char* const (&choices)[N], const std::string& text) {
  for (size_t i = 0; i < N; ++i) {
    if (text == choices[i]) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

bool Parse_Options(int argc, const char* const* argv, CliOptions* options, std::string* error) {
  CliOptions& o = *options;
  bool only_inputs = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (only_inputs || arg.empty() || arg[0] != '-' || arg == "-") {
      o.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_inputs = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> attached;
    if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      attached = arg.substr(eq + 1);
    }
    auto value = [&](std::string* out) {
      if (attached) {
        *out = *attached;
        return true;
      }
      if (i + 1 >= argc) {
        *error = "option " + name + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    auto count = [&](std::optional<long>* out, long max) {
      std::string text;
      if (!value(&text)) return false;
      long v = 0;
      if (!Parse_Count(text, max, &v)) {
        *error = "option " + name + " needs a whole number from 0 to " + std::to_string(max) +
                 ", not '" + text + "'";
        return false;
      }
      *out = v;
      return true;
    };
    auto flag = [&](bool* out) {
      if (attached) {
        *error = "option " + name + " takes no value";
        return false;
      }
      *out = true;
      return true;
    };
    constexpr long kMaxCount = 2147483647;
    // What the pages' edits hold: 8 digits for the frame count and the
    // split values, unsigned 32-bit numbers for the crop rows.
    constexpr long kMaxEditCount = 99999999;
    constexpr long kMaxCrop = 4294967295;
    bool ok = true;
    if (name == "-o" || name == "--output") {
      std::string v;
      ok = value(&v);
      o.output = v;
    } else if (name == "--y4m") {
      std::string v;
      ok = value(&v);
      o.y4m = v;
    } else if (name == "--info") {
      ok = flag(&o.info);
    } else if (name == "--crop-top") {
      ok = count(&o.crop_top, kMaxCrop);
    } else if (name == "--crop-height") {
      ok = count(&o.crop_height, kMaxCrop);
    } else if (name == "--deinterlace" || name == "--no-deinterlace") {
      bool set = false;
      ok = flag(&set);
      o.deinterlace = name == "--deinterlace";
    } else if (name == "--aspect" || name == "--rate") {
      std::string v;
      ok = value(&v);
      if (ok) {
        bool aspect = name == "--aspect";
        int index = aspect ? Find_Choice(kAspectChoices, v) : Find_Choice(kRateChoices, v);
        if (index < 0) {
          *error = aspect ? "option --aspect takes 1:1, 4:3, 16:9 or 2.21:1"
                          : "option --rate takes 23.976, 24, 25, 29.97, 30, 50, 59.94 or 60";
          ok = false;
        } else if (aspect) {
          o.aspect_index = index;
        } else {
          o.frame_rate_index = index;
        }
      }
    } else if (name == "--frames") {
      ok = count(&o.frames, kMaxEditCount);
    } else if (name == "--split-mb") {
      ok = count(&o.split_mbytes, kMaxEditCount);
    } else if (name == "--split-frames") {
      ok = count(&o.split_frames, kMaxEditCount);
    } else if (name == "--codec") {
      ok = value(&o.codec);
    } else if (name == "--list-codecs") {
      ok = flag(&o.list_codecs);
    } else if (name == "--keyframe") {
      ok = count(&o.keyframe, kMaxCount);
    } else if (name == "--data-rate") {
      ok = count(&o.data_rate, kMaxCount);
    } else if (name == "--quality") {
      ok = count(&o.quality, 100);
    } else if (name == "--audio") {
      std::string v;
      ok = value(&v);
      long number = 0;
      if (ok && v == "first") {
        o.audio = 1;
      } else if (ok && v == "none") {
        o.audio = 0;
      } else if (ok && Parse_Count(v, kMaxCount, &number) && number > 0) {
        o.audio = number;
      } else if (ok) {
        *error = "option --audio takes none, first or a stream's number from 1 (see --info)";
        ok = false;
      }
    } else if (name == "--audio-format") {
      std::string v;
      ok = value(&v);
      if (ok && v != "pcm" && v != "copy") {
        *error = "option --audio-format takes pcm or copy";
        ok = false;
      }
      o.audio_output = v == "copy" ? AudioOutput::kCopy : AudioOutput::kPcm;
    } else if (name == "--cpu") {
      std::string v;
      ok = value(&v);
      if (ok && v != "auto" && v != "portable") {
        *error = "option --cpu takes auto or portable";
        ok = false;
      }
      o.kernels = v == "portable" ? KernelChoice::kPortable : KernelChoice::kAuto;
    } else if (name == "-q" || name == "--quiet") {
      ok = flag(&o.quiet);
    } else if (name == "-h" || name == "--help") {
      ok = flag(&o.help);
    } else if (name == "--version") {
      ok = flag(&o.version);
    } else {
      *error = "unknown option " + name;
      ok = false;
    }
    if (!ok) return false;
  }
  if (o.split_mbytes && o.split_frames) {
    *error = "choose one of --split-mb and --split-frames";
    return false;
  }
  return true;
}

const char* Usage_Text() {
  return "Usage: vidorlan-convert [OPTIONS] INPUT...\n"
         "Converts MPEG-1/MPEG-2 video (elementary or program streams, up to 16 files\n"
         "read as one stream) into AVI files.\n"
         "\n"
         "  -o, --output PATH        write AVI; with splitting, the base of the numbered files\n"
         "      --y4m PATH           write decoded pictures as YUV4MPEG2 instead ('-' = stdout)\n"
         "      --info               print the stream properties and exit\n"
         "      --crop-top N         first source row              (default 0)\n"
         "      --crop-height N      number of source rows         (default coded height)\n"
         "      --deinterlace, --no-deinterlace\n"
         "                           (default: on when the sequence may be interlaced)\n"
         "      --aspect 1:1|4:3|16:9|2.21:1     (default from the stream)\n"
         "      --rate 23.976|24|25|29.97|30|50|59.94|60   (default from the stream)\n"
         "      --frames N           stop after N frames           (default all)\n"
         "      --split-mb N         new numbered file every N MBytes\n"
         "      --split-frames N     new numbered file every N frames\n"
         "      --codec NAME         compressor (default uncompressed); --list-codecs lists them\n"
         "      --keyframe N, --data-rate KB, --quality 0..100\n"
         "      --audio none|first|N audio stream to write (default none; N as --info lists it)\n"
         "      --audio-format pcm|copy          decoded 16-bit PCM (default) or the stream as it "
         "is\n"
         "      --cpu auto|portable  kernels chosen from the CPU (default) or the portable ones "
         "only\n"
         "  -q, --quiet              no progress line, no summary\n"
         "  -h, --help, --version\n"
         "\n"
         "Exit status: 0 done, 1 usage, 2 input refused, 3 start refused, 4 write error,\n"
         "5 read error, 130 interrupted.\n";
}
