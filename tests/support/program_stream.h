// Wraps video bytes into a program stream of small video packets, so that a
// parser meets packet ends anywhere in its codes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// Video packets (stream 0xE0, MPEG-1 header without time stamps) whose
// payloads take their lengths from `sizes` in turn (0 allowed), then the
// program end code.
inline std::vector<uint8_t> Program_Stream_Of_Packets(const std::vector<uint8_t>& video,
                                                      const std::vector<int>& sizes) {
  std::vector<uint8_t> stream;
  size_t taken = 0;
  for (size_t packet = 0; taken < video.size(); ++packet) {
    const size_t size =
        std::min<size_t>(video.size() - taken, static_cast<size_t>(sizes[packet % sizes.size()]));
    const size_t length = size + 1;  // the header byte 0x0F
    stream.insert(stream.end(), {0, 0, 1, 0xE0, static_cast<uint8_t>(length >> 8),
                                 static_cast<uint8_t>(length & 0xFF), 0x0F});
    stream.insert(stream.end(), video.begin() + static_cast<long>(taken),
                  video.begin() + static_cast<long>(taken + size));
    taken += size;
  }
  stream.insert(stream.end(), {0, 0, 1, 0xB9});
  return stream;
}

// An MPEG-2 pack header with system clock reference `scr` (90 kHz units).
inline void Append_Pack_Header(std::vector<uint8_t>& out, int64_t scr) {
  const auto b = [&](int64_t v) { out.push_back(static_cast<uint8_t>(v)); };
  out.insert(out.end(), {0, 0, 1, 0xBA});
  b(0x44 | (scr >> 27 & 0x38) | (scr >> 28 & 3));
  b(scr >> 20);
  b((scr >> 12 & 0xF8) | 4 | (scr >> 13 & 3));
  b(scr >> 5);
  b((scr << 3 & 0xF8) | 4);
  b(1);
  out.insert(out.end(), {0x01, 0x89, 0xC3, 0xF8});  // mux rate, no stuffing
}

// A packet of `stream_id` with an MPEG-2 header that carries `pts` when it
// is not negative.
inline void Append_Packet(std::vector<uint8_t>& out, int stream_id, int64_t pts,
                          const std::vector<uint8_t>& payload) {
  const size_t header = pts >= 0 ? 8 : 3;
  const size_t length = header + payload.size();
  out.insert(out.end(), {0, 0, 1, static_cast<uint8_t>(stream_id),
                         static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
  if (pts < 0) {
    out.insert(out.end(), {0x80, 0x00, 0x00});
  } else {
    out.insert(out.end(), {0x80, 0x80, 0x05, static_cast<uint8_t>(0x21 | (pts >> 29 & 0x0E)),
                           static_cast<uint8_t>(pts >> 22), static_cast<uint8_t>(pts >> 14 | 1),
                           static_cast<uint8_t>(pts >> 7), static_cast<uint8_t>(pts << 1 | 1)});
  }
  out.insert(out.end(), payload.begin(), payload.end());
}
