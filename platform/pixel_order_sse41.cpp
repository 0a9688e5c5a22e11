#include <tmmintrin.h>

#include "platform/pixel_order.h"

// pshufb (SSSE3) reorders five pixels a step.

namespace {

void Swap_Outer_Bytes_Ssse3(const uint8_t* in, uint8_t* out, int count) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  int i = 0;
  // Sixteen bytes are loaded and stored for the fifteen of five pixels; the
  // sixteenth is the next step's first, stored again by it. The last step
  // leaves at least one pixel to the loop below, so that neither runs past
  // the row.
  for (; i + 6 <= count; i += 5) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * i), _mm_shuffle_epi8(pixels, order));
  }
  for (; i < count; ++i) {
    out[3 * i] = in[3 * i + 2];
    out[3 * i + 1] = in[3 * i + 1];
    out[3 * i + 2] = in[3 * i];
  }
}

}  // namespace

const PixelOrderKernels pixel_order_kernels_sse41 = {Swap_Outer_Bytes_Ssse3};
