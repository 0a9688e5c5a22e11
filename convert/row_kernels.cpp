#include "convert/row_kernels.h"

#include <algorithm>
#include <cstddef>

#include "convert/yuv_to_bgr_terms.h"

namespace {

uint8_t Clamp_To_Byte(int32_t value) {
  return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// 4:2:0 -> 4:2:2 for a progressive picture: each output row lies a quarter of
// an input row above or below its input row.
void Vertical_420_To_422_Progressive(const uint8_t* in, uint8_t* out, int width, int height) {
  for (int r = 0; r < height; ++r) {
    const ProgressiveRows rows = Progressive_Rows(in, out, width, height, r);
    const uint8_t *above = rows.above, *centre = rows.centre, *below = rows.below;
    uint8_t *upper = rows.out[0], *lower = rows.out[1];
    for (int x = 0; x < width; ++x) {
      const unsigned c3 = 3u * centre[x];
      upper[x] = static_cast<uint8_t>((above[x] + c3 + 2) >> 2);
      lower[x] = static_cast<uint8_t>((c3 + below[x] + 2) >> 2);
    }
  }
}

// 4:2:0 -> 4:2:2 for an interlaced picture: each field is interpolated from
// its own lines only, with the weights that follow from the field lines'
// vertical positions.
void Vertical_420_To_422_Fieldwise(const uint8_t* in, uint8_t* out, int width, int height) {
  for (int p = 0; p < height / 2; ++p) {
    const FieldwiseRows rows = Fieldwise_Rows(in, out, width, height, p);
    const uint8_t *top_above = rows.top_above, *bottom_above = rows.bottom_above;
    const uint8_t *top = rows.top, *bottom = rows.bottom;
    const uint8_t *top_below = rows.top_below, *bottom_below = rows.bottom_below;
    uint8_t *out0 = rows.out[0], *out1 = rows.out[1], *out2 = rows.out[2], *out3 = rows.out[3];
    for (int x = 0; x < width; ++x) {
      out0[x] = static_cast<uint8_t>((top_above[x] + 7u * top[x] + 4) >> 3);
      out1[x] = static_cast<uint8_t>((3u * bottom_above[x] + 5u * bottom[x] + 4) >> 3);
      out2[x] = static_cast<uint8_t>((5u * top[x] + 3u * top_below[x] + 4) >> 3);
      out3[x] = static_cast<uint8_t>((7u * bottom[x] + bottom_below[x] + 4) >> 3);
    }
  }
}

void Horizontal_422_To_444_MPEG1(const uint8_t* in, uint8_t* out, int count) {
  for (int i = 0; i < count; ++i) {
    const int32_t left = in[i > 0 ? i - 1 : 0];
    const int32_t centre = in[i];
    const int32_t right = in[i < count - 1 ? i + 1 : count - 1];
    out[2 * i] = Clamp_To_Byte((64 * left + 224 * centre - 32 * right) >> 8);
    out[2 * i + 1] = Clamp_To_Byte((224 * centre + 64 * right - 32 * left) >> 8);
  }
}

void Horizontal_422_To_444_MPEG2(const uint8_t* in, uint8_t* out, int count) {
  for (int i = 0; i < count; ++i) {
    const unsigned right = in[i < count - 1 ? i + 1 : count - 1];
    out[2 * i] = in[i];
    out[2 * i + 1] = static_cast<uint8_t>((in[i] + right + 1) >> 1);
  }
}

// With samples 0..255 and the coefficients of the colour table every sum
// stays far inside 32 bits.
void YUV_To_BGR_Row(uint8_t* __restrict dest, const uint8_t* __restrict luma,
                    const uint8_t* __restrict cb, const uint8_t* __restrict cr, int width,
                    const ColourCoefficients& coefficients) {
  // Local copies: stores through the byte pointer could otherwise alias the
  // coefficients and force a reload for every pixel.
  const int32_t cb_to_b = coefficients.cb_to_b;
  const int32_t cb_to_g = coefficients.cb_to_g;
  const int32_t cr_to_g = coefficients.cr_to_g;
  const int32_t cr_to_r = coefficients.cr_to_r;
  for (int x = 0; x < width; ++x) {
    const int32_t t = (static_cast<int32_t>(luma[x]) - LUMA_OFFSET) * LUMA_GAIN + COLOUR_ROUNDING;
    const int32_t u = static_cast<int32_t>(cb[x]) - CHROMA_OFFSET;
    const int32_t v = static_cast<int32_t>(cr[x]) - CHROMA_OFFSET;
    // >> on a negative int is an arithmetic shift (rounds towards minus
    // infinity), which the clamp then takes to 0.
    dest[3 * x] = Clamp_To_Byte((t + cb_to_b * u) >> 16);
    dest[3 * x + 1] = Clamp_To_Byte((t - cr_to_g * v - cb_to_g * u) >> 16);
    dest[3 * x + 2] = Clamp_To_Byte((t + cr_to_r * v) >> 16);
  }
}

void Blend_Rows_Portable(uint8_t* dest, const uint8_t* a, const uint8_t* b, int weight,
                         int length) {
  // The largest sum, 255 * 256 + 128, fits 16 bits.
  const unsigned wa = 256u - static_cast<unsigned>(weight);
  const unsigned wb = static_cast<unsigned>(weight);
  for (int i = 0; i < length; ++i) {
    dest[i] = static_cast<uint8_t>((a[i] * wa + b[i] * wb + 128) >> 8);
  }
}

void Filter_Rows_121_Portable(uint8_t* dest, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                              int length) {
  for (int i = 0; i < length; ++i) {
    dest[i] = static_cast<uint8_t>((a[i] + 2u * b[i] + c[i]) >> 2);
  }
}

constexpr ChromaUpsampleKernels PORTABLE_CHROMA_UPSAMPLE = {
    &Vertical_420_To_422_Progressive,
    &Vertical_420_To_422_Fieldwise,
    &Horizontal_422_To_444_MPEG1,
    &Horizontal_422_To_444_MPEG2,
};
constexpr ColourConvertKernels PORTABLE_COLOUR_CONVERT = {&YUV_To_BGR_Row};
constexpr RowBlendKernels PORTABLE_ROW_BLEND = {&Blend_Rows_Portable, &Filter_Rows_121_Portable};

}  // namespace

ProgressiveRows Progressive_Rows(const uint8_t* in, uint8_t* out, int width, int height, int r) {
  auto row = [&](int k) {
    return in + static_cast<ptrdiff_t>(std::clamp(k, 0, height - 1)) * width;
  };
  ProgressiveRows rows;
  rows.above = row(r - 1);
  rows.centre = row(r);
  rows.below = row(r + 1);
  rows.out[0] = out + static_cast<ptrdiff_t>(2 * r) * width;
  rows.out[1] = rows.out[0] + width;
  return rows;
}

FieldwiseRows Fieldwise_Rows(const uint8_t* in, uint8_t* out, int width, int height, int p) {
  auto row = [&](int r) {
    // Out-of-plane rows become the nearest row of the same parity.
    if (r < 0) r += 2;
    if (r >= height) r -= 2;
    return in + static_cast<ptrdiff_t>(r) * width;
  };
  FieldwiseRows rows;
  rows.top_above = row(2 * p - 2);
  rows.bottom_above = row(2 * p - 1);
  rows.top = row(2 * p);
  rows.bottom = row(2 * p + 1);
  rows.top_below = row(2 * p + 2);
  rows.bottom_below = row(2 * p + 3);
  for (int k = 0; k < 4; ++k) rows.out[k] = out + static_cast<ptrdiff_t>(4 * p + k) * width;
  return rows;
}

ColourTerms Colour_Terms(const ColourCoefficients& c) {
  // Taken modulo 2^32 (64-bit sums, narrowed), so no coefficient can make
  // this overflow.
  auto wrap = [](int64_t v) { return static_cast<int32_t>(v); };
  const int64_t luma_base = int64_t{COLOUR_ROUNDING} - int64_t{LUMA_OFFSET} * LUMA_GAIN;
  ColourTerms terms;
  terms.b_from_cb = c.cb_to_b;
  terms.g_from_cb = wrap(-int64_t{c.cb_to_g});
  terms.g_from_cr = wrap(-int64_t{c.cr_to_g});
  terms.r_from_cr = c.cr_to_r;
  terms.b_constant = wrap(luma_base - int64_t{CHROMA_OFFSET} * c.cb_to_b);
  terms.g_constant = wrap(luma_base + int64_t{CHROMA_OFFSET} * (int64_t{c.cr_to_g} + c.cb_to_g));
  terms.r_constant = wrap(luma_base - int64_t{CHROMA_OFFSET} * c.cr_to_r);
  return terms;
}

const ChromaUpsampleKernels portable_chroma_upsample_kernels = PORTABLE_CHROMA_UPSAMPLE;
const ColourConvertKernels portable_colour_convert_kernels = PORTABLE_COLOUR_CONVERT;
const RowBlendKernels portable_row_blend_kernels = PORTABLE_ROW_BLEND;

// Constant-initialised, so the tables are ready before any static constructor
// of another unit could use them.
constinit ChromaUpsampleKernels chroma_upsample_kernels = PORTABLE_CHROMA_UPSAMPLE;
constinit ColourConvertKernels colour_convert_kernels = PORTABLE_COLOUR_CONVERT;
constinit RowBlendKernels row_blend_kernels = PORTABLE_ROW_BLEND;
