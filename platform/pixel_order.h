// The byte order of 24-bit pixels, for encoders that take the frames' B, G,
// R pixels as R, G, B.
//
// A table of function pointers like the other kernel families (see
// convert/kernel_setup.h): it starts out with the portable kernel, and a
// vectorised one, which gives exactly the same bytes, may be installed once
// at start-up.
#pragma once

#include <cstdint>

struct PixelOrderKernels {
  // `count` pixels of three bytes from `in` to `out` (which do not
  // overlap), the first and the third byte of each swapped.
  void (*swap_outer_bytes)(const uint8_t* in, uint8_t* out, int count);
};

extern const PixelOrderKernels portable_pixel_order_kernels;
extern PixelOrderKernels pixel_order_kernels;

// The vectorised kernel, built on x86-64 only.
extern const PixelOrderKernels pixel_order_kernels_sse41;
