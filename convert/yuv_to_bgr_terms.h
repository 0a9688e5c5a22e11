// What the vectorised YUV-to-BGR kernels share: the colour formula with its
// offsets folded into one constant per channel, and the byte order of packed
// B, G, R pixels.
#pragma once

#include <cstdint>

#include "decoder/decoder_state.h"

// B = (Y * LUMA_GAIN + Cb * b_from_cb + b_constant) >> 16, and likewise
// G = (Y * LUMA_GAIN + Cb * g_from_cb + Cr * g_from_cr + g_constant) >> 16,
// R = (Y * LUMA_GAIN + Cr * r_from_cr + r_constant) >> 16, with the raw
// samples Y, Cb, Cr. Equal modulo 2^32 to the unfolded formula, so 32-bit
// lanes that wrap give its exact results.
struct ColourTerms {
  int32_t b_from_cb;
  int32_t g_from_cb;
  int32_t g_from_cr;
  int32_t r_from_cr;
  int32_t b_constant;
  int32_t g_constant;
  int32_t r_constant;
};

ColourTerms Colour_Terms(const ColourCoefficients& coefficients);

// For 16 pixels whose B, G and R bytes lie in three 16-byte registers: byte m
// of output register `part` (0..2) is byte bytes[channel][part][m] of the
// channel's register, where -128 selects zero (pshufb), so that the three
// outputs OR-ed per part are the 48 bytes B0 G0 R0 B1 ... R15. (A plain
// array: the kernels built with wider instruction sets call no shared inline
// function.)
struct BgrShuffle {
  int8_t bytes[3][3][16];
};

constexpr BgrShuffle Make_Bgr_Shuffle() {
  BgrShuffle shuffle{};
  for (int part = 0; part < 3; ++part) {
    for (int m = 0; m < 16; ++m) {
      const int byte = 16 * part + m;
      for (int channel = 0; channel < 3; ++channel) {
        shuffle.bytes[channel][part][m] =
            static_cast<int8_t>(byte % 3 == channel ? byte / 3 : -128);
      }
    }
  }
  return shuffle;
}
constexpr BgrShuffle kBgrShuffle = Make_Bgr_Shuffle();
