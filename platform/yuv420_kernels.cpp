#include "platform/yuv420_kernels.h"

#include "platform/yuv420_terms.h"

namespace {

using namespace yuv420;

void Split_Row(const uint8_t* bgr, int width, bool full_range, uint8_t* luma, int16_t* u,
               int16_t* v) {
  for (int x = 0; x < width; ++x)
    luma[x] = Luma(bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2], full_range);
  Chroma_Pairs(bgr, 0, (width + 1) / 2, full_range, u, v);
}

void Filter_Rows(const int16_t* const* rows, const int16_t* weights, int taps, uint8_t* out,
                 int count) {
  for (int x = 0; x < count; ++x) out[x] = Filtered(rows, weights, taps, x);
}

}  // namespace

const Yuv420Kernels portable_yuv420_kernels = {Split_Row, Filter_Rows};
Yuv420Kernels yuv420_kernels = portable_yuv420_kernels;
