#include "decoder/idct.h"

#include <emmintrin.h>

#include "decoder/idct_vector_stages.h"

// The transform in SSE2 registers: a row in one register, multiply-add of
// coefficient pairs for the row pass (pmaddwd sums two 16x16-bit products
// exactly; the further sums wrap modulo 2^32 like the portable kernel's),
// saturating packing back to 16 bits, then the shared column pass and output
// stage.

namespace {

using namespace idct_vector;

// Row v of the block through the row pass.
inline __m128i Row_Pass_Row(const int16_t* row, const RowTable& table) {
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
  // (x0 x2 x1 x3 x4 x6 x5 x7): the 32-bit lanes hold the four pairs.
  const __m128i pairs = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xD8), 0xD8);
  const __m128i e1 = _mm_shuffle_epi32(pairs, 0x00);
  const __m128i o1 = _mm_shuffle_epi32(pairs, 0x55);
  const __m128i e2 = _mm_shuffle_epi32(pairs, 0xAA);
  const __m128i o2 = _mm_shuffle_epi32(pairs, 0xFF);
  auto load = [](const int16_t* t) { return _mm_load_si128(reinterpret_cast<const __m128i*>(t)); };
  const __m128i a = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(e1, load(table.even_low)),
                                                _mm_madd_epi16(e2, load(table.even_high))),
                                  _mm_set1_epi32(2048));
  const __m128i b = _mm_add_epi32(_mm_madd_epi16(o1, load(table.odd_low)),
                                  _mm_madd_epi16(o2, load(table.odd_high)));
  const __m128i sum = _mm_srai_epi32(_mm_add_epi32(a, b), 12);         // y0 y1 y2 y3
  const __m128i difference = _mm_srai_epi32(_mm_sub_epi32(a, b), 12);  // y7 y6 y5 y4
  return _mm_shufflehi_epi16(_mm_packs_epi32(sum, difference), 0x1B);
}

inline void Row_Pass(const int16_t* coefficients, __m128i (&rows)[8]) {
  for (int v = 0; v < 8; ++v) {
    rows[v] = Row_Pass_Row(coefficients + 8 * v, kRowTableByPair[kIdctTableOfRow[v]]);
  }
}

}  // namespace

const IdctKernels idct_kernels_sse2 = {
    Transform<Row_Pass, false>,      Transform<Row_Pass, true>,     Put_Dc, Add_Dc,
    Transform_Pair<Row_Pass, false>, Transform_Pair<Row_Pass, true>};
