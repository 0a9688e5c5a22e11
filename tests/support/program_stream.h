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
