#include "convert/row_kernels.h"

#include <immintrin.h>

#include <cstddef>

#include "convert/yuv_to_bgr_terms.h"

// Kernels in AVX2 registers, 32 bytes or pixels per step:
// - vertical chroma upsampling: each output is a weighted sum of two input
//   bytes, taken by pmaddubsw on the interleaved bytes in 16-bit lanes (the
//   weights, at most 8 in all, keep every sum far from saturation);
// - YUV to B, G, R: the folded colour formula in 32-bit lanes (exact, see
//   ColourTerms), saturating packs to bytes, then pshufb within each 128-bit
//   half (16 pixels each) and one exchange of halves per 32 output bytes.
// Narrower planes and rows go to the SSE2 or SSE4.1 kernels, and so does the
// horizontal chroma upsampling. Only intrinsics and this unit's own functions
// are used here, so no code built for AVX2 can stand in for a shared inline
// function elsewhere.

namespace {

constexpr int kStep = 32;

// Calls step(x) for x = 0, 32, ... and once more for the last 32 bytes of a
// length of at least 32 (recomputing a few with the same result).
template <typename Step>
inline void For_Each_Step(int length, Step step) {
  int x = 0;
  for (; x + kStep <= length; x += kStep) step(x);
  if (x < length) step(length - kStep);
}

inline __m256i Load(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

inline void Store(uint8_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// Byte pairs (wa, wb) for pmaddubsw.
inline __m256i Weights(int wa, int wb) {
  return _mm256_set1_epi16(static_cast<int16_t>(wa | (wb << 8)));
}

// (a * wa + b * wb + rounding) >> shift per byte; the unpacks and the pack
// work within 128-bit halves and undo each other's order.
inline __m256i Weighted_Sum(__m256i a, __m256i b, __m256i weights, __m256i rounding, int shift) {
  auto half = [&](__m256i pairs) {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(pairs, weights), rounding),
                             shift);
  };
  return _mm256_packus_epi16(half(_mm256_unpacklo_epi8(a, b)), half(_mm256_unpackhi_epi8(a, b)));
}

void Vertical_420_To_422_Progressive(const uint8_t* in, uint8_t* out, int width, int height) {
  if (width < kStep) {
    chroma_upsample_kernels_sse2.vertical_420_to_422_progressive(in, out, width, height);
    return;
  }
  const __m256i one_three = Weights(1, 3), three_one = Weights(3, 1);
  const __m256i two = _mm256_set1_epi16(2);
  for (int r = 0; r < height; ++r) {
    const ProgressiveRows rows = Progressive_Rows(in, out, width, height, r);
    For_Each_Step(width, [&](int x) {
      const __m256i c = Load(rows.centre + x);
      Store(rows.out[0] + x, Weighted_Sum(Load(rows.above + x), c, one_three, two, 2));
      Store(rows.out[1] + x, Weighted_Sum(c, Load(rows.below + x), three_one, two, 2));
    });
  }
}

void Vertical_420_To_422_Fieldwise(const uint8_t* in, uint8_t* out, int width, int height) {
  if (width < kStep) {
    chroma_upsample_kernels_sse2.vertical_420_to_422_fieldwise(in, out, width, height);
    return;
  }
  const __m256i w17 = Weights(1, 7), w35 = Weights(3, 5), w53 = Weights(5, 3), w71 = Weights(7, 1);
  const __m256i four = _mm256_set1_epi16(4);
  for (int p = 0; p < height / 2; ++p) {
    const FieldwiseRows rows = Fieldwise_Rows(in, out, width, height, p);
    For_Each_Step(width, [&](int x) {
      const __m256i t = Load(rows.top + x), b = Load(rows.bottom + x);
      Store(rows.out[0] + x, Weighted_Sum(Load(rows.top_above + x), t, w17, four, 3));
      Store(rows.out[1] + x, Weighted_Sum(Load(rows.bottom_above + x), b, w35, four, 3));
      Store(rows.out[2] + x, Weighted_Sum(t, Load(rows.top_below + x), w53, four, 3));
      Store(rows.out[3] + x, Weighted_Sum(b, Load(rows.bottom_below + x), w71, four, 3));
    });
  }
}

void Horizontal_422_To_444_MPEG1(const uint8_t* in, uint8_t* out, int count) {
  chroma_upsample_kernels_sse2.horizontal_422_to_444_mpeg1(in, out, count);
}

void Horizontal_422_To_444_MPEG2(const uint8_t* in, uint8_t* out, int count) {
  chroma_upsample_kernels_sse2.horizontal_422_to_444_mpeg2(in, out, count);
}

// The 32 bytes at p widened to four registers of 32-bit lanes, in the order
// that the packs below undo: lanes k of result r hold the bytes 4r + k and
// 16 + 4r + k.
inline void Widen(const uint8_t* p, __m256i (&wide)[4]) {
  const __m256i bytes = Load(p);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low = _mm256_unpacklo_epi8(bytes, zero);
  const __m256i high = _mm256_unpackhi_epi8(bytes, zero);
  wide[0] = _mm256_unpacklo_epi16(low, zero);
  wide[1] = _mm256_unpackhi_epi16(low, zero);
  wide[2] = _mm256_unpacklo_epi16(high, zero);
  wide[3] = _mm256_unpackhi_epi16(high, zero);
}

// The four registers of one channel, shifted down and packed back to 32
// bytes in pixel order with saturation (so clamped to 0..255).
inline __m256i Narrow(const __m256i (&sums)[4]) {
  auto descale = [](__m256i v) { return _mm256_srai_epi32(v, 16); };
  return _mm256_packus_epi16(_mm256_packs_epi32(descale(sums[0]), descale(sums[1])),
                             _mm256_packs_epi32(descale(sums[2]), descale(sums[3])));
}

inline __m256i Broadcast_Shuffle(const int8_t (&mask)[16]) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mask)));
}

