#include "decoder/idct.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "decoder/idct_constants.h"

// The portable kernels reproduce the integer results of the four-lane 16-bit
// SIMD transform this decoder was built around:
// - the row pass sums 32-bit products modulo 2^32 (as multiply-add of
//   coefficient pairs does), shifts by 12 and saturates to 16 bits;
// - the column pass wraps every addition modulo 2^16 and multiplies by the
//   tangent constants with a high-half multiply;
// - the output stage saturates to 0..255.
// Wrapping is done with unsigned arithmetic or narrowing conversions, both
// fully defined, so extreme coefficients give the same samples as the SIMD
// form and never undefined behaviour.

namespace {

// Product of a coefficient and a row multiplier; |product| < 2^31.
inline uint32_t Product(int16_t x, int w) {
  return static_cast<uint32_t>(x * w);
}

inline int16_t Saturate16(int32_t v) {
  return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767));
}

// Arithmetic shift of a 32-bit sum taken modulo 2^32.
inline int16_t Descale(uint32_t sum) {
  return Saturate16(static_cast<int32_t>(sum) >> 12);
}

void Row_Pass(const int16_t* coefficients, int16_t (&rows)[64]) {
  for (int v = 0; v < 8; ++v) {
    const int16_t* x = coefficients + 8 * v;
    int16_t* y = rows + 8 * v;
    const int16_t* w = kIdctRowTables[kIdctTableOfRow[v]];
    // A zero row transforms to zero (the rounding constant alone shifts out);
    // most rows of a coded block are zero.
    uint64_t bits[2];
    std::memcpy(bits, x, sizeof bits);
    if ((bits[0] | bits[1]) == 0) {
      std::fill(y, y + 8, int16_t{0});
      continue;
    }
    const int w4 = w[0], w2 = w[1], w6 = w[2], w1 = w[3], w3 = w[4], w5 = w[5], w7 = w[6];

    const uint32_t even_plus = Product(x[0], w4) + Product(x[4], w4) + 2048u;
    const uint32_t even_minus = Product(x[0], w4) - Product(x[4], w4) + 2048u;
    const uint32_t a0 = even_plus + Product(x[2], w2) + Product(x[6], w6);
    const uint32_t a1 = even_minus + Product(x[2], w6) - Product(x[6], w2);
    const uint32_t a2 = even_minus - Product(x[2], w6) + Product(x[6], w2);
    const uint32_t a3 = even_plus - Product(x[2], w2) - Product(x[6], w6);

    const uint32_t b0 =
        Product(x[1], w1) + Product(x[3], w3) + Product(x[5], w5) + Product(x[7], w7);
    const uint32_t b1 =
        Product(x[1], w3) - Product(x[3], w7) - Product(x[5], w1) - Product(x[7], w5);
    const uint32_t b2 =
        Product(x[1], w5) - Product(x[3], w1) + Product(x[5], w7) + Product(x[7], w3);
    const uint32_t b3 =
        Product(x[1], w7) - Product(x[3], w5) + Product(x[5], w3) - Product(x[7], w1);

    y[0] = Descale(a0 + b0);
    y[7] = Descale(a0 - b0);
    y[1] = Descale(a1 + b1);
    y[6] = Descale(a1 - b1);
    y[2] = Descale(a2 + b2);
    y[5] = Descale(a2 - b2);
    y[3] = Descale(a3 + b3);
    y[4] = Descale(a3 - b3);
  }
}

// 16-bit lane arithmetic: results wrap modulo 2^16.
inline int16_t Wrap(int v) {
  return static_cast<int16_t>(v);
}
inline int16_t Mulhi(int16_t a, int b) {
  return static_cast<int16_t>((a * b) >> 16);
}

// Column pass on all eight columns; every output lies in -1024..1023.
void Column_Pass(const int16_t (&rows)[64], int16_t (&out)[64]) {
  for (int c = 0; c < 8; ++c) {
    const int16_t x0 = rows[c], x1 = rows[8 + c], x2 = rows[16 + c], x3 = rows[24 + c];
    const int16_t x4 = rows[32 + c], x5 = rows[40 + c], x6 = rows[48 + c], x7 = rows[56 + c];

    const int16_t tp7 = Wrap(x1 + Mulhi(x7, kIdctT1) + 1);
    const int16_t tm1 = Wrap(Mulhi(x1, kIdctT1) - x7);
    const int16_t tp3 = Wrap(x3 + x5 + Mulhi(x5, kIdctT3));
    const int16_t tm3 = Wrap(x3 + Mulhi(x3, kIdctT3) - x5);
    const int16_t b0 = Wrap(tp7 + tp3);
    const int16_t b3 = Wrap(tm1 - tm3);
    const int16_t d = Wrap(tp7 - tp3);
    const int16_t e = Wrap(tm1 + tm3);
    const int16_t s = Wrap(d + e);
    const int16_t b1 = Wrap(s + (Mulhi(s, kIdctC4) | 1));
    const int16_t t = Wrap(d - e);
    const int16_t b2 = Wrap(t + Mulhi(t, kIdctC4) - 1);

    const int16_t tp04 = Wrap(x0 + x4);
    const int16_t tm04 = Wrap(x0 - x4);
    const int16_t tp26 = Wrap(x2 + Mulhi(x6, kIdctT2) + 1);
    const int16_t tm26 = Wrap(Mulhi(x2, kIdctT2) + 1 - x6);
    const int16_t a0 = Wrap(tp04 + tp26);
    const int16_t a3 = Wrap(tp04 - tp26);
    const int16_t a1 = Wrap(tm04 + tm26);
    const int16_t a2 = Wrap(tm04 - tm26);

    out[c] = static_cast<int16_t>(Wrap(a0 + b0 + 15) >> 5);
    out[56 + c] = static_cast<int16_t>(Wrap(a0 - b0 + 15) >> 5);
    out[8 + c] = static_cast<int16_t>(Wrap(a1 + b1 + 15) >> 5);
    out[48 + c] = static_cast<int16_t>(Wrap(a1 - b1 + 15) >> 5);
    out[16 + c] = static_cast<int16_t>(Wrap(a2 + b2 + 16) >> 5);
    out[40 + c] = static_cast<int16_t>(Wrap(a2 - b2 + 16) >> 5);
    out[24 + c] = static_cast<int16_t>(Wrap(a3 + b3 + 16) >> 5);
    out[32 + c] = static_cast<int16_t>(Wrap(a3 - b3 + 16) >> 5);
  }
}

