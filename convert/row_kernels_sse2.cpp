#include "convert/row_kernels.h"

#include <emmintrin.h>

#include <cstddef>

// Chroma upsampling, row blend and 1-2-1 filter in SSE2 registers, 16 bytes
// per step. The weighted sums are taken in 16-bit lanes, where none of them
// can overflow; averages without widening use pavgb, which rounds up, and its
// truncating twin avg - ((a ^ b) & 1). A row or plane narrower than one step
// goes to the portable kernel; otherwise the last step is moved back to end
// at the row end, recomputing a few samples with the same result.

namespace {

constexpr int kStep = 16;

inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void Store(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Calls step(x) for x = 0, 16, ... and once more for the last 16 bytes of a
// length of at least 16.
template <typename Step>
inline void For_Each_Step(int length, Step step) {
  int x = 0;
  for (; x + kStep <= length; x += kStep) step(x);
  if (x < length) step(length - kStep);
}

// (a * wa + b * wb + rounding) >> shift for 16 unsigned bytes, with 16-bit
// lanes throughout: the callers' weights keep every sum below 2^16.
inline __m128i Weighted_Sum(__m128i a, __m128i wa, __m128i b, __m128i wb, __m128i rounding,
                            int shift) {
  const __m128i zero = _mm_setzero_si128();
  auto half = [&](__m128i x, __m128i y) {
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(x, wa), _mm_mullo_epi16(y, wb)), rounding);
    return _mm_srli_epi16(sum, shift);
  };
  return _mm_packus_epi16(half(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
                          half(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)));
}

