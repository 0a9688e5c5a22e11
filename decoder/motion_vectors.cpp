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
constexpr auto motion_code_64 = Expand_Vlc_Table<16>(motion_code_codes, 10, 6, 0);
constexpr auto motion_code_0 = Expand_Vlc_Table<64>(motion_code_codes, 10, 0, 0);
static_assert(Vlc_Table_Filled(motion_code_64, 1) && Vlc_Table_Filled(motion_code_0, 12));

}  // namespace

int Read_motion_code(BitCursor& bits) {
  const uint32_t window = bits.Peek(10);
  const VlcEntry& entry = window >= 64 ? motion_code_64[window >> 6] : motion_code_0[window];
  if (entry.value > 0) {
    const int sign = bits.BitMaskAt(entry.length);
    bits.Skip(entry.length + 1);
    return (entry.value ^ sign) - sign;
  }
  // Code 1 is motion_code 0. Of an invalid code the leading 0 bit is
  // consumed; there is no message: the motion vector layer reports nothing
  // for this code.
  bits.Skip(1);
  if (entry.length == 0) decoder_state.decode_error = 1;
  return 0;
}

int Read_dmvector(BitCursor& bits) {
  if (!bits.ReadBit()) return 0;
  return bits.ReadBit() ? -1 : 1;
}

int Update_Vector_Component(int predictor, int r_size, int motion_code, int motion_residual,
                            int full_pel) {
  int limit = 16 << r_size;
  int value = full_pel ? predictor >> 1 : predictor;
  if (motion_code > 0) {
    value += ((motion_code - 1) << r_size) + motion_residual + 1;
    if (value >= limit) value -= 2 * limit;
  } else if (motion_code < 0) {
    value -= ((-motion_code - 1) << r_size) + motion_residual + 1;
    if (value < -limit) value += 2 * limit;
  }
  return full_pel ? value * 2 : value;
}

namespace {

int Read_Component(BitCursor& bits, int predictor, int r_size, int full_pel) {
  int motion_code = Read_motion_code(bits);
  int motion_residual = 0;
  if (r_size != 0 && motion_code != 0) motion_residual = static_cast<int>(bits.Read(r_size));
  return Update_Vector_Component(predictor, r_size, motion_code, motion_residual, full_pel);
}

}  // namespace

void Read_Motion_Vector(BitCursor& cursor, int pmv[2], int r_size_horizontal, int r_size_vertical,
                        int dmv, int mv_field_in_frame, int full_pel, int dmvector[2]) {
  BitCursor bits = cursor;
  pmv[0] = Read_Component(bits, pmv[0], r_size_horizontal, full_pel);
  if (dmv) dmvector[0] = Read_dmvector(bits);
  if (mv_field_in_frame) {
    // The predictor is kept in frame units; the field vector is coded in
    // field units.
    pmv[1] = Read_Component(bits, pmv[1] >> 1, r_size_vertical, full_pel) * 2;
  } else {
    pmv[1] = Read_Component(bits, pmv[1], r_size_vertical, full_pel);
  }
  if (dmv) dmvector[1] = Read_dmvector(bits);
  cursor = bits;
}

// The calls are inlined, so the cursor copy stays in registers for all the
// codes of the direction.
[[gnu::flatten]] void Read_Motion_Vectors(BitCursor& cursor, MacroblockContext& ctx, int s,
                                          int r_size_horizontal, int r_size_vertical) {
  BitCursor bits = cursor;
  if (ctx.motion_vector_count == 1) {
    if (ctx.mv_format == 0 && !ctx.dmv) {
      int select = bits.ReadBit();
      ctx.motion_vertical_field_select[0][s] = select;
      ctx.motion_vertical_field_select[1][s] = select;
    }
    // Decoded in a local copy and stored to both predictors from it: copying
    // PMV[0][s] right after its two stores would stall on store forwarding.
    int vector[2] = {ctx.PMV[0][s][0], ctx.PMV[0][s][1]};
    Read_Motion_Vector(bits, vector, r_size_horizontal, r_size_vertical, ctx.dmv,
                       ctx.mv_field_in_frame, 0, ctx.dmvector);
    for (auto& pmv : ctx.PMV) {
      pmv[s][0] = vector[0];
      pmv[s][1] = vector[1];
    }
  } else {
    ctx.motion_vertical_field_select[0][s] = bits.ReadBit();
    Read_Motion_Vector(bits, ctx.PMV[0][s], r_size_horizontal, r_size_vertical, 0,
                       ctx.mv_field_in_frame, 0, ctx.dmvector);
    ctx.motion_vertical_field_select[1][s] = bits.ReadBit();
    Read_Motion_Vector(bits, ctx.PMV[1][s], r_size_horizontal, r_size_vertical, 0,
                       ctx.mv_field_in_frame, 0, ctx.dmvector);
  }
  cursor = bits;
}

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
