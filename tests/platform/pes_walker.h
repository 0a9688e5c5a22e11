// Test-side reader of MPEG-1 system and MPEG-2 program streams: the PES
// packets of a file with their payloads and time stamps, in file order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/platform/avi_test_support.h"

namespace avi_test {

struct PesPacket {
  uint8_t stream_id;
  std::vector<uint8_t> payload;  // the bytes after the PES header
  int64_t pts;                   // 90 kHz; -1 when the header has none
};

constexpr uint8_t kPrivateStream1 = 0xBD;

// The audio stream a packet belongs to, as the demultiplexer numbers them:
// the stream id of MPEG audio, the sub-stream id of AC-3, DTS and LPCM in
// private stream 1; -1 for anything else.
inline int AudioStreamOf(const PesPacket& packet) {
  if (packet.stream_id >= 0xC0 && packet.stream_id <= 0xDF) return packet.stream_id;
  if (packet.stream_id != kPrivateStream1 || packet.payload.empty()) return -1;
  const int sub_stream = packet.payload[0];
  return (sub_stream >= 0x80 && sub_stream <= 0x8F) || (sub_stream >= 0xA0 && sub_stream <= 0xA7)
             ? sub_stream
             : -1;
}

inline int64_t ReadPts(const uint8_t* p) {
  return int64_t{(p[0] >> 1) & 7} << 30 | int64_t{p[1]} << 22 | int64_t{p[2] >> 1} << 15 |
         int64_t{p[3]} << 7 | p[4] >> 1;
}

inline std::vector<PesPacket> ReadPesPackets(const std::string& path) {
  const std::string file = ReadWholeFile(path);
  const auto* b = reinterpret_cast<const uint8_t*>(file.data());
  const size_t size = file.size();
  std::vector<PesPacket> packets;
  size_t pos = 0;
  while (pos + 6 <= size) {
    if (b[pos] != 0 || b[pos + 1] != 0 || b[pos + 2] != 1) {
      ++pos;
      continue;
    }
    const uint8_t code = b[pos + 3];
    if (code == 0xBA) {  // pack header: MPEG-2 with its stuffing, or MPEG-1
      pos += (b[pos + 4] & 0xC0) == 0x40 && pos + 14 <= size ? 14 + (b[pos + 13] & 7) : 12;
      continue;
    }
    if (code < 0xBB) {
      pos += 4;
      continue;
    }
    const size_t end = pos + 6 + (b[pos + 4] << 8 | b[pos + 5]);
    if (end > size) break;
    PesPacket packet{code, {}, -1};
    size_t data = pos + 6;
    const bool has_header = code != 0xBB && code != 0xBC && code != 0xBE && code != 0xBF;
    if (has_header && data < end && (b[data] & 0xC0) == 0x80) {  // MPEG-2
      if (b[data + 1] & 0x80) packet.pts = ReadPts(b + data + 3);
      data += 3 + b[data + 2];
    } else if (has_header) {  // MPEG-1: stuffing, STD buffer, time stamps
      while (data < end && b[data] == 0xFF) ++data;
      if (data < end && (b[data] & 0xC0) == 0x40) data += 2;
      if (data < end && (b[data] & 0xE0) == 0x20) {
        packet.pts = ReadPts(b + data);
        data += (b[data] & 0x10) ? 10 : 5;
      } else {
        ++data;  // 0x0F: no time stamps
      }
    }
    if (has_header && data <= end) {
      packet.payload.assign(b + data, b + end);
      packets.push_back(std::move(packet));
    }
    pos = end;
  }
  return packets;
}

}  // namespace avi_test
