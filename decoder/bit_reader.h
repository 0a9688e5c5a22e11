// Bit reader: the video bit stream, most significant bit first.
//
// A 32-bit window always holds at least 25 unread bits, so a parser may peek
// up to 25 bits, decide, and consume them without a refill in between. The
// fast path of the refill takes four bytes at once and checks nothing; the
// byte-wise edge paths run only within five bytes of the buffer or packet end.
//
// Two interfaces share that state: the functions below work on
// decoder_state.bitstream directly (headers, slice loop); BitCursor holds it
// in locals for the parsers of macroblocks and blocks, which read many codes
// in a row.
#pragma once

#include <cstdint>
#include <cstring>

#include "decoder/decoder_state.h"

// Byte-wise refill near the buffer or packet end, and after Skip_Bits32.
void Refill_Window_Slow();

// The read positions below which the fast refill may run: at least five
// bytes of the buffer, and in a program stream of the current packet, remain.
inline int Fast_Refill_Limit() {
  const BitstreamState& bs = decoder_state.bitstream;
  int limit = INPUT_BUFFER_SIZE - 4;
  if (decoder_state.stream_is_multiplexed && bs.packet_end - 4 < limit) limit = bs.packet_end - 4;
  return limit;
}

// The fast refill, for 1 <= count <= 24 and position below Fast_Refill_Limit():
// whole bytes of the buffer until the window holds 25 to 32 bits. Bits of the
// loaded word beyond the whole bytes counted are the stream's next bits, so
// OR-ing them in again later changes nothing.
inline void Load_Window_Bytes(const uint8_t* buffer, uint32_t& window, int& count, int& position) {
  uint32_t word;
  std::memcpy(&word, buffer + position, 4);
  word = __builtin_bswap32(word);
  window |= word >> count;
  const int bytes = (32 - count) >> 3;
  position += bytes;
  count += bytes * 8;
}

inline void Refill_Window() {
  BitstreamState& bs = decoder_state.bitstream;
  if (bs.read_position < Fast_Refill_Limit()) {
    Load_Window_Bytes(bs.input_buffer, bs.bit_window, bs.bit_count, bs.read_position);
  } else {
    Refill_Window_Slow();
  }
}

// The next n bits (1 <= n <= 32; n > 25 only where bit_count is 32).
inline uint32_t Peek_Bits(int n) {
  return decoder_state.bitstream.bit_window >> (32 - n);
}

// Consumes n bits (0 <= n <= 24); Skip_Bits(0) only refills.
inline void Skip_Bits(int n) {
  BitstreamState& bs = decoder_state.bitstream;
  bs.bit_window <<= n;
  bs.bit_count -= n;
  if (bs.bit_count <= 24) Refill_Window();
}

// The next n bits, consumed (1 <= n <= 24).
inline uint32_t Read_Bits(int n) {
  uint32_t value = Peek_Bits(n);
  Skip_Bits(n);
  return value;
}

inline int Read_Bit() {
  return static_cast<int>(Read_Bits(1));
}

// Consumes 32 bits.
void Skip_Bits32();

// Peek_Bits(32) followed by Skip_Bits32().
uint32_t Read_Start_Code();

// Aligns to the next byte boundary, then skips whole bytes until the next 24
// bits are the start code prefix 0x000001. The start code is not consumed;
// afterwards bit_count is 32.
void next_start_code();

// The bit reader held in locals by a parser that reads many codes in a row
// (macroblock modes, coefficient blocks), so that the compiler keeps it in
// registers. Its window is 64 bits wide and holds 25 to 64 valid bits; the
// fast refill adds four bytes whenever 32 or fewer are left, reading the input
// buffer and nothing else. The edge paths go through decoder_state.bitstream
// (Store, Refill_Window_Slow, reload).
//
// A cursor starts from decoder_state.bitstream; Store() writes it back.
// While a cursor is in use nothing else may read the bit stream, and a
// cursor that was not stored leaves the stream where it was.
class BitCursor {
 public:
  BitCursor() { Load(); }

  // The next n bits (1 <= n <= 25).
  uint32_t Peek(int n) const { return static_cast<uint32_t>(window_ >> (64 - n)); }

  // -1 when bit n counted from the next unread bit (n <= 24) is set, else 0:
  // the sign bit after a code of n bits, as a mask.
  int BitMaskAt(int n) const { return static_cast<int>(static_cast<int64_t>(window_ << n) >> 63); }

  // Consumes n bits (0 <= n <= 24).
  void Skip(int n) {
    window_ <<= n;
    count_ -= n;
    if (count_ <= 32) Refill();
  }

  // Skip for the inner loop of coefficient codes: where the buffer allows,
  // the window is topped up with the next whole bytes every time, without a
  // branch on how many bits are left (which the lengths of the codes make
  // unpredictable). Returns Peek(16) after the skip, taken where it can be
  // from the shifted window before the top-up, which only adds bits below
  // them: the next code's look-up need not wait for the load.
  uint32_t SkipFilling(int n) {
    const uint64_t shifted = window_ << n;
    window_ = shifted;
    count_ -= n;
    if (position_ < fast_limit_ - 4) [[likely]] {
      // Eight bytes within the buffer and the packet: the bits beyond the
      // whole bytes counted are the stream's next ones.
      uint64_t word;
      std::memcpy(&word, decoder_state.bitstream.input_buffer + position_, 8);
      window_ |= __builtin_bswap64(word) >> count_;
      const bool sixteen_left = count_ >= 16;
      position_ += (63 - count_) >> 3;
      count_ |= 56;
      if (sixteen_left) [[likely]]
        return static_cast<uint32_t>(shifted >> 48);
    } else if (count_ <= 32) {
      Refill();
    }
    return Peek(16);
  }

  // The next n bits, consumed (1 <= n <= 24).
  uint32_t Read(int n) {
    const uint32_t value = Peek(n);
    Skip(n);
    return value;
  }

  int ReadBit() { return static_cast<int>(Read(1)); }

  void Store() const {
    // Beyond the 32 bits of the shared window, whole bytes go back to the
    // buffer: they came from the last fast refill, so they lie just before
    // position_ in the current packet. 25 to 32 bits remain.
    const int returned_bytes = count_ > 32 ? (count_ - 25) >> 3 : 0;
    BitstreamState& bs = decoder_state.bitstream;
    bs.bit_window = static_cast<uint32_t>(window_ >> 32);
    bs.bit_count = count_ - 8 * returned_bytes;
    bs.read_position = position_ - returned_bytes;
  }

 private:
  void Load() {
    const BitstreamState& bs = decoder_state.bitstream;
    window_ = static_cast<uint64_t>(bs.bit_window) << 32;
    count_ = bs.bit_count;
    position_ = bs.read_position;
    fast_limit_ = Fast_Refill_Limit();
  }

  // For 1 <= count_ <= 32.
  void Refill() {
    if (position_ < fast_limit_) [[likely]] {
      uint32_t word;
      std::memcpy(&word, decoder_state.bitstream.input_buffer + position_, 4);
      window_ |= static_cast<uint64_t>(__builtin_bswap32(word)) << (32 - count_);
      position_ += 4;
      count_ += 32;
    } else {
      // The shared refill runs only once 24 or fewer bits are left; until
      // then the window holds enough.
      Store();
      Refill_Window_Slow();
      Load();
    }
  }

  // Not in the order of BitstreamState: there bit_count and read_position
  // lie side by side, are stored one by one, and a copy into neighbouring
  // fields here would be merged into one 8-byte load that stalls on store
  // forwarding.
  uint64_t window_;
  int count_;
  int fast_limit_;
  int position_;
};
