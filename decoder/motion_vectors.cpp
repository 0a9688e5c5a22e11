#include "decoder/motion_vectors.h"

#include <cstdint>

#include "decoder/coefficient_tables.h"  // Expand_Vlc_Table

namespace {

// Table B-10, motion_code magnitudes (the sign bit follows every code but
// the first). 10-bit window: codes of up to 4 bits by window >> 6, the others
// by the window below 64.
constexpr VlcCode<VlcEntry> motion_code_codes[] = {
    {"1", {0}},
    {"01", {1}},
    {"001", {2}},
    {"0001", {3}},
    {"0000 11", {4}},
    {"0000 101", {5}},
    {"0000 100", {6}},
    {"0000 011", {7}},
    {"0000 0101 1", {8}},
    {"0000 0101 0", {9}},
    {"0000 0100 1", {10}},
    {"0000 0100 01", {11}},
    {"0000 0100 00", {12}},
    {"0000 0011 11", {13}},
    {"0000 0011 10", {14}},
    {"0000 0011 01", {15}},
    {"0000 0011 00", {16}},
};
constexpr auto motion_code_short =
    Expand_Vlc_Table<MOTION_CODE_LONG_CODES>(motion_code_codes, 10, 6, 0);
constexpr auto motion_code_long = Expand_Vlc_Table<64>(motion_code_codes, 10, 0, 0);
static_assert(Vlc_Table_Filled(motion_code_short, 1) && Vlc_Table_Filled(motion_code_long, 12));

}  // namespace

const std::array<VlcEntry, MOTION_CODE_LONG_CODES + 64> motion_code_magnitudes =
    Join_Vlc_Tables(motion_code_short, motion_code_long);

void Derive_Dual_Prime_Vectors(int dual_prime_vectors[2][2], const int dmvector[2], int mvx,
                               int mvy) {
  // Halves and three-halves, rounded away from zero.
  auto h = [](int v) { return (v + (v > 0 ? 1 : 0)) >> 1; };
  auto t = [](int v) { return (3 * v + (v > 0 ? 1 : 0)) >> 1; };
  const DecoderState& d = decoder_state;
  if (d.picture_structure == FRAME_PICTURE) {
    if (d.top_field_first) {
      dual_prime_vectors[0][0] = h(mvx) + dmvector[0];
      dual_prime_vectors[0][1] = h(mvy) + dmvector[1] - 1;
      dual_prime_vectors[1][0] = t(mvx) + dmvector[0];
      dual_prime_vectors[1][1] = t(mvy) + dmvector[1] + 1;
    } else {
      dual_prime_vectors[0][0] = t(mvx) + dmvector[0];
      dual_prime_vectors[0][1] = t(mvy) + dmvector[1] - 1;
      dual_prime_vectors[1][0] = h(mvx) + dmvector[0];
      dual_prime_vectors[1][1] = h(mvy) + dmvector[1] + 1;
    }
  } else {
    dual_prime_vectors[0][0] = h(mvx) + dmvector[0];
    dual_prime_vectors[0][1] = h(mvy) + dmvector[1] + (d.picture_structure == TOP_FIELD ? -1 : 1);
    dual_prime_vectors[1][0] = 0;
    dual_prime_vectors[1][1] = 0;
  }
}
