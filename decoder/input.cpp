#include "decoder/input.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "decoder/audio_packets.h"
#include "decoder/bit_reader.h"
#include "decoder/file_chain.h"
#include "decoder/pes.h"
#include "decoder/start_codes.h"

namespace {

constexpr uint8_t END_PATTERN[4] = {0x00, 0x00, 0x01, 0xB7};
// The demultiplexer looks at most this far past input_buffer's end: the
// longest packet after its length field, and a start code after it.
constexpr int MAX_LOOK_AHEAD = 0xFFFF + INPUT_BUFFER_SIZE + 8;
static_assert(MAX_LOOK_AHEAD + 128 * 1024 <= READ_AHEAD_CAPACITY);

// --- The input buffer -------------------------------------------------------

void Fill_With_End_Codes() {
  BitstreamState& bs = decoder_state.bitstream;
  for (int i = 0; i < INPUT_BUFFER_SIZE; i += 4) std::memcpy(bs.input_buffer + i, END_PATTERN, 4);
  decoder_state.valid_data_end = 0;
  bs.read_position = 0;
  bs.packet_end = INPUT_BUFFER_SIZE;
  bs.payload_start = 0;
}

// Reads the next buffer from the chain; the caller has moved read_position
// (and packet_end) into the new buffer's coordinates. When the chain runs
// out, the input ends after the bytes that came. packet_end keeps marking the
// current packet then: bytes that follow it in this last buffer are headers
// and other streams, not video.
void Load_Buffer() {
  DecoderState& d = decoder_state;
  BitstreamState& bs = d.bitstream;
  Walk_Audio_Ahead();
  const int count = Take_From_Chain(bs.input_buffer, INPUT_BUFFER_SIZE);
  d.kilobytes_read =
      static_cast<int>(std::min<int64_t>(d.read_ahead.bytes_delivered / 1024, INT_MAX));
  if (count == INPUT_BUFFER_SIZE) return;
  d.valid_data_end = count;
  int pos = count;
  while (pos % 4 != 0) bs.input_buffer[pos++] = 0;
  for (; pos < INPUT_BUFFER_SIZE; pos += 4) std::memcpy(bs.input_buffer + pos, END_PATTERN, 4);
}

// True when the bytes just taken lie past the real input (end pattern).
bool Past_Valid_Data() {
  return Input_Exhausted() && decoder_state.bitstream.read_position > decoder_state.valid_data_end;
}

// --- Looking ahead in a program stream -------------------------------------

// The input byte at `position` (input_buffer coordinates, possibly past its
// end, never before read_position) without consuming anything; -1 past the
// end of the input.
int Stream_Byte(int position) {
  const DecoderState& d = decoder_state;
  if (position < INPUT_BUFFER_SIZE) {
    if (Input_Exhausted() && position >= d.valid_data_end) return -1;
    return d.bitstream.input_buffer[position];
  }
  const int offset = position - INPUT_BUFFER_SIZE;
  if (Input_Exhausted() || offset >= MAX_LOOK_AHEAD) return -1;
  return Chain_Byte(d.read_ahead.bytes_delivered + offset);
}

bool Is_System_Start_Code(uint32_t code) {
  return (code >> 8) == START_CODE_PREFIX && code >= FIRST_SYSTEM_START_CODE;
}

// The live input as pes.h reads it.
constexpr auto LIVE_INPUT = [](int position) { return Stream_Byte(position); };

// A clock that jumps back, or ahead by more than a second, starts a new
// segment of time stamps (as the audio demultiplexer counts them too).
constexpr int64_t MAX_CLOCK_STEP = 90000;

void Skip_Pack_Header() {
  DecoderState& d = decoder_state;
  BitstreamState& bs = d.bitstream;
  const int64_t clock = Pack_Clock(LIVE_INPUT, bs.read_position);
  if (clock >= 0) {
    if (d.system_clock >= 0 &&
        (clock < d.system_clock || clock > d.system_clock + MAX_CLOCK_STEP)) {
      d.clock_segment += 1;
    }
    d.system_clock = clock;
  }
  const int length = Pack_Header_Length(LIVE_INPUT, bs.read_position);
  bs.read_position = Checked_End(LIVE_INPUT, bs.read_position, bs.read_position + length);
}

// A packet of another stream, passed over. (The audio demultiplexer has met
// it already, ahead of the video.)
void Skip_Packet() {
  BitstreamState& bs = decoder_state.bitstream;
  const int length = Read_Word16();
  bs.read_position = Checked_End(LIVE_INPUT, bs.read_position, bs.read_position + length);
}

// A packet of video stream 0: positions the reader at its payload and notes
// where its bytes stand among all video bytes, with its time stamp. False
// when its header is malformed; the search for the next start code then goes
// on right after the packet length.
bool Start_Video_Packet() {
  DecoderState& d = decoder_state;
  BitstreamState& bs = d.bitstream;
  const int length = Read_Word16();
  // No buffer is loaded from here on, so positions keep their meaning.
  const int end = Checked_End(LIVE_INPUT, bs.read_position, bs.read_position + length);
  const int header = Packet_Header_Length(LIVE_INPUT, bs.read_position, end);
  if (header < 0) return false;
  const int64_t pts = Packet_Pts(LIVE_INPUT, bs.read_position);
  bs.video_offset_of_payload += bs.packet_end - bs.payload_start;
  bs.read_position += header;
  bs.payload_start = bs.read_position;
  bs.packet_end = end;
  VideoPacketStamp& stamp = d.video_packets[d.video_packet_count % VIDEO_PACKET_HISTORY];
  stamp = {bs.video_offset_of_payload, pts, d.clock_segment, 0};
  d.video_packet_count += 1;
  return true;
}

}  // namespace

