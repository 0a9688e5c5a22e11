#include "decoder/idct.h"

#include <immintrin.h>

#include "decoder/idct_vector_stages.h"

// The row pass in AVX2 registers, two rows in one register (each 128-bit
// half a row, with its own multipliers), then the shared column pass and
// output stage of the SSE2 form, built here with AVX2's encodings.

namespace {

using namespace idct_vector;

// The multipliers of rows 2j (low half) and 2j + 1 (high half).
struct alignas(32) RowPairTable {
  int16_t even_low[16];
  int16_t even_high[16];
  int16_t odd_low[16];
  int16_t odd_high[16];
};

constexpr RowPairTable Make_Row_Pair_Table(const RowTable& upper, const RowTable& lower) {
  RowPairTable table{};
  for (int i = 0; i < 8; ++i) {
    table.even_low[i] = upper.even_low[i];
    table.even_low[8 + i] = lower.even_low[i];
    table.even_high[i] = upper.even_high[i];
    table.even_high[8 + i] = lower.even_high[i];
    table.odd_low[i] = upper.odd_low[i];
    table.odd_low[8 + i] = lower.odd_low[i];
    table.odd_high[i] = upper.odd_high[i];
    table.odd_high[8 + i] = lower.odd_high[i];
  }
  return table;
}

constexpr RowPairTable Make_Row_Pair_Table(int j) {
  return Make_Row_Pair_Table(kRowTableByPair[kIdctTableOfRow[2 * j]],
                             kRowTableByPair[kIdctTableOfRow[2 * j + 1]]);
}

constexpr RowPairTable kRowPairTables[4] = {Make_Row_Pair_Table(0), Make_Row_Pair_Table(1),
                                            Make_Row_Pair_Table(2), Make_Row_Pair_Table(3)};

// Two rows through the row pass, as the SSE2 row pass per 128-bit half, each
// half with its own multipliers.
inline __m256i Row_Pass_Two_Rows(__m256i x, const RowPairTable& table) {
  auto load = [](const int16_t* t) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(t));
  };
  const __m256i pairs = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(x, 0xD8), 0xD8);
  const __m256i e1 = _mm256_shuffle_epi32(pairs, 0x00);
  const __m256i o1 = _mm256_shuffle_epi32(pairs, 0x55);
  const __m256i e2 = _mm256_shuffle_epi32(pairs, 0xAA);
  const __m256i o2 = _mm256_shuffle_epi32(pairs, 0xFF);
  const __m256i a = _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(e1, load(table.even_low)),
                                                      _mm256_madd_epi16(e2, load(table.even_high))),
                                     _mm256_set1_epi32(2048));
  const __m256i b = _mm256_add_epi32(_mm256_madd_epi16(o1, load(table.odd_low)),
                                     _mm256_madd_epi16(o2, load(table.odd_high)));
  const __m256i sum = _mm256_srai_epi32(_mm256_add_epi32(a, b), 12);
  const __m256i difference = _mm256_srai_epi32(_mm256_sub_epi32(a, b), 12);
  return _mm256_shufflehi_epi16(_mm256_packs_epi32(sum, difference), 0x1B);
}

// Rows 2j and 2j + 1 of one block in each step.
inline void Row_Pass(const int16_t* coefficients, __m128i (&rows)[8]) {
  for (int j = 0; j < 4; ++j) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients + 16 * j));
    const __m256i y = Row_Pass_Two_Rows(x, kRowPairTables[j]);
    rows[2 * j] = _mm256_castsi256_si128(y);
    rows[2 * j + 1] = _mm256_extracti128_si256(y, 1);
  }
}

