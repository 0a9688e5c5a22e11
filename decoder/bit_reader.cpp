#include "decoder/bit_reader.h"

#include "decoder/input.h"

void Refill_Window_Slow() {
  DecoderState& d = decoder_state;
  BitstreamState& bs = d.bitstream;
  while (bs.bit_count <= 24) {
    uint32_t byte;
    if (d.stream_is_multiplexed && bs.read_position >= bs.packet_end - 4) {
      // Packet edge. An empty packet is passed over like any other header.
      while (bs.read_position >= bs.packet_end) Next_Video_Packet();
      byte = static_cast<uint32_t>(Read_Byte());
    } else {
      if (bs.read_position >= INPUT_BUFFER_SIZE) Refill_Buffer();
      byte = bs.input_buffer[bs.read_position++];
    }
    // After Skip_Bits32 bit_count may be down to -7: the high bits of the
    // first byte then fall off, which is the part of the skip beyond the
    // window.
    bs.bit_window |= byte << (24 - bs.bit_count);
    bs.bit_count += 8;
  }
}

void Skip_Bits32() {
  BitstreamState& bs = decoder_state.bitstream;
  bs.bit_window = 0;
  bs.bit_count -= 32;
  Refill_Window_Slow();
}

uint32_t Read_Start_Code() {
  uint32_t code = Peek_Bits(32);
  Skip_Bits32();
  return code;
}

void next_start_code() {
  Skip_Bits(decoder_state.bitstream.bit_count & 7);
  while (Peek_Bits(24) != 0x000001) Skip_Bits(8);
}
