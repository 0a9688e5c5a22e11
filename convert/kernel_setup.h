// The kernel tables of the decoder, the picture output and the compressors'
// input: the portable kernels, or the fastest vectorised ones this processor
// runs.
//
// Every vectorised kernel gives exactly the bytes of its portable twin, so
// the choice changes the speed and nothing else.
#pragma once

#include <span>

#include "convert/row_kernels.h"
#include "decoder/idct.h"
#include "decoder/prediction.h"
#include "platform/cpu_features.h"
#include "platform/pixel_order.h"
#include "platform/yuv420_kernels.h"

enum class KernelChoice {
  kAuto,      // the best the processor runs
  kPortable,  // the portable kernels only
};

// The vectorised kernels of one instruction-set level; nullptr where the
// level brings no kernels of that family.
struct KernelSet {
  SimdLevel level;
  const IdctKernels* idct;
  const PredictionKernels* prediction;
  const ChromaUpsampleKernels* chroma_upsample;
  const ColourConvertKernels* colour_convert;
  const RowBlendKernels* row_blend;
  const PixelOrderKernels* pixel_order;
  const Yuv420Kernels* yuv420;
};

// The sets built for this processor architecture, lowest level first; none
// where only the portable kernels are built.
std::span<const KernelSet> Vector_Kernel_Sets();

// Fills every table with the portable kernels, then, for kAuto, with each
// set up to the processor's level in turn, so that per family the highest
// level wins. Returns the highest level installed. Call at start-up, before
// any decoding: the tables are read without synchronisation.
SimdLevel Install_Kernels(KernelChoice choice);
