// Inverse DCT of one 8x8 block, stored (intra) or added to the prediction.
//
// The transform is a fixed-point row pass with per-row-pair multiplier
// tables followed by a 16-bit column pass with high-half multiplies by
// tangent constants; its integer results are exact, so every implementation
// in the kernel table gives identical samples. Coefficients are signed 16-bit
// in raster order; the block is left unchanged.
#pragma once

#include <cstdint>

using IdctFunction = void (*)(const int16_t* coefficients, uint8_t* destination, int stride);
// Two blocks, the second's coefficients following the first's (64 values
// on), to two destinations with the same stride.
using IdctPairFunction = void (*)(const int16_t* coefficients, uint8_t* first, uint8_t* second,
                                  int stride);

struct IdctKernels {
  IdctFunction put;  // sample = clamp(out + 128)
  IdctFunction add;  // sample = clamp(destination + out)
  // The same for a block whose only non-zero coefficient may be the DC.
  IdctFunction put_dc;
  IdctFunction add_dc;
  // The same for two blocks at once.
  IdctPairFunction put_pair;
  IdctPairFunction add_pair;
};

// The portable kernels; the table in use starts out as a copy and may be
// upgraded once at start-up where the processor offers more.
extern const IdctKernels portable_idct_kernels;
extern IdctKernels idct_kernels;

// The vectorised kernels, built on x86-64 only (see convert/kernel_setup.h).
extern const IdctKernels idct_kernels_sse2;
extern const IdctKernels idct_kernels_avx2;

// The portable reference kernels.
void Idct_8x8_Put_C(const int16_t* coefficients, uint8_t* destination, int stride);
void Idct_8x8_Add_C(const int16_t* coefficients, uint8_t* destination, int stride);
void Idct_8x8_Put_Dc_C(const int16_t* coefficients, uint8_t* destination, int stride);
void Idct_8x8_Add_Dc_C(const int16_t* coefficients, uint8_t* destination, int stride);
void Idct_8x8_Put_Pair_C(const int16_t* coefficients, uint8_t* first, uint8_t* second, int stride);
void Idct_8x8_Add_Pair_C(const int16_t* coefficients, uint8_t* first, uint8_t* second, int stride);

// Transform one block and store (intra) or add it at `destination`.
void Idct_8x8_Put_Add(const int16_t* coefficients, uint8_t* destination, int stride, int intra);
