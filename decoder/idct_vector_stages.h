// The parts of the vectorised inverse DCT that its SSE2 and AVX2 units
// share: the row-pass tables, the column pass on all eight columns at once in
// 16-bit lanes, the output stage and the DC-only kernels.
//
// Everything here has internal linkage on purpose: each unit compiles its own
// copy with its own instruction set, so no copy built for AVX2 can stand in
// for the SSE2 unit's. Include this only from those units.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "decoder/idct_constants.h"

namespace idct_vector {

// Row-pass multipliers in the order the shuffled row is multiplied: the row
// x0..x7 is rearranged to the pairs (x0,x2) (x1,x3) (x4,x6) (x5,x7), each
// pair broadcast to all four 32-bit lanes, and lane k of the four products
// sums to a_k (even pairs) and b_k (odd pairs).
struct alignas(16) RowTable {
  int16_t even_low[8];   // (x0, x2) -> a0..a3
  int16_t even_high[8];  // (x4, x6)
  int16_t odd_low[8];    // (x1, x3) -> b0..b3
  int16_t odd_high[8];   // (x5, x7)
};

// From W4, W2, W6, W1, W3, W5, W7.
constexpr RowTable Make_Row_Table(const int16_t (&w)[7]) {
  using S = int16_t;
  const S w4 = w[0], w2 = w[1], w6 = w[2], w1 = w[3], w3 = w[4], w5 = w[5], w7 = w[6];
  return RowTable{
      {w4, w2, w4, w6, w4, S(-w6), w4, S(-w2)},
      {w4, w6, S(-w4), S(-w2), S(-w4), w2, w4, S(-w6)},
      {w1, w3, w3, S(-w7), w5, S(-w1), w7, S(-w5)},
      {w5, w7, S(-w1), S(-w5), w7, w3, w3, S(-w1)},
  };
}

// Row v is multiplied by kRowTableByPair[kIdctTableOfRow[v]].
constexpr RowTable kRowTableByPair[4] = {
    Make_Row_Table(kIdctRowTables[0]),
    Make_Row_Table(kIdctRowTables[1]),
    Make_Row_Table(kIdctRowTables[2]),
    Make_Row_Table(kIdctRowTables[3]),
};

// 16-bit lane operations of one register width, for the column pass.
struct Lanes128 {
  using Vector = __m128i;
  static Vector Set1(int16_t v) { return _mm_set1_epi16(v); }
  static Vector Add(Vector a, Vector b) { return _mm_add_epi16(a, b); }
  static Vector Sub(Vector a, Vector b) { return _mm_sub_epi16(a, b); }
  static Vector Mulhi(Vector a, Vector b) { return _mm_mulhi_epi16(a, b); }
  static Vector Or(Vector a, Vector b) { return _mm_or_si128(a, b); }
  static Vector Shift5(Vector a) { return _mm_srai_epi16(a, 5); }
};

// The column pass on all eight columns (of one block, or with wider lanes of
// two blocks side by side), rows in x[0..7].
template <typename Lanes, typename Vector = typename Lanes::Vector>
static inline void Column_Pass(Vector (&x)[8]) {
  using L = Lanes;
  const Vector t1 = L::Set1(kIdctT1);
  const Vector t2 = L::Set1(kIdctT2);
  const Vector t3 = L::Set1(kIdctT3);
  const Vector c4 = L::Set1(kIdctC4);
  const Vector one = L::Set1(1);

  const Vector tp7 = L::Add(L::Add(x[1], L::Mulhi(x[7], t1)), one);
  const Vector tm1 = L::Sub(L::Mulhi(x[1], t1), x[7]);
  const Vector tp3 = L::Add(L::Add(x[3], x[5]), L::Mulhi(x[5], t3));
  const Vector tm3 = L::Sub(L::Add(x[3], L::Mulhi(x[3], t3)), x[5]);
  const Vector b0 = L::Add(tp7, tp3);
  const Vector b3 = L::Sub(tm1, tm3);
  const Vector d = L::Sub(tp7, tp3);
  const Vector e = L::Add(tm1, tm3);
  const Vector s = L::Add(d, e);
  const Vector b1 = L::Add(s, L::Or(L::Mulhi(s, c4), one));
  const Vector t = L::Sub(d, e);
  const Vector b2 = L::Sub(L::Add(t, L::Mulhi(t, c4)), one);

  const Vector tp04 = L::Add(x[0], x[4]);
  const Vector tm04 = L::Sub(x[0], x[4]);
  const Vector tp26 = L::Add(L::Add(x[2], L::Mulhi(x[6], t2)), one);
  const Vector tm26 = L::Sub(L::Add(L::Mulhi(x[2], t2), one), x[6]);
  const Vector a0 = L::Add(tp04, tp26);
  const Vector a3 = L::Sub(tp04, tp26);
  const Vector a1 = L::Add(tm04, tm26);
  const Vector a2 = L::Sub(tm04, tm26);

  const Vector r15 = L::Set1(15);
  const Vector r16 = L::Set1(16);
  auto descale = [](Vector v, Vector rounding) { return L::Shift5(L::Add(v, rounding)); };
  x[0] = descale(L::Add(a0, b0), r15);
  x[7] = descale(L::Sub(a0, b0), r15);
  x[1] = descale(L::Add(a1, b1), r15);
  x[6] = descale(L::Sub(a1, b1), r15);
  x[2] = descale(L::Add(a2, b2), r16);
  x[5] = descale(L::Sub(a2, b2), r16);
  x[3] = descale(L::Add(a3, b3), r16);
  x[4] = descale(L::Sub(a3, b3), r16);
}

static inline void Store_Two_Rows(uint8_t* row, std::ptrdiff_t stride, __m128i bytes) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(row), bytes);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(row + stride), _mm_unpackhi_epi64(bytes, bytes));
}

