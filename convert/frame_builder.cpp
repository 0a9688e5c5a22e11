#include "convert/frame_builder.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "convert/row_kernels.h"

namespace {

// Bottom-up layout: output row i lives in buffer row out_height - 1 - i.
class BottomUpFrame {
 public:
  BottomUpFrame(uint8_t* dest, int out_height, ptrdiff_t row_bytes)
      : dest_(dest), out_height_(out_height), row_bytes_(row_bytes) {}
  uint8_t* Row(int i) const { return dest_ + (out_height_ - 1 - i) * row_bytes_; }

 private:
  uint8_t* dest_;
  ptrdiff_t out_height_;
  ptrdiff_t row_bytes_;
};

// Equal heights: the band row for row, converted straight into the frame
// unless the deinterlacing filter needs the ring of the last three rows.
void Copy_Band(const RowProducer& produce_row, const FrameGeometry& g,
               uint8_t* const filter_ring[3], const BottomUpFrame& frame, int row_bytes) {
  if (!g.deinterlace) {
    for (int i = 0; i < g.out_height; ++i) produce_row(frame.Row(i), g.crop_top + i);
    return;
  }
  // Slots 1 and 2 stand for S[-2] and S[-1], both S[0]; slot 0 takes S[0]
  // itself at step 0, so the first row is converted only once.
  produce_row(filter_ring[1], g.crop_top);
  std::memcpy(filter_ring[2], filter_ring[1], row_bytes);
  std::memcpy(filter_ring[0], filter_ring[1], row_bytes);
  for (int i = 0; i < g.out_height; ++i) {
    const int k = i % 3;
    if (i > 0) produce_row(filter_ring[k], g.crop_top + i);
    // Slot k holds S[i], (k+2) % 3 holds S[i-1], (k+1) % 3 holds S[i-2].
    Filter_Rows_121(frame.Row(i), filter_ring[(k + 1) % 3], filter_ring[(k + 2) % 3],
                    filter_ring[k], row_bytes);
  }
}

// Different heights: linear interpolation between the two source rows that
// bracket each output position, with 8-bit weights. `acc` counts, in units of
// 1 / out_height source rows, how far the position lies past row y - 1.
void Resample_Band(const RowProducer& produce_row, const FrameGeometry& g,
                   uint8_t* const row_pair[2], uint8_t* const filter_ring[3],
                   const BottomUpFrame& frame, int row_bytes) {
  const int64_t n = g.out_height;
  const int64_t m = g.crop_height;
  const int band_end = g.crop_top + g.crop_height;
  int y = g.crop_top;
  produce_row(row_pair[y & 1], y);
  int k = 0;
  if (g.deinterlace) {
    std::memcpy(filter_ring[1], row_pair[y & 1], row_bytes);
    std::memcpy(filter_ring[2], row_pair[y & 1], row_bytes);
  }
  int64_t acc = n;
  for (int j = 0; j < g.out_height; ++j) {
    while (acc >= n) {
      acc -= n;
      ++y;
      uint8_t* next = row_pair[y & 1];
      if (y >= band_end) {
        // Positions past the band take its last row. y never passes
        // band_end: after output row j it is crop_top + 1 + j * m / n.
        std::memcpy(next, row_pair[(y - 1) & 1], row_bytes);
      } else if (g.deinterlace) {
        produce_row(filter_ring[k], y);
        Filter_Rows_121(next, filter_ring[(k + 1) % 3], filter_ring[(k + 2) % 3], filter_ring[k],
                        row_bytes);
        k = (k + 1) % 3;
      } else {
        produce_row(next, y);
      }
    }
    const int weight = static_cast<int>(acc * 256 / n);
    Blend_Rows(frame.Row(j), row_pair[(y - 1) & 1], row_pair[y & 1], weight, row_bytes);
    acc += m;
  }
}

}  // namespace

void Assemble_Frame(const RowProducer& produce_row, const FrameGeometry& geometry,
                    uint8_t* const row_pair[2], uint8_t* const filter_ring[3], uint8_t* dest) {
  const FrameGeometry& g = geometry;
  if (g.out_height <= 0 || g.width <= 0) return;
  const int row_bytes = 3 * g.width;
  const BottomUpFrame frame(dest, g.out_height, row_bytes);
  const bool band_inside_picture =
      g.crop_top >= 0 && g.crop_height >= 1 && g.crop_top <= g.picture_height - g.crop_height;
  if (!band_inside_picture) {
    std::memset(dest, 0, static_cast<size_t>(g.out_height) * static_cast<size_t>(row_bytes));
    return;
  }
  if (g.out_height == g.crop_height) {
    Copy_Band(produce_row, g, filter_ring, frame, row_bytes);
  } else {
    Resample_Band(produce_row, g, row_pair, filter_ring, frame, row_bytes);
  }
}

bool FrameBuilder::Allocate(int width) {
  if (width <= 0) return false;
  const size_t row_bytes = 3 * static_cast<size_t>(width);
  try {
    rows_.assign(5 * row_bytes + 2 * static_cast<size_t>(width), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  width_ = width;
  uint8_t* rows = rows_.data();
  row_pair_[0] = rows;
  row_pair_[1] = rows + row_bytes;
  filter_ring_[0] = rows + 2 * row_bytes;
  filter_ring_[1] = rows + 3 * row_bytes;
  filter_ring_[2] = rows + 4 * row_bytes;
  chroma_rows_[0] = rows + 5 * row_bytes;
  chroma_rows_[1] = chroma_rows_[0] + width;
  return true;
}

void FrameBuilder::Build(const OutputPicture& picture, int crop_top, int out_height,
                         int crop_height, bool deinterlace, uint8_t* dest) {
  FrameGeometry geometry;
  geometry.width = width_;
  // A picture that does not fit the work rows has no rows to take the band
  // from, which makes the frame black.
  geometry.picture_height = picture.luma != nullptr && picture.width == width_ ? picture.height : 0;
  geometry.crop_top = crop_top;
  geometry.crop_height = crop_height;
  geometry.out_height = out_height;
  geometry.deinterlace = deinterlace;
  auto produce_row = [&](uint8_t* row_dest, int row) {
    Convert_Row_To_BGR(picture, chroma_rows_, row_dest, row);
  };
  Assemble_Frame(produce_row, geometry, row_pair_, filter_ring_, dest);
}
