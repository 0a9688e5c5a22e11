#include "tools/synth/motion_coding.h"

#include <cstdio>
#include <cstdlib>

#include "tools/synth/code_tables.h"

namespace synth {
namespace {

[[noreturn]] void Fail(const char* what, int a, int b) {
  std::fprintf(stderr, "synth: %s (%d, %d)\n", what, a, b);
  std::abort();
}

// Vector scaled by m/2 with halves rounded away from zero (m = 1 or 3).
int ScaleHalf(int v, int m) {
  return (v * m + (v > 0 ? 1 : 0)) >> 1;
}

}  // namespace

MotionCode EncodeVectorComponent(int predictor, int value, int r_size) {
  if (r_size < 0 || r_size > 8) Fail("r_size out of range", r_size, 0);
  const int low = VectorRangeLow(r_size);
  const int high = VectorRangeHigh(r_size);
  const int span = 32 << r_size;
  if (value < low || value > high) Fail("vector outside the f_code range", value, r_size);
  // A predictor can lie outside the range: a field vector in a frame picture
  // is kept in frame units, twice its coded value.
  if (predictor < 2 * low || predictor >= 2 * high)
    Fail("predictor far out of range", predictor, r_size);
  // Decoding adds the coded difference and wraps by `span`, so pick the
  // difference congruent to value - predictor that the syntax can say.
  int delta = (value - predictor) % span;
  if (delta < low) delta += span;
  if (delta > high) delta -= span;
  MotionCode code;
  if (delta != 0) {
    const int magnitude = delta > 0 ? delta : -delta;
    code.motion_code = ((magnitude - 1) >> r_size) + 1;
    code.motion_residual = (magnitude - 1) & ((1 << r_size) - 1);
    if (delta < 0) code.motion_code = -code.motion_code;
  }
  // Decoders wrap differently when the predictor is out of range: the
  // standard corrects once in each direction, some decoders only in the
  // direction of the difference's sign, others take the value modulo the
  // span. A stream must mean the same to all of them.
  int by_standard = predictor + delta;
  if (by_standard < low) by_standard += span;
  if (by_standard > high) by_standard -= span;
  int by_sign = predictor + delta;
  if (delta > 0 && by_sign > high) by_sign -= span;
  if (delta < 0 && by_sign < low) by_sign += span;
  if (by_standard != value || by_sign != value) {
    Fail("vector not reachable from this predictor by every decoder", predictor, value);
  }
  return code;
}

void PutMotionCode(BitWriter& out, const MotionCode& code, int r_size) {
  const int magnitude = code.motion_code < 0 ? -code.motion_code : code.motion_code;
  std::string_view bits = CodeFor(MotionCodeMagnitudeCodes(), magnitude);
  if (bits.empty()) Fail("motion_code out of range", code.motion_code, r_size);
  out.PutCode(bits);
  if (magnitude == 0) return;
  out.PutBit(code.motion_code < 0 ? 1 : 0);
  if (r_size > 0) out.Put(static_cast<uint32_t>(code.motion_residual), r_size);
}

void PutDmvector(BitWriter& out, int dmvector) {
  std::string_view bits = CodeFor(DmvectorCodes(), dmvector);
  if (bits.empty()) Fail("dmvector out of range", dmvector, 0);
  out.PutCode(bits);
}

DualPrimeVectors DeriveDualPrimeFrame(const int field_vector[2], const int dmvector[2],
                                      bool top_field_first) {
  // The opposite-parity reference field lies one field period from the
  // current field for one parity and three for the other; the vertical
  // offset of -1 / +1 half lines moves between the two field grids.
  const int m_top = top_field_first ? 1 : 3;
  const int m_bottom = top_field_first ? 3 : 1;
  DualPrimeVectors dp;
  dp.vector[0][0] = ScaleHalf(field_vector[0], m_top) + dmvector[0];
  dp.vector[0][1] = ScaleHalf(field_vector[1], m_top) + dmvector[1] - 1;
  dp.vector[1][0] = ScaleHalf(field_vector[0], m_bottom) + dmvector[0];
  dp.vector[1][1] = ScaleHalf(field_vector[1], m_bottom) + dmvector[1] + 1;
  return dp;
}

DualPrimeVectors DeriveDualPrimeField(const int field_vector[2], const int dmvector[2],
                                      bool bottom_field) {
  DualPrimeVectors dp{};
  dp.vector[0][0] = ScaleHalf(field_vector[0], 1) + dmvector[0];
  dp.vector[0][1] = ScaleHalf(field_vector[1], 1) + dmvector[1] + (bottom_field ? 1 : -1);
  dp.vector[1][0] = dp.vector[0][0];
  dp.vector[1][1] = dp.vector[0][1];
  return dp;
}

}  // namespace synth