// The 16-bit lanes of two blocks: block A in the low 128 bits, block B in
// the high 128 bits, row by row.
struct Lanes256 {
  using Vector = __m256i;
  static Vector Set1(int16_t v) { return _mm256_set1_epi16(v); }
  static Vector Add(Vector a, Vector b) { return _mm256_add_epi16(a, b); }
  static Vector Sub(Vector a, Vector b) { return _mm256_sub_epi16(a, b); }
  static Vector Mulhi(Vector a, Vector b) { return _mm256_mulhi_epi16(a, b); }
  static Vector Or(Vector a, Vector b) { return _mm256_or_si256(a, b); }
  static Vector Shift5(Vector a) { return _mm256_srai_epi16(a, 5); }
};

// The multipliers of row v in both 128-bit halves, for two blocks side by
// side.
constexpr RowPairTable Make_Row_Both_Table(int v) {
  return Make_Row_Pair_Table(kRowTableByPair[kIdctTableOfRow[v]],
                             kRowTableByPair[kIdctTableOfRow[v]]);
}

constexpr RowPairTable kRowBothTables[8] = {
    Make_Row_Both_Table(0), Make_Row_Both_Table(1), Make_Row_Both_Table(2), Make_Row_Both_Table(3),
    Make_Row_Both_Table(4), Make_Row_Both_Table(5), Make_Row_Both_Table(6), Make_Row_Both_Table(7)};

// Row v of blocks A and B through the row pass.
inline __m256i Row_Pass_Pair_Row(const int16_t* row, const RowPairTable& table) {
  const __m256i x = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 64)), 1);
  return Row_Pass_Two_Rows(x, table);
}

// Rows v and v + 1 of both blocks (16-bit samples, A in the low halves) as
// bytes, stored at `first` (A) and `second` (B).
inline void Store_Pair_Rows(uint8_t* first, uint8_t* second, std::ptrdiff_t stride, __m256i v0,
                            __m256i v1) {
  // packus interleaves by 128-bit half: (A0 A1 | B0 B1); the permutation
  // makes it (A0 B0 | A1 B1).
  const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(v0, v1), 0xD8);
  const __m128i upper = _mm256_castsi256_si128(bytes);
  const __m128i lower = _mm256_extracti128_si256(bytes, 1);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(first), upper);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(second), _mm_unpackhi_epi64(upper, upper));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(first + stride), lower);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(second + stride), _mm_unpackhi_epi64(lower, lower));
}

// The prediction under one row of both blocks, widened to 16 bits.
inline __m256i Load_Pair_Row(const uint8_t* first, const uint8_t* second) {
  const __m128i both =
      _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(first)),
                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(second)));
  return _mm256_cvtepu8_epi16(both);
}

// Two blocks at once: each 256-bit register holds one row of both, so the
// column pass and the output stage run once for the two.
template <bool kAdd>
void Transform_Pair_Avx2(const int16_t* coefficients, uint8_t* first, uint8_t* second, int stride) {
  __m256i x[8];
  for (int v = 0; v < 8; ++v) {
    x[v] = Row_Pass_Pair_Row(coefficients + 8 * v, kRowBothTables[v]);
  }
  Column_Pass<Lanes256>(x);
  const __m256i level = _mm256_set1_epi16(128);
  for (int v = 0; v < 8; v += 2) {
    const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(v) * stride;
    uint8_t* a = first + offset;
    uint8_t* b = second + offset;
    if constexpr (kAdd) {
      Store_Pair_Rows(a, b, stride, _mm256_add_epi16(Load_Pair_Row(a, b), x[v]),
                      _mm256_add_epi16(Load_Pair_Row(a + stride, b + stride), x[v + 1]));
    } else {
      Store_Pair_Rows(a, b, stride, _mm256_add_epi16(x[v], level),
                      _mm256_add_epi16(x[v + 1], level));
    }
  }
}

}  // namespace

const IdctKernels idct_kernels_avx2 = {
    Transform<Row_Pass, false>, Transform<Row_Pass, true>, Put_Dc, Add_Dc,
    Transform_Pair_Avx2<false>, Transform_Pair_Avx2<true>};