FrameStamp Take_Picture_Stamp() {
  DecoderState& d = decoder_state;
  const BitstreamState& bs = d.bitstream;
  FrameStamp stamp{-1, d.clock_segment, 2};
  if (!d.stream_is_multiplexed) return stamp;
  // The picture start code's four bytes are in the window.
  const int64_t offset = bs.video_offset_of_payload + (bs.read_position - bs.payload_start) - 4;
  const int history = std::min(d.video_packet_count, VIDEO_PACKET_HISTORY);
  for (int i = 1; i <= history; ++i) {
    VideoPacketStamp& packet = d.video_packets[(d.video_packet_count - i) % VIDEO_PACKET_HISTORY];
    if (packet.video_offset > offset) continue;
    // The packet in which the start code begins: its time stamp belongs to
    // the first picture that begins in it.
    stamp.segment = packet.segment;
    if (!packet.taken) stamp.pts = packet.pts;
    packet.taken = 1;
    break;
  }
  return stamp;
}

void Reset_Input() {
  DecoderState& d = decoder_state;
  BitstreamState& bs = d.bitstream;
  d.valid_data_end = INPUT_BUFFER_SIZE;
  d.kilobytes_read = 0;
  d.read_ahead.bytes_delivered = 0;
  bs.bit_count = 0;
  bs.bit_window = 0;
  bs.read_position = INPUT_BUFFER_SIZE;
  bs.packet_end = INPUT_BUFFER_SIZE;
  bs.payload_start = INPUT_BUFFER_SIZE;
  bs.video_offset_of_payload = 0;
  d.system_clock = -1;
  Skip_Bits(0);
}

void Refill_Buffer() {
  BitstreamState& bs = decoder_state.bitstream;
  if (Input_Exhausted()) {
    Fill_With_End_Codes();
    return;
  }
  bs.read_position = 0;
  if (decoder_state.stream_is_multiplexed) {
    bs.packet_end -= INPUT_BUFFER_SIZE;
    bs.payload_start -= INPUT_BUFFER_SIZE;
  }
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
      bs.payload_start -= INPUT_BUFFER_SIZE;
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
  for (;;) {
    uint32_t code = Read_Word32();
    // Resynchronise byte by byte on anything that is not a pack or packet
    // start code: the rest of a header, stuffing, damage, and video start
    // codes outside a video packet.
    while (!Past_Valid_Data() && !Is_System_Start_Code(code)) {
      code = (code << 8) | static_cast<uint32_t>(Read_Byte());
    }
    if (Past_Valid_Data() || code == PROGRAM_END_CODE) break;
    if (code == PACK_START_CODE) {
      Skip_Pack_Header();
    } else if (code == VIDEO_STREAM_0_CODE) {
      if (Start_Video_Packet()) return;
    } else {
      Skip_Packet();
    }
  }
  Fill_With_End_Codes();
}
