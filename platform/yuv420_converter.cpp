#include "platform/yuv420_converter.h"

#include "platform/yuv420_kernels.h"

Yuv420Converter::Yuv420Converter(int width, int height, bool full_range)
    : width_(width),
      height_(height),
      full_range_(full_range),
      filter_(Halving_Chroma_Filter(height)),
      chroma_width_((width + 1) / 2),
      tap_rows_(static_cast<size_t>(filter_.taps)) {
  // Rows are split in order up to the last one a chroma row reads; as the
  // chroma rows' first rows never fall back, one slot per tap keeps every
  // row until no chroma row reads it any more.
  const size_t samples = tap_rows_.size() * static_cast<size_t>(chroma_width_);
  u_rows_.resize(samples);
  v_rows_.resize(samples);
}

void Yuv420Converter::Convert(const uint8_t* top, std::ptrdiff_t stride, uint8_t* const planes[3],
                              const int line_sizes[3]) {
  auto slot = [&](std::vector<int16_t>& rows, int row) {
    return rows.data() +
           static_cast<size_t>(row % filter_.taps) * static_cast<size_t>(chroma_width_);
  };
  int split = 0;  // rows split so far
  auto split_up_to = [&](int end) {
    for (; split < end; ++split) {
      yuv420_kernels.split_row(top + stride * split, width_, full_range_,
                               planes[0] + static_cast<std::ptrdiff_t>(line_sizes[0]) * split,
                               slot(u_rows_, split), slot(v_rows_, split));
    }
  };
  const int taps = filter_.taps;
  for (size_t c = 0; c < filter_.first_row.size(); ++c) {
    const int first = filter_.first_row[c];
    split_up_to(first + taps);
    const int16_t* weights = filter_.weights.data() + c * static_cast<size_t>(taps);
    for (int plane = 1; plane <= 2; ++plane) {
      std::vector<int16_t>& rows = plane == 1 ? u_rows_ : v_rows_;
      for (int k = 0; k < taps; ++k) tap_rows_[static_cast<size_t>(k)] = slot(rows, first + k);
      yuv420_kernels.filter_rows(tap_rows_.data(), weights, taps,
                                 planes[plane] + static_cast<std::ptrdiff_t>(line_sizes[plane]) *
                                                     static_cast<std::ptrdiff_t>(c),
                                 chroma_width_);
    }
  }
  split_up_to(height_);
}