void YUV_To_BGR_Row(uint8_t* dest, const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                    int width, const ColourCoefficients& coefficients) {
  if (width < kStep) {
    colour_convert_kernels_sse41.yuv_to_bgr_row(dest, luma, cb, cr, width, coefficients);
    return;
  }
  const ColourTerms terms = Colour_Terms(coefficients);
  const __m256i luma_gain = _mm256_set1_epi32(LUMA_GAIN);
  const __m256i b_from_cb = _mm256_set1_epi32(terms.b_from_cb);
  const __m256i g_from_cb = _mm256_set1_epi32(terms.g_from_cb);
  const __m256i g_from_cr = _mm256_set1_epi32(terms.g_from_cr);
  const __m256i r_from_cr = _mm256_set1_epi32(terms.r_from_cr);
  const __m256i b_constant = _mm256_set1_epi32(terms.b_constant);
  const __m256i g_constant = _mm256_set1_epi32(terms.g_constant);
  const __m256i r_constant = _mm256_set1_epi32(terms.r_constant);
  __m256i shuffle[3][3];
  for (int channel = 0; channel < 3; ++channel) {
    for (int part = 0; part < 3; ++part) {
      shuffle[channel][part] = Broadcast_Shuffle(kBgrShuffle.bytes[channel][part]);
    }
  }

  auto step = [&](int x) {
    __m256i y[4], u[4], v[4];
    Widen(luma + x, y);
    Widen(cb + x, u);
    Widen(cr + x, v);
    __m256i b[4], g[4], r[4];
    for (int k = 0; k < 4; ++k) {
      const __m256i t = _mm256_mullo_epi32(y[k], luma_gain);
      b[k] = _mm256_add_epi32(_mm256_add_epi32(t, b_constant), _mm256_mullo_epi32(u[k], b_from_cb));
      g[k] = _mm256_add_epi32(_mm256_add_epi32(t, g_constant),
                              _mm256_add_epi32(_mm256_mullo_epi32(u[k], g_from_cb),
                                               _mm256_mullo_epi32(v[k], g_from_cr)));
      r[k] = _mm256_add_epi32(_mm256_add_epi32(t, r_constant), _mm256_mullo_epi32(v[k], r_from_cr));
    }
    const __m256i channels[3] = {Narrow(b), Narrow(g), Narrow(r)};
    // Each half: 16 pixels to 48 bytes in three registers' halves.
    __m256i parts[3];
    for (int part = 0; part < 3; ++part) {
      parts[part] =
          _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(channels[0], shuffle[0][part]),
                                          _mm256_shuffle_epi8(channels[1], shuffle[1][part])),
                          _mm256_shuffle_epi8(channels[2], shuffle[2][part]));
    }
    __m256i* out = reinterpret_cast<__m256i*>(dest + 3 * static_cast<std::ptrdiff_t>(x));
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(parts[0], parts[1], 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(parts[2], parts[0], 0x30));
    _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(parts[1], parts[2], 0x31));
  };
  For_Each_Step(width, step);
}

}  // namespace

const ChromaUpsampleKernels chroma_upsample_kernels_avx2 = {
    &Vertical_420_To_422_Progressive,
    &Vertical_420_To_422_Fieldwise,
    &Horizontal_422_To_444_MPEG1,
    &Horizontal_422_To_444_MPEG2,
};
const ColourConvertKernels colour_convert_kernels_avx2 = {&YUV_To_BGR_Row};
