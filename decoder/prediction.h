// Motion-compensated prediction formed in place in decode_target: frame,
// field, 16x8 and dual-prime motion, half-sample interpolation, and the
// averaging of forward and backward predictions.
//
// Vectors that reach outside the reference picture do not read outside the
// frame store: the reference coordinates are clamped to the picture (its
// edge samples repeat), on a per-block path, so the common case keeps its
// branch-free loops.
#pragma once

#include <cstdint>

#include "decoder/decoder_state.h"

// Row kernel: h rows of w samples (w = 8 or 16); `src` and `dst` advance by
// `row_step` per row; the vertical half-sample neighbour of a source sample is
// `neighbour` bytes further on.
using PredictFunction = void (*)(uint8_t* dst, const uint8_t* src, int neighbour, int row_step,
                                 int w, int h);

struct PredictionKernels {
  // Indexed by xh + 2 * yh: full sample, horizontal half, vertical half, both.
  PredictFunction put[4];
  PredictFunction average[4];  // dst = (dst + p + 1) >> 1
};

// The portable loops; the table in use starts out as a copy and may be
// upgraded once at start-up where the processor offers more.
extern const PredictionKernels portable_prediction_kernels;
extern PredictionKernels prediction_kernels;

// The vectorised loops, built on x86-64 only (see convert/kernel_setup.h).
extern const PredictionKernels prediction_kernels_sse2;

// Forms the prediction of the non-intra macroblock at luma position (bx, by)
// (by counts field lines in a field picture).
void Predict_Macroblock(int bx, int by, const MacroblockContext& ctx);
