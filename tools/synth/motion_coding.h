// Motion vector coding on the encoder side: the inverse of the vector
// decoding process of ISO/IEC 13818-2 7.6.3.1, and the dual-prime derivation
// of 7.6.3.6 that the reference reconstruction needs.
#pragma once

#include "tools/synth/bit_writer.h"

namespace synth {

struct MotionCode {
  int motion_code = 0;      // -16..16
  int motion_residual = 0;  // 0 .. (1 << r_size) - 1; not written when motion_code is 0 or r_size 0
};

// Smallest and largest vector component that r_size (f_code - 1) can express.
inline int VectorRangeLow(int r_size) {
  return -(16 << r_size);
}
inline int VectorRangeHigh(int r_size) {
  return (16 << r_size) - 1;
}

// The motion_code and motion_residual that take a decoder's predictor to
// `value`. Both must lie in the range of r_size; the difference may be any
// size, since decoding wraps it into the range.
MotionCode EncodeVectorComponent(int predictor, int value, int r_size);

// motion_code (Table B-10 and its sign bit), then motion_residual when the
// syntax carries one.
void PutMotionCode(BitWriter& out, const MotionCode& code, int r_size);

// dmvector (Table B-11).
void PutDmvector(BitWriter& out, int dmvector);

// Opposite-parity vectors of dual-prime prediction. `field_vector` is the
// same-parity vector in field units. Frame pictures: [0] predicts the top
// field from the bottom field, [1] the bottom field from the top field.
// Field pictures: [0] predicts the current field from the other parity.
struct DualPrimeVectors {
  int vector[2][2];  // [which][horizontal, vertical]
};
DualPrimeVectors DeriveDualPrimeFrame(const int field_vector[2], const int dmvector[2],
                                      bool top_field_first);
DualPrimeVectors DeriveDualPrimeField(const int field_vector[2], const int dmvector[2],
                                      bool bottom_field);

}  // namespace synth
