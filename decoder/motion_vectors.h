// Motion vectors: decoding into the predictors, which double as the vectors
// used for prediction, and the dual-prime derivation.
#pragma once

#include <array>
#include <cstdint>

#include "decoder/bit_reader.h"
#include "decoder/coefficient_tables.h"  // VlcEntry
#include "decoder/decoder_state.h"

// The decoding of vectors is inline, so that the macroblock layer keeps its
// cursor in registers.

// Table B-10 magnitudes by a 10-bit window c: entry c >> 6 for c >= 64
// (codes of up to 4 bits), MOTION_CODE_LONG_CODES + c below. Value 0 with
// length 0 where no code starts.
constexpr int MOTION_CODE_LONG_CODES = 16;
extern const std::array<VlcEntry, MOTION_CODE_LONG_CODES + 64> motion_code_magnitudes;

// Table B-10: motion_code -16..16 (0 with decode_error when invalid).
inline int Read_motion_code(BitCursor& bits) {
  const uint32_t window = bits.Peek(10);
  const VlcEntry& entry =
      motion_code_magnitudes[window >= 64 ? window >> 6 : MOTION_CODE_LONG_CODES + window];
  if (entry.value > 0) {
    // The sign bit follows every code but the first.
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

// Table B-11: dmvector -1, 0 or 1.
inline int Read_dmvector(BitCursor& bits) {
  if (!bits.ReadBit()) return 0;
  return bits.ReadBit() ? -1 : 1;
}

// ISO/IEC 13818-2 7.6.3.1: the predictor updated by one coded component.
inline int Update_Vector_Component(int predictor, int r_size, int motion_code, int motion_residual,
                                   int full_pel) {
  const int limit = 16 << r_size;
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

// One component: motion_code, motion_residual and the update.
inline int Read_Vector_Component(BitCursor& bits, int predictor, int r_size, int full_pel) {
  const int motion_code = Read_motion_code(bits);
  int motion_residual = 0;
  if (r_size != 0 && motion_code != 0) motion_residual = static_cast<int>(bits.Read(r_size));
  return Update_Vector_Component(predictor, r_size, motion_code, motion_residual, full_pel);
}

// One vector, both components, in stream order (horizontal, dmvector[0],
// vertical, dmvector[1]).
inline void Read_Motion_Vector(BitCursor& bits, int pmv[2], int r_size_horizontal,
                               int r_size_vertical, int dmv, int mv_field_in_frame, int full_pel,
                               int dmvector[2]) {
  pmv[0] = Read_Vector_Component(bits, pmv[0], r_size_horizontal, full_pel);
  if (dmv) dmvector[0] = Read_dmvector(bits);
  if (mv_field_in_frame) {
    // The predictor is kept in frame units; the field vector is coded in
    // field units.
    pmv[1] = Read_Vector_Component(bits, pmv[1] >> 1, r_size_vertical, full_pel) * 2;
  } else {
    pmv[1] = Read_Vector_Component(bits, pmv[1], r_size_vertical, full_pel);
  }
  if (dmv) dmvector[1] = Read_dmvector(bits);
}

// MPEG-2 vectors of direction s (0 forward, 1 backward) with the given
// r_size (f_code - 1) per component; modes from the context.
inline void Read_Motion_Vectors(BitCursor& bits, MacroblockContext& ctx, int s,
                                int r_size_horizontal, int r_size_vertical) {
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
}

// ISO/IEC 13818-2 7.6.3.6. Frame pictures pass the field vector (vertical
// component halved); [0] predicts the top field from the bottom field, [1]
// the bottom field from the top field. Field pictures use [0] only.
void Derive_Dual_Prime_Vectors(int dual_prime_vectors[2][2], const int dmvector[2], int mvx,
                               int mvy);

// r_size from an f_code; forbidden f_code values (0, 10..15) are brought into
// the range of the syntax so that no shift goes negative or too far.
inline int R_Size_From_F_Code(int f_code) {
  if (f_code < 1) return 0;
  if (f_code > 9) return 8;
  return f_code - 1;
}