// (a + b) >> 1, rounding down.
inline __m128i Average_Down(__m128i a, __m128i b) {
  return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

void Vertical_420_To_422_Progressive(const uint8_t* in, uint8_t* out, int width, int height) {
  if (width < kStep) {
    portable_chroma_upsample_kernels.vertical_420_to_422_progressive(in, out, width, height);
    return;
  }
  const __m128i one = _mm_set1_epi16(1), three = _mm_set1_epi16(3), two = _mm_set1_epi16(2);
  for (int r = 0; r < height; ++r) {
    const ProgressiveRows rows = Progressive_Rows(in, out, width, height, r);
    For_Each_Step(width, [&](int x) {
      const __m128i c = Load(rows.centre + x);
      Store(rows.out[0] + x, Weighted_Sum(Load(rows.above + x), one, c, three, two, 2));
      Store(rows.out[1] + x, Weighted_Sum(c, three, Load(rows.below + x), one, two, 2));
    });
  }
}

void Vertical_420_To_422_Fieldwise(const uint8_t* in, uint8_t* out, int width, int height) {
  if (width < kStep) {
    portable_chroma_upsample_kernels.vertical_420_to_422_fieldwise(in, out, width, height);
    return;
  }
  const __m128i w1 = _mm_set1_epi16(1), w3 = _mm_set1_epi16(3), w5 = _mm_set1_epi16(5),
                w7 = _mm_set1_epi16(7), four = _mm_set1_epi16(4);
  for (int p = 0; p < height / 2; ++p) {
    const FieldwiseRows rows = Fieldwise_Rows(in, out, width, height, p);
    For_Each_Step(width, [&](int x) {
      const __m128i t = Load(rows.top + x), b = Load(rows.bottom + x);
      Store(rows.out[0] + x, Weighted_Sum(Load(rows.top_above + x), w1, t, w7, four, 3));
      Store(rows.out[1] + x, Weighted_Sum(Load(rows.bottom_above + x), w3, b, w5, four, 3));
      Store(rows.out[2] + x, Weighted_Sum(t, w5, Load(rows.top_below + x), w3, four, 3));
      Store(rows.out[3] + x, Weighted_Sum(b, w7, Load(rows.bottom_below + x), w1, four, 3));
    });
  }
}

// Doubling a row: `block(c, left, right, out)` turns the 16 samples c and
// their neighbours one to the left and one to the right into 32 output
// samples. At the row ends the missing neighbour is the end sample itself,
// shifted in. Rows shorter than one step go to `portable`.
template <typename Block>
inline void Double_Row(const uint8_t* in, uint8_t* out, int count,
                       void (*portable)(const uint8_t*, uint8_t*, int), Block block) {
  if (count < kStep) {
    portable(in, out, count);
    return;
  }
  const __m128i first_byte = _mm_setr_epi8(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m128i last_byte = _mm_slli_si128(first_byte, 15);
  For_Each_Step(count, [&](int i) {
    const __m128i c = Load(in + i);
    const __m128i left =
        i > 0 ? Load(in + i - 1) : _mm_or_si128(_mm_slli_si128(c, 1), _mm_and_si128(c, first_byte));
    const __m128i right = i + kStep < count
                              ? Load(in + i + 1)
                              : _mm_or_si128(_mm_srli_si128(c, 1), _mm_and_si128(c, last_byte));
    block(c, left, right, out + 2 * i);
  });
}

void Horizontal_422_To_444_MPEG2(const uint8_t* in, uint8_t* out, int count) {
  Double_Row(in, out, count, portable_chroma_upsample_kernels.horizontal_422_to_444_mpeg2,
             [](__m128i c, __m128i, __m128i right, uint8_t* o) {
               const __m128i between = _mm_avg_epu8(c, right);
               Store(o, _mm_unpacklo_epi8(c, between));
               Store(o + kStep, _mm_unpackhi_epi8(c, between));
             });
}

// (64 l + 224 c - 32 r) >> 8 = (2 l + 7 c - r) >> 3, which lies in
// -255..2295: exact in signed 16-bit lanes, clamped by the final pack.
void Horizontal_422_To_444_MPEG1(const uint8_t* in, uint8_t* out, int count) {
  Double_Row(in, out, count, portable_chroma_upsample_kernels.horizontal_422_to_444_mpeg1,
             [](__m128i c8, __m128i l8, __m128i r8, uint8_t* o) {
               const __m128i zero = _mm_setzero_si128();
               const __m128i seven = _mm_set1_epi16(7);
               auto filter = [&](__m128i near, __m128i c, __m128i far) {
                 const __m128i c7 = _mm_mullo_epi16(c, seven);
                 return _mm_srai_epi16(
                     _mm_sub_epi16(_mm_add_epi16(_mm_add_epi16(near, near), c7), far), 3);
               };
               for (int half = 0; half < 2; ++half) {
                 auto widen = [&](__m128i v) {
                   return half ? _mm_unpackhi_epi8(v, zero) : _mm_unpacklo_epi8(v, zero);
                 };
                 const __m128i l = widen(l8), c = widen(c8), r = widen(r8);
                 const __m128i even = filter(l, c, r);
                 const __m128i odd = filter(r, c, l);
                 // Interleave to even, odd, even, ... and clamp to bytes.
                 Store(o + half * kStep, _mm_packus_epi16(_mm_unpacklo_epi16(even, odd),
                                                          _mm_unpackhi_epi16(even, odd)));
               }
             });
}

void Blend_Rows_Sse2(uint8_t* dest, const uint8_t* a, const uint8_t* b, int weight, int length) {
  if (length < kStep) {
    portable_row_blend_kernels.blend_rows(dest, a, b, weight, length);
    return;
  }
  const __m128i wa = _mm_set1_epi16(static_cast<int16_t>(256 - weight));
  const __m128i wb = _mm_set1_epi16(static_cast<int16_t>(weight));
  const __m128i rounding = _mm_set1_epi16(128);
  For_Each_Step(length, [&](int x) {
    Store(dest + x, Weighted_Sum(Load(a + x), wa, Load(b + x), wb, rounding, 8));
  });
}

// (a + 2b + c) >> 2 = ((a + c) >> 1 + b) >> 1: the bit the first halving
// drops can never carry into the second.
void Filter_Rows_121_Sse2(uint8_t* dest, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                          int length) {
  if (length < kStep) {
    portable_row_blend_kernels.filter_rows_121(dest, a, b, c, length);
    return;
  }
  For_Each_Step(length, [&](int x) {
    Store(dest + x, Average_Down(Average_Down(Load(a + x), Load(c + x)), Load(b + x)));
  });
}

}  // namespace

const ChromaUpsampleKernels chroma_upsample_kernels_sse2 = {
    &Vertical_420_To_422_Progressive,
    &Vertical_420_To_422_Fieldwise,
    &Horizontal_422_To_444_MPEG1,
    &Horizontal_422_To_444_MPEG2,
};
const RowBlendKernels row_blend_kernels_sse2 = {&Blend_Rows_Sse2, &Filter_Rows_121_Sse2};
