// Points the decoder's input chain at bytes held in memory, so that the bit
// reader and the parsers can be tested on composed streams.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/input.h"

class MemoryInput {
 public:
  // Opens `bytes` as the one file of the chain and primes the bit reader in
  // elementary (multiplexed = false) or program-stream mode. The decoder
  // state is cleared first.
  explicit MemoryInput(const std::vector<uint8_t>& bytes, bool multiplexed = false)
      : bytes_(bytes) {
    decoder_state = DecoderState{};
    if (bytes_.empty()) {
      file_ = std::tmpfile();
    } else {
      file_ = fmemopen(bytes_.data(), bytes_.size(), "rb");
    }
    decoder_state.file_list = list_;
    decoder_state.input_file = file_;
    decoder_state.stream_is_multiplexed = multiplexed ? 1 : 0;
    Reset_Input();
  }
  ~MemoryInput() {
    if (decoder_state.input_file != nullptr) std::fclose(decoder_state.input_file);
    decoder_state.input_file = nullptr;
  }
  MemoryInput(const MemoryInput&) = delete;
  MemoryInput& operator=(const MemoryInput&) = delete;

 private:
  std::vector<uint8_t> bytes_;
  std::FILE* file_ = nullptr;
  // The chain's list: one unnamed file, already open.
  const char* list_[2] = {"", nullptr};
};
