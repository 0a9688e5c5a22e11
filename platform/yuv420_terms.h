// The fixed-point terms shared by the portable and the vectorised kernels of
// platform/yuv420_kernels.h: libswscale's BT.601 coefficients in 1/32768
// and its range expansion for full-range output.
#pragma once

#include <algorithm>
#include <cstdint>

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

// Full range: 15-bit limited-range samples stretched to full range.
constexpr int kLumaFullLimit = 30189, kLumaFullScale = 19077, kLumaFullOffset = 39057361;
constexpr int kChromaFullLimit = 30775, kChromaFullScale = 4663, kChromaFullOffset = 9289992;

constexpr int kLumaFullShift = 14, kChromaFullShift = 12;

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

// The chroma byte at column x of `taps` rows weighted by `weights`.
inline uint8_t Filtered(const int16_t* const* rows, const int16_t* weights, int taps, int x) {
  int sum = kFilterRounding;
  for (int k = 0; k < taps; ++k) sum += rows[k][x] * weights[k];
  return Clamp_Byte(sum >> kFilterShift);
}

}  // namespace yuv420
