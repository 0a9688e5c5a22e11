// Motion vectors: decoding into the predictors, which double as the vectors
// used for prediction, and the dual-prime derivation.
#pragma once

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"

// MPEG-2 vectors of direction s (0 forward, 1 backward) with the given
// r_size (f_code - 1) per component; modes from the context.
void Read_Motion_Vectors(BitCursor& bits, MacroblockContext& ctx, int s, int r_size_horizontal,
                         int r_size_vertical);

// One vector, both components, in stream order (horizontal, dmvector[0],
// vertical, dmvector[1]).
void Read_Motion_Vector(BitCursor& bits, int pmv[2], int r_size_horizontal, int r_size_vertical,
                        int dmv, int mv_field_in_frame, int full_pel, int dmvector[2]);

// Table B-10: motion_code -16..16 (0 with decode_error when invalid).
int Read_motion_code(BitCursor& bits);

// Table B-11: dmvector -1, 0 or 1.
int Read_dmvector(BitCursor& bits);

// ISO/IEC 13818-2 7.6.3.1: the predictor updated by one coded component.
int Update_Vector_Component(int predictor, int r_size, int motion_code, int motion_residual,
                            int full_pel);

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
