// Building blocks for scenarios: a deterministic random source, the flat
// DC pattern of intra pictures, and writers that fill a whole picture with
// intra or motion-compensated macroblocks whose vectors stay inside the
// reference pictures.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/synth/stream_writer.h"

namespace synth {

class Lcg {
 public:
  explicit Lcg(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  // 0 .. n - 1
  int Next(int n);
  // lo .. hi
  int Range(int lo, int hi) { return lo + Next(hi - lo + 1); }
  bool Percent(int p) { return Next(100) < p; }

 private:
  uint32_t state_;
};

// DC level (intra_dc_precision 0) of the 8x8 block at block column bx, block
// row by of colour component c: flat blocks of varied levels that make a
// recognisable, non-repeating pattern.
int PatternDc(int component, int bx, int by, int seed);

// An intra macroblock of flat blocks from the pattern. `precision` scales
// the levels to intra_dc_precision, keeping the samples the same.
MacroblockPlan PatternIntra(const StreamWriter& w, int address, int seed, int dct_type = 0,
                            int precision = 0);

struct IntraOptions {
  int seed = 0;
  int quantiser_scale_code = 8;
  int field_dct_percent = 0;  // frame pictures without frame_pred_frame_dct
  int precision = 0;          // intra_dc_precision the picture was given
  int slices_per_row = 1;
  // Applied to every macroblock before it is written (AC coefficients,
  // quantiser changes).
  std::function<void(MacroblockPlan&, Lcg&)> decorate = nullptr;
};

// Every macroblock row of the current I (or D) picture as one slice of
// pattern macroblocks; with concealment_motion_vectors each carries a random
// vector.
void WriteIntraPicture(StreamWriter& w, Lcg& rng, const IntraOptions& options);

struct InterOptions {
  bool forward = true;  // directions a macroblock may use (B: any non-empty mix)
  bool backward = false;
  std::vector<Motion> motions = {Motion::kAuto};
  int max_vector = 12;       // half samples, per component
  bool half_samples = true;  // odd vector components allowed
  // Field selects allowed, per direction: bit 0 top, bit 1 bottom.
  unsigned field_selects[2] = {3, 3};
  int skip_percent = 0;
  int intra_percent = 0;  // intra macroblocks take field DCT half of the time where they can
  int seed = 0;           // pattern of intra macroblocks
  int quantiser_scale_code = 8;
  int slices_per_row = 1;
  // Applied to every coded macroblock before it is written.
  std::function<void(MacroblockPlan&, Lcg&)> decorate = nullptr;
};

// Fills the current P or B picture. Vectors that would leave a reference
// picture are drawn again; skipped macroblocks are placed only where every
// decoder agrees on their meaning.
void WriteInterPicture(StreamWriter& w, Lcg& rng, const InterOptions& options);

// The largest part of the vector that keeps a w x h rectangle at (x, y)
// inside a view_width x view_height picture, half-sample interpolation
// included.
Vector ClampVector(Vector v, int x, int y, int w, int h, int view_width, int view_height);

// Whether the prediction of `mb` (address, motion, vectors, dmvector) reads
// only samples inside its reference pictures.
bool PredictionFits(const StreamWriter& w, const MacroblockPlan& mb);

// Picture settings for common cases.
PictureSettings IntraPictureSettings(int temporal_reference);
PictureSettings PredictedPictureSettings(int temporal_reference, int f_code);
PictureSettings BidirectionalPictureSettings(int temporal_reference, int f_code);

}  // namespace synth