static inline __m128i Load_Two_Rows(const uint8_t* row, std::ptrdiff_t stride) {
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + stride)));
}

static inline void Store_Rows(const __m128i (&out)[8], uint8_t* destination, int stride) {
  const __m128i level = _mm_set1_epi16(128);
  for (int v = 0; v < 8; v += 2) {
    const __m128i bytes =
        _mm_packus_epi16(_mm_add_epi16(out[v], level), _mm_add_epi16(out[v + 1], level));
    Store_Two_Rows(destination + static_cast<std::ptrdiff_t>(v) * stride, stride, bytes);
  }
}

static inline void Add_Rows(const __m128i (&out)[8], uint8_t* destination, int stride) {
  const __m128i zero = _mm_setzero_si128();
  for (int v = 0; v < 8; v += 2) {
    uint8_t* row = destination + static_cast<std::ptrdiff_t>(v) * stride;
    const __m128i prediction = Load_Two_Rows(row, stride);
    const __m128i upper = _mm_add_epi16(_mm_unpacklo_epi8(prediction, zero), out[v]);
    const __m128i lower = _mm_add_epi16(_mm_unpackhi_epi8(prediction, zero), out[v + 1]);
    Store_Two_Rows(row, stride, _mm_packus_epi16(upper, lower));
  }
}

// The whole transform around a unit's row pass, which leaves the eight rows
// of the intermediate array in eight registers.
using RowPass = void (*)(const int16_t* coefficients, __m128i (&rows)[8]);

template <RowPass kRowPass, bool kAdd>
static void Transform(const int16_t* coefficients, uint8_t* destination, int stride) {
  __m128i x[8];
  kRowPass(coefficients, x);
  Column_Pass<Lanes128>(x);
  if constexpr (kAdd) {
    Add_Rows(x, destination, stride);
  } else {
    Store_Rows(x, destination, stride);
  }
}

// Two blocks, one after the other through the transform.
template <RowPass kRowPass, bool kAdd>
static void Transform_Pair(const int16_t* coefficients, uint8_t* first, uint8_t* second,
                           int stride) {
  Transform<kRowPass, kAdd>(coefficients, first, stride);
  Transform<kRowPass, kAdd>(coefficients + 64, second, stride);
}

// A block whose only non-zero coefficient may be the DC: row 0 of the row
// pass is saturate(4 * DC) in every column and the other rows are zero, so
// the column pass leaves out[v] = wrap16(row0 + bias[v]) >> 5 in every
// column of row v (the biases collect the column pass's +1/-1 corrections
// and rounding constants).
static inline __m128i Dc_Row_Outputs(const int16_t* coefficients) {
  const __m128i dc = _mm_cvtsi32_si128(coefficients[0]);
  // 4 * DC saturated: two saturating doublings.
  const __m128i row0 = _mm_adds_epi16(_mm_adds_epi16(dc, dc), _mm_adds_epi16(dc, dc));
  const __m128i all = _mm_shuffle_epi32(_mm_shufflelo_epi16(row0, 0), 0);
  const __m128i bias = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kIdctDcBias));
  return _mm_srai_epi16(_mm_add_epi16(all, bias), 5);
}

// Bytes b0..b7 spread to four registers of two rows each: row v = 8 x b_v.
static inline void Spread_Row_Bytes(__m128i bytes, __m128i (&pairs)[4]) {
  const __m128i doubled = _mm_unpacklo_epi8(bytes, bytes);
  const __m128i rows0123 = _mm_unpacklo_epi16(doubled, doubled);
  const __m128i rows4567 = _mm_unpackhi_epi16(doubled, doubled);
  pairs[0] = _mm_unpacklo_epi32(rows0123, rows0123);
  pairs[1] = _mm_unpackhi_epi32(rows0123, rows0123);
  pairs[2] = _mm_unpacklo_epi32(rows4567, rows4567);
  pairs[3] = _mm_unpackhi_epi32(rows4567, rows4567);
}

static void Put_Dc(const int16_t* coefficients, uint8_t* destination, int stride) {
  const __m128i out = _mm_add_epi16(Dc_Row_Outputs(coefficients), _mm_set1_epi16(128));
  __m128i pairs[4];
  Spread_Row_Bytes(_mm_packus_epi16(out, out), pairs);
  for (int v = 0; v < 8; v += 2) {
    Store_Two_Rows(destination + static_cast<std::ptrdiff_t>(v) * stride, stride, pairs[v / 2]);
  }
}

static void Add_Dc(const int16_t* coefficients, uint8_t* destination, int stride) {
  // clamp(d + o) = (d +sat max(o, 0)) -sat max(-o, 0), with both parts
  // saturated to bytes: a part of 255 or more already reaches the clamp.
  const __m128i out = Dc_Row_Outputs(coefficients);
  const __m128i negated = _mm_sub_epi16(_mm_setzero_si128(), out);
  __m128i raise[4], lower[4];
  Spread_Row_Bytes(_mm_packus_epi16(out, out), raise);
  Spread_Row_Bytes(_mm_packus_epi16(negated, negated), lower);
  for (int v = 0; v < 8; v += 2) {
    uint8_t* row = destination + static_cast<std::ptrdiff_t>(v) * stride;
    const __m128i prediction = Load_Two_Rows(row, stride);
    Store_Two_Rows(row, stride,
                   _mm_subs_epu8(_mm_adds_epu8(prediction, raise[v / 2]), lower[v / 2]));
  }
}

}  // namespace idct_vector
