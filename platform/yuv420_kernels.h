// The kernels of the conversion from B, G, R pixels into YUV 4:2:0 planes
// (platform/yuv420_converter.h), in libswscale's integer steps for its
// bicubic scaler with accurate rounding and the BT.601 matrix, so that the
// planes hold the bytes swscale gives.
//
// A table of function pointers like the other kernel families (see
// convert/kernel_setup.h): it starts out with the portable kernels, and
// vectorised ones, which give exactly the same results, may be installed
// once at start-up.
#pragma once

#include <cstdint>

// The most rows filter_rows weighs.
constexpr int kMaxFilterTaps = 16;

struct Yuv420Kernels {
  // One row of `width` pixels (B, G, R bytes) into `width` luma bytes and
  // (width + 1) / 2 chroma samples each of U and V, 15-bit fixed point, of
  // the pixels' pairs; the last pair of an odd width takes the three bytes
  // after the row for its second pixel. `full_range`: luma and chroma span
  // 0..255 rather than 16..235 and 16..240.
  void (*split_row)(const uint8_t* bgr, int width, bool full_range, uint8_t* luma, int16_t* u,
                    int16_t* v);
  // `count` chroma bytes from the samples of `taps` (1..kMaxFilterTaps)
  // rows, 15-bit as split_row gives them, at the same column, weighted by
  // `weights` (4096 in all), rounded and clamped.
  void (*filter_rows)(const int16_t* const* rows, const int16_t* weights, int taps, uint8_t* out,
                      int count);
};

extern const Yuv420Kernels portable_yuv420_kernels;
extern Yuv420Kernels yuv420_kernels;

// The vectorised kernels, built on x86-64 only.
extern const Yuv420Kernels yuv420_kernels_sse41;
extern const Yuv420Kernels yuv420_kernels_avx2;
