// Bit writer for composing MPEG video syntax in tests and the stream
// synthesizer: values most significant bit first, codes given as strings of
// '0' and '1' (spaces ignored), start codes on byte boundaries.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

class BitWriter {
 public:
  // Appends the low `bits` bits of `value` (0 <= bits <= 32).
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) PutBit((value >> i) & 1);
  }

  // Appends a code written as "0000 0011 1".
  void PutCode(std::string_view code) {
    for (char c : code) {
      if (c == '0' || c == '1') PutBit(c == '1');
    }
  }

  void PutBit(int bit) {
    if (bit_position_ == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(0x80 >> bit_position_);
    bit_position_ = (bit_position_ + 1) & 7;
  }

  // Pads with zero bits to the next byte boundary.
  void AlignZero() {
    while (bit_position_ != 0) PutBit(0);
  }

  // Byte-aligns, then writes 00 00 01 `code`.
  void StartCode(uint8_t code) {
    AlignZero();
    bytes_.insert(bytes_.end(), {0x00, 0x00, 0x01, code});
  }

  void PutBytes(const std::vector<uint8_t>& bytes) {
    AlignZero();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }

  size_t BitCount() const { return bytes_.size() * 8 - (bit_position_ ? 8 - bit_position_ : 0); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int bit_position_ = 0;  // next bit within the last byte, 0 = a new byte
};
