// Helpers of the fuzz targets: the fuzzer's bytes as input files.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decoder/diagnostics.h"

// Takes control values from the front of the fuzzer's data.
class FuzzControl {
 public:
  FuzzControl(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // The next control byte (0 once the data is used up).
  uint8_t Byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  // The rest of the data: the stream.
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

// The stream cut into `files` pieces (1 to 4) at offsets chosen by control
// bytes, written to files in memory; removed again on destruction.
class FuzzFiles {
 public:
  FuzzFiles(FuzzControl& control, int files) {
    std::vector<uint8_t> choices;
    for (int i = 1; i < files; ++i) choices.push_back(control.Byte());
    const size_t size = control.size();
    std::vector<size_t> cuts = {0};
    for (uint8_t choice : choices) cuts.push_back(std::max(cuts.back(), size * choice / 256));
    cuts.push_back(size);
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
      const std::string path =
          "/dev/shm/vidorlan_fuzz_" + std::to_string(::getpid()) + "_" + std::to_string(i);
      std::FILE* f = std::fopen(path.c_str(), "wb");
      if (f != nullptr) {
        std::fwrite(control.data() + cuts[i], 1, cuts[i + 1] - cuts[i], f);
        std::fclose(f);
      }
      paths_.push_back(path);
    }
    for (const std::string& p : paths_) list_.push_back(p.c_str());
    list_.push_back(nullptr);
  }
  ~FuzzFiles() {
    for (const std::string& p : paths_) ::unlink(p.c_str());
  }
  FuzzFiles(const FuzzFiles&) = delete;
  FuzzFiles& operator=(const FuzzFiles&) = delete;

  const char* const* list() const { return list_.data(); }

 private:
  std::vector<std::string> paths_;
  std::vector<const char*> list_;
};

// Pictures above this many samples are not decoded by the targets, so that
// one input cannot take seconds.
constexpr int64_t kFuzzMaxPixels = 1920 * 1088;

// The decoder's diagnostics, one per damaged slice, would flood the
// fuzzer's output: targets drop them.
inline void Drop_Decoder_Diagnostics() {
  Decoder_Set_Diagnostic_Sink([](const char*) {});
}
