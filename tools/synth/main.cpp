// vidorlan-synth: writes the synthesized test streams.
//
//   vidorlan-synth --list                     scenario names, one per line
//   vidorlan-synth --table                    tab-separated: name, frames a
//                                             conforming decoder shows, frames
//                                             ffmpeg shows, frames the product
//                                             shows, agreement (exact, close,
//                                             count), reference (ffmpeg, model,
//                                             none), description
//   vidorlan-synth SCENARIO OUT.m2v [--expect EXPECTED.y4m] [--trace]
//                                             --trace lists every macroblock
//                                             on standard error
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "tools/synth/scenarios.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vidorlan-synth --list | --table | SCENARIO OUT.m2v [--expect OUT.y4m] "
               "[--trace]\n");
  return 1;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--list") {
    for (const synth::Scenario& s : synth::Scenarios()) {
      std::printf("%.*s\n", static_cast<int>(s.name.size()), s.name.data());
    }
    return 0;
  }
  if (argc == 2 && std::string_view(argv[1]) == "--table") {
    for (const synth::Scenario& s : synth::Scenarios()) {
      const std::string_view agreement = synth::AgreementName(s.agreement);
      const std::string_view reference = synth::ReferenceName(s.reference);
      std::printf("%.*s\t%d\t%d\t%d\t%.*s\t%.*s\t%.*s\n", static_cast<int>(s.name.size()),
                  s.name.data(), s.frames, s.ffmpeg_frames, s.product_frames,
                  static_cast<int>(agreement.size()), agreement.data(),
                  static_cast<int>(reference.size()), reference.data(),
                  static_cast<int>(s.description.size()), s.description.data());
    }
    return 0;
  }
  if (argc < 3) return Usage();
  const char* expect = nullptr;
  for (int i = 3; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--expect" && i + 1 < argc) {
      expect = argv[++i];
    } else if (arg == "--trace") {
      synth::StreamWriter::SetDefaultTrace(stderr);
    } else {
      return Usage();
    }
  }
  const synth::Scenario* scenario = synth::FindScenario(argv[1]);
  if (scenario == nullptr) {
    std::fprintf(stderr, "vidorlan-synth: unknown scenario %s (see --list)\n", argv[1]);
    return 1;
  }
  const synth::SynthesizedStream stream = scenario->build();
  if (!WriteFile(argv[2], stream.bytes)) {
    std::fprintf(stderr, "vidorlan-synth: cannot write %s\n", argv[2]);
    return 2;
  }
  if (expect != nullptr) {
    const std::string error = synth::WriteExpectedY4m(stream, expect);
    if (!error.empty()) {
      std::fprintf(stderr, "vidorlan-synth: %s: %s\n", expect, error.c_str());
      return 2;
    }
  }
  return 0;
}
