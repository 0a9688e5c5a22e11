// What one macroblock of a synthesized picture says, in the terms of the
// syntax: the stream writer turns it into bits and the reference
// reconstruction into samples, so both read the same description.
#pragma once

#include <array>
#include <vector>

namespace synth {

// The prediction of a macroblock with motion compensation. kAuto is frame
// motion in frame pictures and field motion in field pictures.
enum class Motion { kAuto, kFrame, kField, k16x8, kDualPrime };

// A motion vector in half samples as it is applied: frame units for frame
// motion, field units for every field vector (also in frame pictures).
struct Vector {
  int x = 0;
  int y = 0;
};

// One run-length coded coefficient. `escape` forces the escape code even
// where the table has a code for the pair.
struct Coefficient {
  int run = 0;
  int level = 0;
  bool escape = false;
};

// Intra blocks: `dc` is the DC level (0 .. (256 << intra_dc_precision) - 1)
// and `coefficients` the AC coefficients from scan position 1. Non-intra
// blocks: `coefficients` from position 0; an empty list is a block that is
// not coded.
struct Block {
  int dc = 128;
  std::vector<Coefficient> coefficients;
};

struct MacroblockPlan {
  int address = 0;  // row-major within the picture (within the field for field pictures)
  bool intra = false;
  bool forward = false;
  bool backward = false;
  // P pictures: a coded macroblock without motion compensation (zero vector
  // from the frame, or from the field of the same parity).
  bool no_motion_compensation = false;
  Motion motion = Motion::kAuto;
  Vector vector[2][2];            // [r first/second][s forward/backward]
  int field_select[2][2] = {};    // [r][s]: 0 top, 1 bottom field of the reference
  int dmvector[2] = {};           // dual prime: horizontal, vertical (-1..1)
  int dct_type = 0;               // 1 = field DCT (frame pictures without frame_pred_frame_dct)
  int quantiser_scale_code = -1;  // >= 0: macroblock_quant with this code
  int stuffing = 0;               // macroblock_stuffing codes before the increment (MPEG-1)
  std::array<Block, 12> blocks;   // in block order: Y0..Y3, Cb, Cr, Cb, Cr, ...

  bool HasCoefficients() const {
    for (const Block& b : blocks) {
      if (!b.coefficients.empty()) return true;
    }
    return false;
  }
};

}  // namespace synth
