#include "decoder/input.h"

#include <cstring>

#include "decoder/bit_reader.h"

namespace {

constexpr uint8_t END_PATTERN[4] = {0x00, 0x00, 0x01, 0xB7};

void Fill_With_End_Codes() {
  BitstreamState& bs = decoder_state.bitstream;
  for (int i = 0; i < INPUT_BUFFER_SIZE; i += 4) std::memcpy(bs.input_buffer + i, END_PATTERN, 4);
  decoder_state.valid_data_end = 0;
  bs.read_position = 0;
  bs.packet_end = INPUT_BUFFER_SIZE;
}

// `count` bytes (0 to 4095) are in the buffer and the current file gave no
// more. Fills the rest of the buffer from the following files. Files that end
// before the buffer is full are passed over, so a stream cut into pieces of
// any size reads exactly like the whole file. The input ends at a read error,
// at a file that cannot be opened, or when the list runs out.
void Continue_With_Next_File(int count) {
  DecoderState& d = decoder_state;
  BitstreamState& bs = d.bitstream;
  while (d.input_file != nullptr && std::feof(d.input_file)) {
    std::fclose(d.input_file);
    d.input_file = nullptr;
    d.current_file_index += 1;
    const char* path = d.file_list[d.current_file_index];
    if (path == nullptr) break;
    d.input_file = std::fopen(path, "rb");
    if (d.input_file == nullptr) break;
    count += static_cast<int>(
        std::fread(bs.input_buffer + count, 1, INPUT_BUFFER_SIZE - count, d.input_file));
    if (count == INPUT_BUFFER_SIZE) {
      d.kilobytes_read += INPUT_BUFFER_SIZE / 1024;
      return;
    }
  }
  // The input ends after the `count` bytes in the buffer. packet_end keeps
  // marking the current packet: bytes that follow it in this last buffer are
  // headers and other streams, not video.
  d.kilobytes_read += count / 1024;
  d.valid_data_end = count;
  int pos = count;
  while (pos % 4 != 0) bs.input_buffer[pos++] = 0;
  for (; pos < INPUT_BUFFER_SIZE; pos += 4) std::memcpy(bs.input_buffer + pos, END_PATTERN, 4);
}

// Reads the next buffer from the chain; the caller has moved read_position
// (and packet_end) into the new buffer's coordinates.
void Load_Buffer() {
  DecoderState& d = decoder_state;
  int count =
      static_cast<int>(std::fread(d.bitstream.input_buffer, 1, INPUT_BUFFER_SIZE, d.input_file));
  if (count < INPUT_BUFFER_SIZE) {
    Continue_With_Next_File(count);
  } else {
    d.kilobytes_read += INPUT_BUFFER_SIZE / 1024;
  }
}

// True when the bytes just taken lie past the real input (end pattern).
bool Past_Valid_Data() {
  return Input_Exhausted() && decoder_state.bitstream.read_position > decoder_state.valid_data_end;
}

}  // namespace

void Reset_Input() {
  DecoderState& d = decoder_state;
  BitstreamState& bs = d.bitstream;
  d.valid_data_end = INPUT_BUFFER_SIZE;
  d.current_file_index = 0;
  d.kilobytes_read = 0;
  bs.bit_count = 0;
  bs.bit_window = 0;
  bs.read_position = INPUT_BUFFER_SIZE;
  bs.packet_end = INPUT_BUFFER_SIZE;
  Skip_Bits(0);
}

void Refill_Buffer() {
  BitstreamState& bs = decoder_state.bitstream;
  if (Input_Exhausted()) {
    Fill_With_End_Codes();
    return;
  }
  bs.read_position = 0;
  if (decoder_state.stream_is_multiplexed) bs.packet_end -= INPUT_BUFFER_SIZE;
  Load_Buffer();
}

int Read_Byte() {
  BitstreamState& bs = decoder_state.bitstream;
  while (bs.read_position >= INPUT_BUFFER_SIZE) {
    if (Input_Exhausted()) {
      Fill_With_End_Codes();
    } else {
      // Subtracting (rather than resetting) carries a skip past the buffer
      // end into the following loads.
      bs.read_position -= INPUT_BUFFER_SIZE;
      bs.packet_end -= INPUT_BUFFER_SIZE;
      Load_Buffer();
    }
  }
  return bs.input_buffer[bs.read_position++];
}

int Read_Word16() {
  int high = Read_Byte();
  return (high << 8) | Read_Byte();
}

uint32_t Read_Word32() {
  uint32_t high = static_cast<uint32_t>(Read_Word16());
  return (high << 16) | static_cast<uint32_t>(Read_Word16());
}

void Next_Video_Packet() {
  BitstreamState& bs = decoder_state.bitstream;
  for (;;) {
    uint32_t code = Read_Word32();
    // Resynchronise byte by byte on anything not parsed (the rest of an
    // MPEG-2 pack header, stuffing, damage).
    while (!Past_Valid_Data() && (code >> 8) != 0x000001) {
      code = (code << 8) | static_cast<uint32_t>(Read_Byte());
    }
    if (Past_Valid_Data()) {
      Fill_With_End_Codes();
      return;
    }
    if (code <= 0x000001B9) {
      // Program end code, or a video start code outside a video packet.
      Fill_With_End_Codes();
      return;
    }
    if (code == 0x000001BA) {
      bs.read_position += 8;  // the MPEG-1 pack header; more is resynchronised
      continue;
    }
    if (code != 0x000001E0) {
      int length = Read_Word16();
      bs.read_position += length;
      continue;
    }
    // A packet of video stream 0.
    int length = Read_Word16();
    bs.packet_end = bs.read_position + length;
    int b = Read_Byte();
    if ((b & 0xC0) == 0x80) {
      // ISO/IEC 13818-1 PES header: flags byte, header data length, data.
      bs.read_position += 1;
      int header_length = Read_Byte();
      bs.read_position += header_length;
      return;
    }
    // ISO/IEC 11172-1 packet header.
    while (b == 0xFF) b = Read_Byte();
    if (b >= 0x80) break;
    if (b >= 0x40) {  // STD buffer scale and size
      bs.read_position += 1;
      b = Read_Byte();
    }
    if (b >= 0x30 && b <= 0x3F) {  // PTS and DTS
      bs.read_position += 9;
      return;
    }
    if (b >= 0x20 && b <= 0x2F) {  // PTS only
      bs.read_position += 4;
      return;
    }
    if (b == 0x0F) return;  // no time stamps
    break;
  }
  // A malformed packet header ends the input here.
  Fill_With_End_Codes();
}
