// Bit reader: the video bit stream, most significant bit first.
//
// A 32-bit window always holds at least 25 unread bits, so a parser may peek
// up to 25 bits, decide, and consume them without a refill in between. The
// fast path of the refill takes four bytes at once and checks nothing; the
// byte-wise edge paths run only within five bytes of the buffer or packet end.
#pragma once

#include <cstdint>
#include <cstring>

#include "decoder/decoder_state.h"

// Byte-wise refill near the buffer or packet end, and after Skip_Bits32.
void Refill_Window_Slow();

inline void Refill_Window() {
  BitstreamState& bs = decoder_state.bitstream;
  int limit = INPUT_BUFFER_SIZE - 4;
  if (decoder_state.stream_is_multiplexed && bs.packet_end - 4 < limit) limit = bs.packet_end - 4;
  if (bs.read_position < limit) {
    // At least five bytes of the buffer (and of the packet) remain. Bits of
    // the loaded word beyond the whole bytes counted are the stream's next
    // bits, so OR-ing them in again later changes nothing.
    uint32_t word;
    std::memcpy(&word, bs.input_buffer + bs.read_position, 4);
    word = __builtin_bswap32(word);
    bs.bit_window |= word >> bs.bit_count;
    int bytes = (32 - bs.bit_count) >> 3;
    bs.read_position += bytes;
    bs.bit_count += bytes * 8;
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
