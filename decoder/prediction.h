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

// Row kernel: h rows of 8 or 16 samples (by the table slot); `src`, `dst`
// and the vertical half-sample neighbour of a source sample all lie `pitch`
// bytes apart (one frame line, or two for the lines of one field).
using PredictFunction = void (*)(uint8_t* dst, const uint8_t* src, int pitch, int h);

// The 8-sample loop in two planes at once, which share their pitch: the two
// chroma planes of 4:2:0 and 4:2:2.
using PredictPairFunction = void (*)(uint8_t* dst0, const uint8_t* src0, uint8_t* dst1,
                                     const uint8_t* src1, int pitch, int h);

// Table slots by width: 8 samples (chroma of 4:2:0 and 4:2:2) and 16.
constexpr int PREDICT_8 = 0;
constexpr int PREDICT_16 = 1;

struct PredictionKernels {
  // [PREDICT_8 or PREDICT_16][xh + 2 * yh]: full sample, horizontal half,
  // vertical half, both.
  PredictFunction put[2][4];
  PredictFunction average[2][4];  // dst = (dst + p + 1) >> 1
  // [xh + 2 * yh], 8 samples in two planes.
  PredictPairFunction put_pair[4];
  PredictPairFunction average_pair[4];
};

// The table of a family of loops written as Rows<kCase, kAverage, kWidth>::Run
// and Pair<kCase, kAverage>::Run (kCase = xh + 2 * yh, kWidth 8 or 16).
template <template <int, bool, int> class Rows, template <int, bool> class Pair>
constexpr PredictionKernels Make_Prediction_Kernels() {
  return {
      {{Rows<0, false, 8>::Run, Rows<1, false, 8>::Run, Rows<2, false, 8>::Run,
        Rows<3, false, 8>::Run},
       {Rows<0, false, 16>::Run, Rows<1, false, 16>::Run, Rows<2, false, 16>::Run,
        Rows<3, false, 16>::Run}},
      {{Rows<0, true, 8>::Run, Rows<1, true, 8>::Run, Rows<2, true, 8>::Run, Rows<3, true, 8>::Run},
       {Rows<0, true, 16>::Run, Rows<1, true, 16>::Run, Rows<2, true, 16>::Run,
        Rows<3, true, 16>::Run}},
      {Pair<0, false>::Run, Pair<1, false>::Run, Pair<2, false>::Run, Pair<3, false>::Run},
      {Pair<0, true>::Run, Pair<1, true>::Run, Pair<2, true>::Run, Pair<3, true>::Run},
  };
}

// The portable loops; the table in use starts out as a copy and may be
// upgraded once at start-up where the processor offers more.
extern const PredictionKernels portable_prediction_kernels;
extern PredictionKernels prediction_kernels;

// The vectorised loops, built on x86-64 only (see convert/kernel_setup.h).
extern const PredictionKernels prediction_kernels_sse2;

// Fills decoder_state.prediction_walks for the picture about to be decoded
// (its decode_target and plane sizes); call before its first macroblock.
void Prepare_Prediction_Walks();

// Forms the prediction of the non-intra macroblock at luma position (bx, by)
// (by counts field lines in a field picture).
void Predict_Macroblock(int bx, int by, const MacroblockContext& ctx);
