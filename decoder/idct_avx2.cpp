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

// As the SSE2 row pass, per 128-bit half.
inline void Row_Pass(const int16_t* coefficients, __m128i (&rows)[8]) {
  auto load = [](const int16_t* t) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(t));
  };
  for (int j = 0; j < 4; ++j) {
    const RowPairTable& table = kRowPairTables[j];
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients + 16 * j));
    const __m256i pairs = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(x, 0xD8), 0xD8);
    const __m256i e1 = _mm256_shuffle_epi32(pairs, 0x00);
    const __m256i o1 = _mm256_shuffle_epi32(pairs, 0x55);
    const __m256i e2 = _mm256_shuffle_epi32(pairs, 0xAA);
    const __m256i o2 = _mm256_shuffle_epi32(pairs, 0xFF);
    const __m256i a =
        _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(e1, load(table.even_low)),
                                          _mm256_madd_epi16(e2, load(table.even_high))),
                         _mm256_set1_epi32(2048));
    const __m256i b = _mm256_add_epi32(_mm256_madd_epi16(o1, load(table.odd_low)),
                                       _mm256_madd_epi16(o2, load(table.odd_high)));
    const __m256i sum = _mm256_srai_epi32(_mm256_add_epi32(a, b), 12);
    const __m256i difference = _mm256_srai_epi32(_mm256_sub_epi32(a, b), 12);
    const __m256i y = _mm256_shufflehi_epi16(_mm256_packs_epi32(sum, difference), 0x1B);
    rows[2 * j] = _mm256_castsi256_si128(y);
    rows[2 * j + 1] = _mm256_extracti128_si256(y, 1);
  }
}

}  // namespace

const IdctKernels idct_kernels_avx2 = {Transform<Row_Pass, false>, Transform<Row_Pass, true>,
                                       Put_Dc, Add_Dc};
