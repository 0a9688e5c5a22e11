// The fixed-point constants of the inverse DCT, shared by the portable and
// the vectorised kernels.
#pragma once

#include <cstdint>

// Row-pass multipliers, one table per pair of rows: W4, W2, W6, W1, W3, W5,
// W7, each round(16384 * k(r) * k(n)) for the pair's row factor r.
inline constexpr int16_t kIdctRowTables[4][7] = {
    {16384, 21407, 8867, 22725, 19266, 12873, 4520},   // rows 0 and 4
    {22725, 29692, 12299, 31521, 26722, 17855, 6270},  // rows 1 and 7
    {21407, 27969, 11585, 29692, 25172, 16819, 5906},  // rows 2 and 6
    {19266, 25172, 10426, 26722, 22654, 15137, 5315},  // rows 3 and 5
};
inline constexpr int kIdctTableOfRow[8] = {0, 1, 2, 3, 0, 3, 2, 1};

// Column-pass multipliers for the high-half multiply. T3 and C4 are the true
// factors less 1.0 (65536), which do not fit a signed 16-bit lane; the column
// pass adds the operand once more to make up for it.
inline constexpr int16_t kIdctT1 = 13036;
inline constexpr int16_t kIdctT2 = 27146;
inline constexpr int16_t kIdctT3 = -21746;
inline constexpr int16_t kIdctC4 = -19195;

// A block whose only non-zero coefficient is the DC: the row pass gives row
// 0 = saturate(4 * DC) (the DC multiplier is 16384 = 4 << 12 and the
// rounding constant shifts out) and zero rows below, and the column pass
// reduces to out[v] = wrap16(row0 + kIdctDcBias[v]) >> 5 in every column,
// the biases collecting the +1/-1 corrections and the rounding constants of
// each output row.
inline constexpr int16_t kIdctDcBias[8] = {17, 16, 14, 15, 15, 16, 16, 15};
