// The fixed-point terms shared by the portable and the vectorised kernels of
// platform/yuv420_kernels.h: libswscale's BT.601 coefficients in 1/32768
// and its range expansion for full-range output.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/yuv420_kernels.h"

namespace yuv420 {

constexpr int kShift = 15;
constexpr int Coefficient(double c, double span) {
  return static_cast<int>(c * span / 255 * (1 << kShift) + 0.5);
}
constexpr int kRy = Coefficient(0.299, 219), kGy = Coefficient(0.587, 219),
              kBy = Coefficient(0.114, 219);
constexpr int kRu = -Coefficient(0.169, 224), kGu = -Coefficient(0.331, 224),
              kBu = Coefficient(0.500, 224);
constexpr int kRv = Coefficient(0.500, 224), kGv = -Coefficient(0.419, 224),
              kBv = -Coefficient(0.081, 224);

// Luma of one pixel in 1/64, offset 16 included, rounded.
constexpr int kLumaRounding = (32 << (kShift - 1)) + (1 << (kShift - 7));
constexpr int kLumaShift = kShift - 6;
// Chroma of the sum of two pixels in 1/64, offset 128 included, rounded.
constexpr int kChromaRounding = (256 << kShift) + (1 << (kShift - 6));
constexpr int kChromaShift = kShift - 5;

// Full range: the 15-bit limited-range samples stretched,
// (min(s, limit) * scale - offset) >> shift.
constexpr int kLumaFullLimit = 30189, kLumaFullScale = 19077, kLumaFullOffset = 39057361,
              kLumaFullShift = 14;
constexpr int kChromaFullLimit = 30775, kChromaFullScale = 4663, kChromaFullOffset = 9289992,
              kChromaFullShift = 12;

// The output rounding of a 15-bit sample, and of a sum weighted by 4096.
constexpr int kSampleRounding = 64, kSampleShift = 7;
constexpr int kFilterRounding = 1 << 18, kFilterShift = 19;

inline uint8_t Clamp_Byte(int v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// The luma byte of one pixel. The 15-bit intermediates never exceed 32767,
// where swscale would clamp them.
inline uint8_t Luma(int b, int g, int r, bool full_range) {
  int y = 2 * ((kRy * r + kGy * g + kBy * b + kLumaRounding) >> kLumaShift);
  if (full_range)
    y = (std::min(y, kLumaFullLimit) * kLumaFullScale - kLumaFullOffset) >> kLumaFullShift;
  return Clamp_Byte((y + kSampleRounding) >> kSampleShift);
}

// One 15-bit chroma sample of a pair of pixels, from the sums of their
// components and the chroma's coefficients.
inline int16_t Chroma(int b, int g, int r, int cb, int cg, int cr, bool full_range) {
  int c = 2 * ((cr * r + cg * g + cb * b + kChromaRounding) >> kChromaShift);
  if (full_range)
    c = (std::min(c, kChromaFullLimit) * kChromaFullScale - kChromaFullOffset) >> kChromaFullShift;
  return static_cast<int16_t>(c);
}

// The chroma samples of pixel pairs first..last - 1 of a row.
inline void Chroma_Pairs(const uint8_t* bgr, int first, int last, bool full_range, int16_t* u,
                         int16_t* v) {
  for (int i = first; i < last; ++i) {
    const uint8_t* pair = bgr + 6 * i;
    const int b = pair[0] + pair[3], g = pair[1] + pair[4], r = pair[2] + pair[5];
    u[i] = Chroma(b, g, r, kBu, kGu, kRu, full_range);
    v[i] = Chroma(b, g, r, kBv, kGv, kRv, full_range);
  }
}

// For the vectorised kernels.

// pmaddwd's pair of 16-bit factors in one 32-bit lane: `low` for the even
// word, `high` for the odd one.
constexpr int32_t Word_Pair(int low, int high) {
  return static_cast<int32_t>((static_cast<uint32_t>(high) << 16) |
                              (static_cast<uint32_t>(low) & 0xFFFF));
}

// The luma rounding as a product of 16-bit factors, so that B and a
// constant term share a pmaddwd lane pair.
constexpr int kLumaRoundingTerm = 32, kLumaRoundingFactor = 0x4008;
static_assert(kLumaRoundingTerm * kLumaRoundingFactor == kLumaRounding);

// The pshufb orders that put byte `component` (0 B, 1 G, 2 R) of eight
// pixels into 16-bit lanes, from the first 16 of their 24 bytes (part 0) or
// the last 8 (part 1); the bytes of the other part become 0.
struct ComponentOrders {
  alignas(16) int8_t bytes[3][2][16];
};

constexpr ComponentOrders Make_Component_Orders() {
  ComponentOrders orders{};
  for (int component = 0; component < 3; ++component) {
    for (int part = 0; part < 2; ++part) {
      for (int p = 0; p < 8; ++p) {
        const int byte = 3 * p + component - 16 * part;
        orders.bytes[component][part][2 * p] =
            static_cast<int8_t>(byte >= 0 && byte < 16 ? byte : -128);
        orders.bytes[component][part][2 * p + 1] = -128;
      }
    }
  }
  return orders;
}

inline constexpr ComponentOrders kComponentOrders = Make_Component_Orders();

// A filter's rows and weights in pairs, for pmaddwd on the rows' samples
// interleaved; an odd last row pairs with itself at weight 0.
struct TapPairs {
  TapPairs(const int16_t* const* taps_rows, const int16_t* taps_weights, int taps)
      : count((taps + 1) / 2) {
    for (int k = 0; k < 2 * count; ++k) rows[k] = taps_rows[k < taps ? k : taps - 1];
    for (int k = 0; k < count; ++k)
      factors[k] = Word_Pair(taps_weights[2 * k], 2 * k + 1 < taps ? taps_weights[2 * k + 1] : 0);
  }

  int count;
  const int16_t* rows[kMaxFilterTaps];
  int32_t factors[kMaxFilterTaps / 2];
};

// The chroma byte at column x of `taps` rows weighted by `weights`.
inline uint8_t Filtered(const int16_t* const* rows, const int16_t* weights, int taps, int x) {
  int sum = kFilterRounding;
  for (int k = 0; k < taps; ++k) sum += rows[k][x] * weights[k];
  return Clamp_Byte(sum >> kFilterShift);
}

}  // namespace yuv420
