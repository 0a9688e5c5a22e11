#include "decoder/input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "decoder/bit_reader.h"
#include "decoder/start_codes.h"

namespace {

constexpr uint8_t END_PATTERN[4] = {0x00, 0x00, 0x01, 0xB7};
// Bytes asked of a file at a time.
constexpr int READ_CHUNK = 32 * 1024;
// The demultiplexer looks at most this far past input_buffer's end: the
// longest packet after its length field, and a start code after it.
constexpr int MAX_LOOK_AHEAD = 0xFFFF + INPUT_BUFFER_SIZE + 8;
static_assert(MAX_LOOK_AHEAD + READ_CHUNK <= READ_AHEAD_CAPACITY);

// --- The file chain, read ahead --------------------------------------------

int Ahead_Count() {
  const ReadAhead& a = decoder_state.read_ahead;
  return a.end - a.start;
}

// The current file has ended: the chain goes on with the next path of the
// list, if there is one and it can be opened (input_file stays none else).
void Open_Next_File() {
  DecoderState& d = decoder_state;
  if (d.input_file != nullptr) std::fclose(d.input_file);
  d.input_file = nullptr;
  d.current_file_index += 1;
  const char* path = d.file_list != nullptr ? d.file_list[d.current_file_index] : nullptr;
  if (path != nullptr) d.input_file = Open_Input_File(path);
}

// Reads the next piece of the chain into the read-ahead; false when nothing
// more came. Files that end are passed over, so a stream cut into pieces of
// any size reads like the whole file; with `within_file` the reading stops at
// the end of the current file instead. The chain ends at a read error, at a
// file that cannot be opened, and when the list runs out.
bool Read_Ahead_More(bool within_file) {
  DecoderState& d = decoder_state;
  ReadAhead& a = d.read_ahead;
  if (a.chain_ended) return false;
  if (a.end + READ_CHUNK > READ_AHEAD_CAPACITY) {
    std::memmove(a.bytes, a.bytes + a.start, static_cast<size_t>(a.end - a.start));
    a.end -= a.start;
    a.start = 0;
  }
  while (d.input_file != nullptr) {
    const size_t count = std::fread(a.bytes + a.end, 1, READ_CHUNK, d.input_file);
    a.end += static_cast<int>(count);
    if (count > 0) return true;
    if (std::ferror(d.input_file)) break;
    if (within_file) return false;
    Open_Next_File();
  }
  a.chain_ended = 1;
  return false;
}

// Makes `count` bytes available in the read-ahead, if the chain has them.
bool Ensure_Ahead(int count) {
  while (Ahead_Count() < count) {
    if (!Read_Ahead_More(false)) return false;
  }
  return true;
}

// Moves up to `count` bytes of the chain to `dest`; returns how many came.
int Take_From_Chain(uint8_t* dest, int count) {
  ReadAhead& a = decoder_state.read_ahead;
  int taken = 0;
  while (taken < count && Ensure_Ahead(1)) {
    const int n = std::min(count - taken, Ahead_Count());
    std::memcpy(dest + taken, a.bytes + a.start, static_cast<size_t>(n));
    a.start += n;
    taken += n;
  }
  return taken;
}

// --- The input buffer -------------------------------------------------------

void Fill_With_End_Codes() {
  BitstreamState& bs = decoder_state.bitstream;
  for (int i = 0; i < INPUT_BUFFER_SIZE; i += 4) std::memcpy(bs.input_buffer + i, END_PATTERN, 4);
  decoder_state.valid_data_end = 0;
  bs.read_position = 0;
  bs.packet_end = INPUT_BUFFER_SIZE;
}

// Reads the next buffer from the chain; the caller has moved read_position
// (and packet_end) into the new buffer's coordinates. When the chain runs
// out, the input ends after the bytes that came. packet_end keeps marking the
// current packet then: bytes that follow it in this last buffer are headers
// and other streams, not video.
void Load_Buffer() {
  DecoderState& d = decoder_state;
  BitstreamState& bs = d.bitstream;
  const int count = Take_From_Chain(bs.input_buffer, INPUT_BUFFER_SIZE);
  d.read_ahead.bytes_delivered += count;
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
  if (Input_Exhausted() || offset >= MAX_LOOK_AHEAD || !Ensure_Ahead(offset + 1)) return -1;
  return d.read_ahead.bytes[d.read_ahead.start + offset];
}

bool Is_System_Start_Code(uint32_t code) {
  return (code >> 8) == START_CODE_PREFIX && code >= FIRST_SYSTEM_START_CODE;
}

// True where a pack or packet start code (or the program end code) begins,
// and at the end of the input (not beyond it).
bool Is_Packet_Boundary(int position) {
  const int b0 = Stream_Byte(position);
  if (b0 < 0) return position == 0 || Stream_Byte(position - 1) >= 0;
  if (b0 != 0 || Stream_Byte(position + 1) != 0 || Stream_Byte(position + 2) != 1) return false;
  return Stream_Byte(position + 3) >= static_cast<int>(FIRST_SYSTEM_START_CODE & 0xFF);
}

// Where a structure that starts at `from` and claims to end at `end` really
// ends. Its length is trusted when a pack or packet start code follows it.
// Otherwise a start code inside it shows that the length is damaged, and the
// structure ends there; without one the length stands (what follows it is
// damaged, and the search for the next start code passes over that).
int Checked_End(int from, int end) {
  if (Is_Packet_Boundary(end)) return end;
  for (int p = from; p < end; ++p) {
    if (Is_Packet_Boundary(p)) return p;
  }
  return end;
}

// Length of the video packet header at `position` (right after the packet
// length), or -1 when it is malformed or runs past `end`.
// MPEG-2: '10' flags, flags, PES_header_data_length, header data.
// MPEG-1: stuffing bytes 0xFF, the STD buffer fields ('01' and one more byte),
// then '0010' PTS (5 bytes), '0011' PTS and DTS (10 bytes) or 0x0F.
int Packet_Header_Length(int position, int end) {
  int b = Stream_Byte(position);
  int length = -1;
  if ((b & 0xC0) == 0x80) {
    const int data_length = Stream_Byte(position + 2);
    if (data_length >= 0) length = 3 + data_length;
  } else {
    int n = 0;
    while (b == 0xFF && position + n < end) b = Stream_Byte(position + ++n);
    if ((b & 0xC0) == 0x40) {
      n += 2;
      b = Stream_Byte(position + n);
    }
    if ((b & 0xF0) == 0x20) length = n + 5;
    if ((b & 0xF0) == 0x30) length = n + 10;
    if (b == 0x0F) length = n + 1;
  }
  return b >= 0 && length >= 0 && position + length <= end ? length : -1;
}

// A pack header: 8 bytes after the start code (MPEG-1), or 10 bytes whose
// last one ends in the number of stuffing bytes that follow (MPEG-2).
void Skip_Pack_Header() {
  BitstreamState& bs = decoder_state.bitstream;
  int length = 8;
  if ((Stream_Byte(bs.read_position) & 0xC0) == 0x40) {
    length = 10 + (std::max(Stream_Byte(bs.read_position + 9), 0) & 7);
  }
  bs.read_position = Checked_End(bs.read_position, bs.read_position + length);
}

// A packet of another stream, passed over.
void Skip_Packet() {
  BitstreamState& bs = decoder_state.bitstream;
  const int length = Read_Word16();
  bs.read_position = Checked_End(bs.read_position, bs.read_position + length);
}

// A packet of video stream 0: positions the reader at its payload. False
// when its header is malformed; the search for the next start code then goes
// on right after the packet length.
bool Start_Video_Packet() {
  BitstreamState& bs = decoder_state.bitstream;
  const int length = Read_Word16();
  // No buffer is loaded from here on, so positions keep their meaning.
  const int end = Checked_End(bs.read_position, bs.read_position + length);
  const int header = Packet_Header_Length(bs.read_position, end);
  if (header < 0) return false;
  bs.read_position += header;
  bs.packet_end = end;
  return true;
}

}  // namespace

