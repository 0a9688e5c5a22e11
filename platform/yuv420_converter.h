// The conversion of 24-bit B, G, R frames into YUV 4:2:0 pictures of the
// same size for the lossy encoders: BT.601 matrix, limited or full range,
// chroma averaged over pixel pairs across and halved down the rows by a
// bicubic filter. It gives the bytes of libswscale's bicubic conversion with
// accurate rounding (FFmpeg 5.1), which these encoders were first given,
// at a fraction of its time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/chroma_filter.h"

class Yuv420Converter {
 public:
  // width, height > 0.
  Yuv420Converter(int width, int height, bool full_range);

  // The picture whose top row starts at `top`, the next row `stride` bytes
  // further on (negative for bottom-up frames), into the three planes,
  // `line_sizes` bytes from row to row. With an odd width, three bytes past
  // each row are read.
  void Convert(const uint8_t* top, std::ptrdiff_t stride, uint8_t* const planes[3],
               const int line_sizes[3]);

 private:
  int width_;
  int height_;
  bool full_range_;
  ChromaFilter filter_;
  int chroma_width_;
  // The chroma samples of the last source rows, row r in slot r % taps.
  std::vector<int16_t> u_rows_;
  std::vector<int16_t> v_rows_;
  std::vector<const int16_t*> tap_rows_;  // the rows one chroma row is filtered from
};