inline uint8_t Clamp_Sample(int v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// Output of a block whose only non-zero coefficient is the DC, in closed
// form (see kIdctDcBias).
inline int16_t Dc_Row_Output(int16_t row0, int v) {
  return static_cast<int16_t>(Wrap(row0 + kIdctDcBias[v]) >> 5);
}

inline int16_t Dc_Row0(const int16_t* coefficients) {
  return Saturate16(4 * coefficients[0]);
}

// The full transform, stored (intra) or added to the prediction. The column
// pass and the output stage run on whole rows of eight 16-bit values, which
// the compiler turns into vector operations; only the row pass, per row, has
// a branch (the zero-row shortcut).
template <bool kAdd>
void Idct_Kernel(const int16_t* coefficients, uint8_t* destination, int stride) {
  int16_t rows[64];
  int16_t out[64];
  Row_Pass(coefficients, rows);
  Column_Pass(rows, out);
  for (int v = 0; v < 8; ++v) {
    uint8_t* row = destination + static_cast<std::ptrdiff_t>(v) * stride;
    for (int u = 0; u < 8; ++u) row[u] = Clamp_Sample((kAdd ? row[u] : 128) + out[8 * v + u]);
  }
}

}  // namespace

void Idct_8x8_Put_C(const int16_t* coefficients, uint8_t* destination, int stride) {
  Idct_Kernel<false>(coefficients, destination, stride);
}

void Idct_8x8_Add_C(const int16_t* coefficients, uint8_t* destination, int stride) {
  Idct_Kernel<true>(coefficients, destination, stride);
}

void Idct_8x8_Put_Dc_C(const int16_t* coefficients, uint8_t* destination, int stride) {
  const int16_t row0 = Dc_Row0(coefficients);
  for (int v = 0; v < 8; ++v) {
    uint8_t* row = destination + static_cast<std::ptrdiff_t>(v) * stride;
    std::memset(row, Clamp_Sample(Dc_Row_Output(row0, v) + 128), 8);
  }
}

void Idct_8x8_Add_Dc_C(const int16_t* coefficients, uint8_t* destination, int stride) {
  const int16_t row0 = Dc_Row0(coefficients);
  for (int v = 0; v < 8; ++v) {
    uint8_t* row = destination + static_cast<std::ptrdiff_t>(v) * stride;
    const int out = Dc_Row_Output(row0, v);
    for (int u = 0; u < 8; ++u) row[u] = Clamp_Sample(row[u] + out);
  }
}

void Idct_8x8_Put_Pair_C(const int16_t* coefficients, uint8_t* first, uint8_t* second, int stride) {
  Idct_8x8_Put_C(coefficients, first, stride);
  Idct_8x8_Put_C(coefficients + 64, second, stride);
}

void Idct_8x8_Add_Pair_C(const int16_t* coefficients, uint8_t* first, uint8_t* second, int stride) {
  Idct_8x8_Add_C(coefficients, first, stride);
  Idct_8x8_Add_C(coefficients + 64, second, stride);
}

namespace {

constexpr IdctKernels kPortableIdctKernels = {Idct_8x8_Put_C,      Idct_8x8_Add_C,
                                              Idct_8x8_Put_Dc_C,   Idct_8x8_Add_Dc_C,
                                              Idct_8x8_Put_Pair_C, Idct_8x8_Add_Pair_C};

}  // namespace

const IdctKernels portable_idct_kernels = kPortableIdctKernels;
// Constant-initialised, so it is ready before any static constructor runs.
constinit IdctKernels idct_kernels = kPortableIdctKernels;

void Idct_8x8_Put_Add(const int16_t* coefficients, uint8_t* destination, int stride, int intra) {
  if (intra) {
    idct_kernels.put(coefficients, destination, stride);
  } else {
    idct_kernels.add(coefficients, destination, stride);
  }
}
