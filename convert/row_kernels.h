// Row kernels of the picture output stage and the frame source.
//
// Each kernel family is a table of function pointers. The active tables start
// out filled with the portable kernels below; faster versions may be swapped
// in once at start-up, and every such version must give exactly the bytes the
// portable kernel gives, which stays available as the reference.
//
// All kernels work on unsigned 8-bit samples; no output overlaps an input.
#pragma once

#include <cstdint>

#include "decoder/decoder_state.h"

// Chroma upsampling.
//
// Vertical 4:2:0 -> 4:2:2 kernels read `height` rows of `width` samples
// (stride `width`) and write 2 * `height` rows of the same width; rows beyond
// the plane edge are replaced by the nearest row (progressive) or the nearest
// row of the same field (field-wise), so the first and last output rows are
// copies of input rows. The field-wise kernel needs an even `height` of at
// least 2 (even rows are the top field, odd rows the bottom field).
//
// Horizontal 4:2:2 -> 4:4:4 kernels double a row of `count` samples to
// 2 * `count`; samples beyond the row ends are replaced by the end samples.
struct ChromaUpsampleKernels {
  void (*vertical_420_to_422_progressive)(const uint8_t* in, uint8_t* out, int width, int height);
  void (*vertical_420_to_422_fieldwise)(const uint8_t* in, uint8_t* out, int width, int height);
  // MPEG-1 siting: chroma midway between two luma samples (3-tap filter).
  void (*horizontal_422_to_444_mpeg1)(const uint8_t* in, uint8_t* out, int count);
  // MPEG-2 siting: chroma on the even luma samples (copy and average).
  void (*horizontal_422_to_444_mpeg2)(const uint8_t* in, uint8_t* out, int count);
};

// The rows that progressive upsampling reads for input row r, the edge rows
// repeated beyond the plane, and the two output rows they make.
struct ProgressiveRows {
  const uint8_t* above;
  const uint8_t* centre;
  const uint8_t* below;
  uint8_t* out[2];
};
ProgressiveRows Progressive_Rows(const uint8_t* in, uint8_t* out, int width, int height, int r);

// The rows that field-wise upsampling reads for input row pair p (rows 2p
// and 2p + 1), with out-of-plane rows replaced by the nearest row of the same
// field, and the four output rows they make.
struct FieldwiseRows {
  const uint8_t* top_above;
  const uint8_t* bottom_above;
  const uint8_t* top;
  const uint8_t* bottom;
  const uint8_t* top_below;
  const uint8_t* bottom_below;
  uint8_t* out[4];
};
FieldwiseRows Fieldwise_Rows(const uint8_t* in, uint8_t* out, int width, int height, int p);

// YUV to 24-bit B, G, R: `width` pixels from full-resolution Y, Cb and Cr
// rows into 3 * `width` bytes of `dest`. With t = (Y - LUMA_OFFSET) *
// LUMA_GAIN + COLOUR_ROUNDING, u = Cb - CHROMA_OFFSET, v = Cr - CHROMA_OFFSET
// in signed 32-bit arithmetic, each clamped to 0..255:
//   B = (t + cb_to_b * u) >> 16
//   G = (t - cr_to_g * v - cb_to_g * u) >> 16
//   R = (t + cr_to_r * v) >> 16
inline constexpr int32_t LUMA_GAIN = 76309;  // 255/219 in 16.16 fixed point
inline constexpr int32_t LUMA_OFFSET = 16;
inline constexpr int32_t CHROMA_OFFSET = 128;
inline constexpr int32_t COLOUR_ROUNDING = 32768;
struct ColourConvertKernels {
  void (*yuv_to_bgr_row)(uint8_t* dest, const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                         int width, const ColourCoefficients& coefficients);
};

// Vertical combinations of whole converted rows, `length` bytes each.
struct RowBlendKernels {
  // dest = (a * (256 - weight) + b * weight + 128) >> 8, weight 0..255.
  void (*blend_rows)(uint8_t* dest, const uint8_t* a, const uint8_t* b, int weight, int length);
  // dest = (a + 2 * b + c) >> 2, no rounding term.
  void (*filter_rows_121)(uint8_t* dest, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                          int length);
};

// The portable kernels, in tables that never change.
extern const ChromaUpsampleKernels portable_chroma_upsample_kernels;
extern const ColourConvertKernels portable_colour_convert_kernels;
extern const RowBlendKernels portable_row_blend_kernels;

// The tables in use.
extern ChromaUpsampleKernels chroma_upsample_kernels;
extern ColourConvertKernels colour_convert_kernels;
extern RowBlendKernels row_blend_kernels;

// The vectorised kernels, built on x86-64 only (see convert/kernel_setup.h).
extern const ChromaUpsampleKernels chroma_upsample_kernels_sse2;
extern const ChromaUpsampleKernels chroma_upsample_kernels_avx2;
extern const RowBlendKernels row_blend_kernels_sse2;
extern const ColourConvertKernels colour_convert_kernels_sse41;
extern const ColourConvertKernels colour_convert_kernels_avx2;
extern const ColourConvertKernels colour_convert_kernels_avx512;

inline void Blend_Rows(uint8_t* dest, const uint8_t* a, const uint8_t* b, int weight, int length) {
  row_blend_kernels.blend_rows(dest, a, b, weight, length);
}

inline void Filter_Rows_121(uint8_t* dest, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                            int length) {
  row_blend_kernels.filter_rows_121(dest, a, b, c, length);
}
