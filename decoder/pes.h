// Program-stream structures, read through a byte accessor so that the live
// demultiplexer (bytes of the input buffer and the read-ahead) and the survey
// of the first megabytes (one block of bytes) parse them alike.
//
// `at(position)` returns the byte at `position` (0..255) or -1 past the end
// of the input; positions only grow from where the caller stands.
#pragma once

#include <algorithm>

#include "decoder/start_codes.h"

// True where a pack or packet start code (or the program end code) begins,
// and at the end of the input (not beyond it).
template <typename ByteAt>
bool Is_Packet_Boundary(const ByteAt& at, int position) {
  const int b0 = at(position);
  if (b0 < 0) return position == 0 || at(position - 1) >= 0;
  if (b0 != 0 || at(position + 1) != 0 || at(position + 2) != 1) return false;
  return at(position + 3) >= static_cast<int>(FIRST_SYSTEM_START_CODE & 0xFF);
}

// Where a structure that starts at `from` and claims to end at `end` really
// ends. Its length is trusted when a pack or packet start code follows it.
// Otherwise a start code inside it shows that the length is damaged, and the
// structure ends there; without one the length stands (what follows it is
// damaged, and the search for the next start code passes over that).
template <typename ByteAt>
int Checked_End(const ByteAt& at, int from, int end) {
  if (Is_Packet_Boundary(at, end)) return end;
  for (int p = from; p < end; ++p) {
    if (Is_Packet_Boundary(at, p)) return p;
  }
  return end;
}

// Length of a pack header after its start code: 8 bytes (MPEG-1), or 10
// bytes whose last one ends in the number of stuffing bytes that follow
// (MPEG-2).
template <typename ByteAt>
int Pack_Header_Length(const ByteAt& at, int position) {
  if ((at(position) & 0xC0) != 0x40) return 8;
  return 10 + (std::max(at(position + 9), 0) & 7);
}

// Length of the packet header at `position` (right after the packet length)
// of an audio or video packet, or -1 when it is malformed or runs past `end`.
// MPEG-2: '10' flags, flags, PES_header_data_length, header data.
// MPEG-1: stuffing bytes 0xFF, the STD buffer fields ('01' and one more byte),
// then '0010' PTS (5 bytes), '0011' PTS and DTS (10 bytes) or 0x0F.
template <typename ByteAt>
int Packet_Header_Length(const ByteAt& at, int position, int end) {
  int b = at(position);
  int length = -1;
  if ((b & 0xC0) == 0x80) {
    const int data_length = at(position + 2);
    if (data_length >= 0) length = 3 + data_length;
  } else {
    int n = 0;
    while (b == 0xFF && position + n < end) b = at(position + ++n);
    if ((b & 0xC0) == 0x40) {
      n += 2;
      b = at(position + n);
    }
    if ((b & 0xF0) == 0x20) length = n + 5;
    if ((b & 0xF0) == 0x30) length = n + 10;
    if (b == 0x0F) length = n + 1;
  }
  return b >= 0 && length >= 0 && position + length <= end ? length : -1;
}
