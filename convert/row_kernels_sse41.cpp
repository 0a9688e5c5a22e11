#include "convert/row_kernels.h"

#include <smmintrin.h>

#include <cstddef>

#include "convert/yuv_to_bgr_terms.h"

// YUV to B, G, R in SSE4.1 registers, 16 pixels per step: the folded colour
// formula in 32-bit lanes (pmulld; exact, see ColourTerms), saturating packs
// to bytes, and pshufb (SSSE3) to lay the three channels out as packed
// pixels. Only intrinsics and this unit's own functions are used here, so no
// code built for SSE4.1 can stand in for a shared inline function elsewhere.

namespace {

constexpr int kStep = 16;

// The 16 bytes at p widened to four registers of 32-bit lanes, in order.
inline void Widen(const uint8_t* p, __m128i (&wide)[4]) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  wide[0] = _mm_cvtepu8_epi32(bytes);
  wide[1] = _mm_cvtepu8_epi32(_mm_srli_si128(bytes, 4));
  wide[2] = _mm_cvtepu8_epi32(_mm_srli_si128(bytes, 8));
  wide[3] = _mm_cvtepu8_epi32(_mm_srli_si128(bytes, 12));
}

// The four registers of one channel, shifted down and packed back to 16
// bytes with saturation (so clamped to 0..255).
inline __m128i Narrow(const __m128i (&sums)[4]) {
  auto descale = [](__m128i v) { return _mm_srai_epi32(v, 16); };
  return _mm_packus_epi16(_mm_packs_epi32(descale(sums[0]), descale(sums[1])),
                          _mm_packs_epi32(descale(sums[2]), descale(sums[3])));
}

void YUV_To_BGR_Row(uint8_t* dest, const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                    int width, const ColourCoefficients& coefficients) {
  if (width < kStep) {
    portable_colour_convert_kernels.yuv_to_bgr_row(dest, luma, cb, cr, width, coefficients);
    return;
  }
  const ColourTerms terms = Colour_Terms(coefficients);
  const __m128i luma_gain = _mm_set1_epi32(LUMA_GAIN);
  const __m128i b_from_cb = _mm_set1_epi32(terms.b_from_cb);
  const __m128i g_from_cb = _mm_set1_epi32(terms.g_from_cb);
  const __m128i g_from_cr = _mm_set1_epi32(terms.g_from_cr);
  const __m128i r_from_cr = _mm_set1_epi32(terms.r_from_cr);
  const __m128i b_constant = _mm_set1_epi32(terms.b_constant);
  const __m128i g_constant = _mm_set1_epi32(terms.g_constant);
  const __m128i r_constant = _mm_set1_epi32(terms.r_constant);
  __m128i shuffle[3][3];
  for (int channel = 0; channel < 3; ++channel) {
    for (int part = 0; part < 3; ++part) {
      shuffle[channel][part] =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBgrShuffle.bytes[channel][part]));
    }
  }

  auto step = [&](int x) {
    __m128i y[4], u[4], v[4];
    Widen(luma + x, y);
    Widen(cb + x, u);
    Widen(cr + x, v);
    __m128i b[4], g[4], r[4];
    for (int k = 0; k < 4; ++k) {
      const __m128i t = _mm_mullo_epi32(y[k], luma_gain);
      b[k] = _mm_add_epi32(_mm_add_epi32(t, b_constant), _mm_mullo_epi32(u[k], b_from_cb));
      g[k] = _mm_add_epi32(
          _mm_add_epi32(t, g_constant),
          _mm_add_epi32(_mm_mullo_epi32(u[k], g_from_cb), _mm_mullo_epi32(v[k], g_from_cr)));
      r[k] = _mm_add_epi32(_mm_add_epi32(t, r_constant), _mm_mullo_epi32(v[k], r_from_cr));
    }
    const __m128i channels[3] = {Narrow(b), Narrow(g), Narrow(r)};
    __m128i* out = reinterpret_cast<__m128i*>(dest + 3 * static_cast<std::ptrdiff_t>(x));
    for (int part = 0; part < 3; ++part) {
      _mm_storeu_si128(out + part,
                       _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(channels[0], shuffle[0][part]),
                                                 _mm_shuffle_epi8(channels[1], shuffle[1][part])),
                                    _mm_shuffle_epi8(channels[2], shuffle[2][part])));
    }
  };
  int x = 0;
  for (; x + kStep <= width; x += kStep) step(x);
  // The last step ends at the row end, recomputing a few pixels alike.
  if (x < width) step(width - kStep);
}

}  // namespace

const ColourConvertKernels colour_convert_kernels_sse41 = {&YUV_To_BGR_Row};