bool Input_Path_Is_Usable(const char* path) {
  if (std::strcmp(path, "-") == 0) return true;
  struct stat status;
  return ::stat(path, &status) == 0 && (S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode));
}

std::FILE* Open_Input_File(const char* path) {
  if (std::strcmp(path, "-") == 0) {
    // A handle of its own, so that closing it leaves standard input alone.
    const int fd = ::dup(STDIN_FILENO);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return file;
  }
  if (!Input_Path_Is_Usable(path)) return nullptr;
  return std::fopen(path, "rb");
}

InputProbe Probe_Input() {
  DecoderState& d = decoder_state;
  ReadAhead& a = d.read_ahead;
  InputProbe probe{-1, 0};
  // Empty files at the head of the list are passed over: the first file with
  // bytes is the one probed.
  while (Ahead_Count() == 0 && !Read_Ahead_More(true)) {
    if (a.chain_ended || d.file_list == nullptr || d.file_list[d.current_file_index + 1] == nullptr) {
      return probe;
    }
    Open_Next_File();
    if (d.input_file == nullptr) return probe;
  }
  probe.first_byte = a.bytes[a.start];
  for (;;) {
    while (Ahead_Count() < 4 && Read_Ahead_More(true)) {
    }
    const uint8_t* p = a.bytes + a.start;
    const int count = Ahead_Count();
    for (int i = 0; i + 3 < count; ++i) {
      if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
        a.start += i;
        probe.first_start_code = (START_CODE_PREFIX << 8) | p[i + 3];
        return probe;
      }
    }
    // Keep the last three bytes: they may begin a start code.
    if (count > 3) a.start += count - 3;
    if (!Read_Ahead_More(true)) return probe;
  }
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
