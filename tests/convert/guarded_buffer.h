// An output area with guard bytes on both sides, to prove that a kernel or a
// frame assembly writes nothing outside the bytes it was given.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class GuardedBuffer {
 public:
  static constexpr uint8_t GUARD = 0xA5;
  static constexpr size_t GUARD_BYTES = 64;

  explicit GuardedBuffer(size_t size, uint8_t fill = GUARD)
      : bytes_(size + 2 * GUARD_BYTES, fill), size_(size) {
    std::fill_n(bytes_.begin(), GUARD_BYTES, GUARD);
    std::fill_n(bytes_.end() - GUARD_BYTES, GUARD_BYTES, GUARD);
  }

  uint8_t* data() { return bytes_.data() + GUARD_BYTES; }
  const uint8_t* data() const { return bytes_.data() + GUARD_BYTES; }
  size_t size() const { return size_; }
  uint8_t operator[](size_t i) const { return bytes_[GUARD_BYTES + i]; }
  std::vector<uint8_t> Contents() const { return std::vector<uint8_t>(data(), data() + size_); }

  bool GuardsIntact() const {
    for (size_t i = 0; i < GUARD_BYTES; ++i) {
      if (bytes_[i] != GUARD || bytes_[GUARD_BYTES + size_ + i] != GUARD) return false;
    }
    return true;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t size_;
};
