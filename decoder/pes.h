// Program-stream structures, read through a byte accessor so that the live
// demultiplexer (bytes of the input buffer and the read-ahead) and the survey
// of the first megabytes (one block of bytes) parse them alike.
//
// `at(position)` returns the byte at `position` (0..255) or -1 past the end
// of the input; positions only grow from where the caller stands.
#pragma once

#include <algorithm>
#include <cstdint>

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

// A 33-bit time stamp in 90 kHz units from the five bytes at `position`
// ('0010' or '0011' or '0001', bits 32..30, marker, bits 29..15, marker,
// bits 14..0, marker), or -1 when a marker bit is clear (damage).
template <typename ByteAt>
int64_t Time_Stamp_At(const ByteAt& at, int position) {
  int b[5];
  for (int i = 0; i < 5; ++i) b[i] = at(position + i);
  if (b[4] < 0 || (b[0] & 1) == 0 || (b[2] & 1) == 0 || (b[4] & 1) == 0) return -1;
  return int64_t{(b[0] >> 1) & 7} << 30 | int64_t{b[1]} << 22 | int64_t{b[2] >> 1} << 15 |
         int64_t{b[3]} << 7 | (b[4] >> 1);
}

// The system clock reference of the pack header after its start code at
// `position` (the 33-bit base, 90 kHz), or -1 when damaged.
template <typename ByteAt>
int64_t Pack_Clock(const ByteAt& at, int position) {
  const int b0 = at(position);
  if ((b0 & 0xF0) == 0x20) return Time_Stamp_At(at, position);  // MPEG-1
  int b[6];
  for (int i = 0; i < 6; ++i) b[i] = at(position + i);
  if (b[5] < 0 || (b0 & 0xC0) != 0x40 || (b[0] & 4) == 0 || (b[2] & 4) == 0 || (b[4] & 4) == 0 ||
      (b[5] & 1) == 0) {
    return -1;
  }
  return int64_t{(b[0] >> 3) & 7} << 30 | int64_t{b[0] & 3} << 28 | int64_t{b[1]} << 20 |
         int64_t{b[2] >> 3} << 15 | int64_t{b[2] & 3} << 13 | int64_t{b[3]} << 5 | (b[4] >> 3);
}

// The presentation time stamp of the audio or video packet whose header
// (Packet_Header_Length bytes) starts at `position`, or -1 when it has none.
template <typename ByteAt>
int64_t Packet_Pts(const ByteAt& at, int position) {
  int b = at(position);
  if ((b & 0xC0) == 0x80) {
    const bool has_pts = (at(position + 1) & 0x80) != 0;
    return has_pts ? Time_Stamp_At(at, position + 3) : -1;
  }
  int n = 0;
  while (b == 0xFF && n < 16) b = at(position + ++n);
  if ((b & 0xC0) == 0x40) n += 2;
  return (at(position + n) & 0xE0) == 0x20 ? Time_Stamp_At(at, position + n) : -1;
}
