#include <immintrin.h>

#include <algorithm>

#include "platform/yuv420_kernels.h"
#include "platform/yuv420_terms.h"

// The SSE4.1 kernels' steps on two groups at once: each 128-bit lane holds
// eight pixels (sixteen a step), or eight chroma samples of the filter.
// pshufb, unpack and pack work within lanes, so the lanes stay apart until
// a final permute puts the results in order.

namespace {

using namespace yuv420;

__m256i Factor_Pair(int low, int high) {
  return _mm256_set1_epi32(Word_Pair(low, high));
}

__m256i Stretch(__m256i x, int limit, int scale, int offset, int shift) {
  x = _mm256_mullo_epi32(_mm256_min_epi32(x, _mm256_set1_epi32(limit)), _mm256_set1_epi32(scale));
  return _mm256_srai_epi32(_mm256_sub_epi32(x, _mm256_set1_epi32(offset)), shift);
}

// The 16 bytes at `low` and at `high` in the two lanes.
__m256i Load_Lanes(const uint8_t* low, const uint8_t* high) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// The 8 bytes at `low` and at `high` in the two lanes' first halves.
__m256i Load_Half_Lanes(const uint8_t* low, const uint8_t* high) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(low))),
      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(high)), 1);
}

// Quadwords 0 and 2 (each lane's first half) as one 128-bit value.
__m128i First_Halves(__m256i x) {
  return _mm256_castsi256_si128(_mm256_permute4x64_epi64(x, 0x08));
}

template <bool kFullRange>
void Split_Row_Avx2(const uint8_t* bgr, int width, uint8_t* luma, int16_t* u, int16_t* v) {
  __m256i order[3][2];
  for (int c = 0; c < 3; ++c) {
    for (int part = 0; part < 2; ++part)
      order[c][part] = _mm256_broadcastsi128_si256(
          _mm_load_si128(reinterpret_cast<const __m128i*>(kComponentOrders.bytes[c][part])));
  }
  const __m256i rg_to_y = Factor_Pair(kRy, kGy);
  const __m256i b_to_y = Factor_Pair(kBy, kLumaRoundingFactor);
  const __m256i rounding_term = _mm256_set1_epi16(kLumaRoundingTerm);
  const __m256i chroma_rounding = _mm256_set1_epi32(kChromaRounding);
  const __m256i sample_rounding = _mm256_set1_epi16(kSampleRounding);

  auto chroma = [&](__m256i b, __m256i g, __m256i r, int cb, int cg, int cr) {
    __m256i c = _mm256_add_epi32(_mm256_madd_epi16(b, _mm256_set1_epi16(static_cast<int16_t>(cb))),
                                 _mm256_madd_epi16(g, _mm256_set1_epi16(static_cast<int16_t>(cg))));
    c = _mm256_add_epi32(c, _mm256_madd_epi16(r, _mm256_set1_epi16(static_cast<int16_t>(cr))));
    c = _mm256_slli_epi32(_mm256_srai_epi32(_mm256_add_epi32(c, chroma_rounding), kChromaShift), 1);
    if (kFullRange)
      c = Stretch(c, kChromaFullLimit, kChromaFullScale, kChromaFullOffset, kChromaFullShift);
    return c;
  };
  auto luma_half = [&](__m256i rg, __m256i b1) {
    __m256i y = _mm256_add_epi32(_mm256_madd_epi16(rg, rg_to_y), _mm256_madd_epi16(b1, b_to_y));
    y = _mm256_slli_epi32(_mm256_srai_epi32(y, kLumaShift), 1);
    if (kFullRange) y = Stretch(y, kLumaFullLimit, kLumaFullScale, kLumaFullOffset, kLumaFullShift);
    return y;
  };

  int x = 0;
  // Exactly the 48 bytes of sixteen pixels are read a step: pixels 0..7 in
  // the low lanes, 8..15 in the high ones.
  for (; x + 16 <= width; x += 16) {
    const uint8_t* in = bgr + 3 * x;
    const __m256i front = Load_Lanes(in, in + 24);
    const __m256i back = Load_Half_Lanes(in + 16, in + 40);
    __m256i lanes[3];
    for (int c = 0; c < 3; ++c)
      lanes[c] = _mm256_or_si256(_mm256_shuffle_epi8(front, order[c][0]),
                                 _mm256_shuffle_epi8(back, order[c][1]));
    const __m256i b = lanes[0], g = lanes[1], r = lanes[2];

    const __m256i y_low =
        luma_half(_mm256_unpacklo_epi16(r, g), _mm256_unpacklo_epi16(b, rounding_term));
    const __m256i y_high =
        luma_half(_mm256_unpackhi_epi16(r, g), _mm256_unpackhi_epi16(b, rounding_term));
    const __m256i y = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_packs_epi32(y_low, y_high), sample_rounding), kSampleShift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + x), First_Halves(_mm256_packus_epi16(y, y)));

    // Per lane four U then four V samples; in order: U 0..7, V 0..7.
    const __m256i uv = _mm256_permute4x64_epi64(
        _mm256_packs_epi32(chroma(b, g, r, kBu, kGu, kRu), chroma(b, g, r, kBv, kGv, kRv)), 0xD8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u + x / 2), _mm256_castsi256_si128(uv));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(v + x / 2), _mm256_extracti128_si256(uv, 1));
  }
  for (int i = x; i < width; ++i)
    luma[i] = Luma(bgr[3 * i], bgr[3 * i + 1], bgr[3 * i + 2], kFullRange);
  Chroma_Pairs(bgr, x / 2, (width + 1) / 2, kFullRange, u, v);
}

void Split_Row(const uint8_t* bgr, int width, bool full_range, uint8_t* luma, int16_t* u,
               int16_t* v) {
  if (full_range) {
    Split_Row_Avx2<true>(bgr, width, luma, u, v);
  } else {
    Split_Row_Avx2<false>(bgr, width, luma, u, v);
  }
}

void Filter_Rows(const int16_t* const* rows, const int16_t* weights, int taps, uint8_t* out,
                 int count) {
  const TapPairs pairs(rows, weights, taps);
  __m256i factors[kMaxFilterTaps / 2];
  for (int k = 0; k < pairs.count; ++k) factors[k] = _mm256_set1_epi32(pairs.factors[k]);
  const __m256i rounding = _mm256_set1_epi32(kFilterRounding);
  int x = 0;
  // Sixteen samples a step; a last step that would run past `count` is
  // moved back over samples already done, which it writes again alike.
  for (; x < count && count >= 16; x += 16) {
    x = std::min(x, count - 16);
    __m256i low = rounding;
    __m256i high = rounding;
    for (int k = 0; k < pairs.count; ++k) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs.rows[2 * k] + x));
      const __m256i b =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs.rows[2 * k + 1] + x));
      low = _mm256_add_epi32(low, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), factors[k]));
      high = _mm256_add_epi32(high, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), factors[k]));
    }
    const __m256i sums = _mm256_packs_epi32(_mm256_srai_epi32(low, kFilterShift),
                                            _mm256_srai_epi32(high, kFilterShift));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                     First_Halves(_mm256_packus_epi16(sums, sums)));
  }
  for (; x < count; ++x) out[x] = Filtered(rows, weights, taps, x);
}

}  // namespace

const Yuv420Kernels yuv420_kernels_avx2 = {Split_Row, Filter_Rows};
