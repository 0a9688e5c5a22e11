#include <smmintrin.h>

#include "platform/yuv420_kernels.h"
#include "platform/yuv420_terms.h"

// Eight pixels a step: pshufb (SSSE3) spreads their B, G and R bytes over
// 16-bit lanes, pmaddwd weighs them (and adds pixel pairs for chroma), and
// the full-range stretch takes SSE4.1's 32-bit min and multiply.

namespace {

using namespace yuv420;

// pmaddwd's pair of 16-bit factors in every 32-bit lane.
__m128i Factor_Pair(int low, int high) {
  return _mm_set1_epi32(Word_Pair(low, high));
}

// The full-range stretch of 15-bit samples in 32-bit lanes.
__m128i Stretch(__m128i x, int limit, int scale, int offset, int shift) {
  x = _mm_mullo_epi32(_mm_min_epi32(x, _mm_set1_epi32(limit)), _mm_set1_epi32(scale));
  return _mm_srai_epi32(_mm_sub_epi32(x, _mm_set1_epi32(offset)), shift);
}

template <bool kFullRange>
void Split_Row_Sse41(const uint8_t* bgr, int width, uint8_t* luma, int16_t* u, int16_t* v) {
  __m128i order[3][2];
  for (int c = 0; c < 3; ++c) {
    for (int part = 0; part < 2; ++part)
      order[c][part] =
          _mm_load_si128(reinterpret_cast<const __m128i*>(kComponentOrders.bytes[c][part]));
  }
  const __m128i rg_to_y = Factor_Pair(kRy, kGy);
  const __m128i b_to_y = Factor_Pair(kBy, kLumaRoundingFactor);
  const __m128i rounding_term = _mm_set1_epi16(kLumaRoundingTerm);
  const __m128i chroma_rounding = _mm_set1_epi32(kChromaRounding);
  const __m128i sample_rounding = _mm_set1_epi16(kSampleRounding);

  auto chroma = [&](__m128i b, __m128i g, __m128i r, int cb, int cg, int cr) {
    __m128i c = _mm_add_epi32(_mm_madd_epi16(b, _mm_set1_epi16(static_cast<int16_t>(cb))),
                              _mm_madd_epi16(g, _mm_set1_epi16(static_cast<int16_t>(cg))));
    c = _mm_add_epi32(c, _mm_madd_epi16(r, _mm_set1_epi16(static_cast<int16_t>(cr))));
    c = _mm_slli_epi32(_mm_srai_epi32(_mm_add_epi32(c, chroma_rounding), kChromaShift), 1);
    if (kFullRange)
      c = Stretch(c, kChromaFullLimit, kChromaFullScale, kChromaFullOffset, kChromaFullShift);
    return c;
  };
  auto luma_half = [&](__m128i rg, __m128i b1) {
    __m128i y = _mm_add_epi32(_mm_madd_epi16(rg, rg_to_y), _mm_madd_epi16(b1, b_to_y));
    y = _mm_slli_epi32(_mm_srai_epi32(y, kLumaShift), 1);
    if (kFullRange) y = Stretch(y, kLumaFullLimit, kLumaFullScale, kLumaFullOffset, kLumaFullShift);
    return y;
  };

  int x = 0;
  // Exactly the 24 bytes of eight pixels are read a step.
  for (; x + 8 <= width; x += 8) {
    const uint8_t* in = bgr + 3 * x;
    const __m128i front = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i back = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 16));
    __m128i lanes[3];
    for (int c = 0; c < 3; ++c)
      lanes[c] =
          _mm_or_si128(_mm_shuffle_epi8(front, order[c][0]), _mm_shuffle_epi8(back, order[c][1]));
    const __m128i b = lanes[0], g = lanes[1], r = lanes[2];

    const __m128i y_low = luma_half(_mm_unpacklo_epi16(r, g), _mm_unpacklo_epi16(b, rounding_term));
    const __m128i y_high =
        luma_half(_mm_unpackhi_epi16(r, g), _mm_unpackhi_epi16(b, rounding_term));
    // The 15-bit samples plus the rounding stay below 65536: a logical shift
    // gives the byte, and values above 255 saturate.
    const __m128i y = _mm_srli_epi16(_mm_add_epi16(_mm_packs_epi32(y_low, y_high), sample_rounding),
                                     kSampleShift);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(luma + x), _mm_packus_epi16(y, y));

    // pmaddwd adds neighbouring lanes: the sums of the pixel pairs.
    const __m128i uv =
        _mm_packs_epi32(chroma(b, g, r, kBu, kGu, kRu), chroma(b, g, r, kBv, kGv, kRv));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(u + x / 2), uv);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(v + x / 2), _mm_srli_si128(uv, 8));
  }
  for (int i = x; i < width; ++i)
    luma[i] = Luma(bgr[3 * i], bgr[3 * i + 1], bgr[3 * i + 2], kFullRange);
  Chroma_Pairs(bgr, x / 2, (width + 1) / 2, kFullRange, u, v);
}

void Split_Row(const uint8_t* bgr, int width, bool full_range, uint8_t* luma, int16_t* u,
               int16_t* v) {
  if (full_range) {
    Split_Row_Sse41<true>(bgr, width, luma, u, v);
  } else {
    Split_Row_Sse41<false>(bgr, width, luma, u, v);
  }
}

void Filter_Rows(const int16_t* const* rows, const int16_t* weights, int taps, uint8_t* out,
                 int count) {
  const TapPairs pairs(rows, weights, taps);
  __m128i factors[kMaxFilterTaps / 2];
  for (int k = 0; k < pairs.count; ++k) factors[k] = _mm_set1_epi32(pairs.factors[k]);
  const __m128i rounding = _mm_set1_epi32(kFilterRounding);
  int x = 0;
  for (; x + 8 <= count; x += 8) {
    __m128i low = rounding;
    __m128i high = rounding;
    // Two rows a step, their samples interleaved for pmaddwd.
    for (int k = 0; k < pairs.count; ++k) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs.rows[2 * k] + x));
      const __m128i b =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs.rows[2 * k + 1] + x));
      low = _mm_add_epi32(low, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), factors[k]));
      high = _mm_add_epi32(high, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), factors[k]));
    }
    const __m128i sums =
        _mm_packs_epi32(_mm_srai_epi32(low, kFilterShift), _mm_srai_epi32(high, kFilterShift));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(sums, sums));
  }
  for (; x < count; ++x) out[x] = Filtered(rows, weights, taps, x);
}

}  // namespace

const Yuv420Kernels yuv420_kernels_sse41 = {Split_Row, Filter_Rows};
