#include "convert/row_kernels.h"

#include <immintrin.h>

#include <cstddef>

#include "convert/yuv_to_bgr_terms.h"

// YUV to B, G, R in AVX-512 registers, 64 pixels per step: the folded colour
// formula in 32-bit lanes (exact, see ColourTerms), saturating packs to bytes
// (within each 128-bit quarter, which keeps the pixel order), then two byte
// permutes (VBMI) per 64 output bytes: B and G from two registers at once, R
// merged into the remaining bytes. Rows shorter than a step go to the AVX2
// kernel. Only intrinsics and this unit's own functions are used here, so no
// code built for AVX-512 can stand in for a shared inline function elsewhere.

namespace {

constexpr int kStep = 64;

// Output register `part` (0..2) of 64 packed pixels: byte j is byte
// 64 * part + j of B0 G0 R0 B1 ... R63.
struct BgrPermute {
  int8_t blue_green[3][64];  // index into B (0..63) or G (64..127)
  int8_t red[3][64];         // index into R where red_bytes is set
  uint64_t red_bytes[3];
};

constexpr BgrPermute Make_Bgr_Permute() {
  BgrPermute permute{};
  for (int part = 0; part < 3; ++part) {
    for (int j = 0; j < 64; ++j) {
      const int byte = 64 * part + j;
      const int pixel = byte / 3;
      const int channel = byte % 3;
      permute.blue_green[part][j] = static_cast<int8_t>(channel == 1 ? 64 + pixel : pixel);
      permute.red[part][j] = static_cast<int8_t>(pixel);
      if (channel == 2) permute.red_bytes[part] |= uint64_t{1} << j;
    }
  }
  return permute;
}
constexpr BgrPermute kBgrPermute = Make_Bgr_Permute();

// The 64 bytes at p widened to four registers of 32-bit lanes, in the order
// that the packs below undo.
inline void Widen(const uint8_t* p, __m512i (&wide)[4]) {
  const __m512i bytes = _mm512_loadu_si512(p);
  const __m512i zero = _mm512_setzero_si512();
  const __m512i low = _mm512_unpacklo_epi8(bytes, zero);
  const __m512i high = _mm512_unpackhi_epi8(bytes, zero);
  wide[0] = _mm512_unpacklo_epi16(low, zero);
  wide[1] = _mm512_unpackhi_epi16(low, zero);
  wide[2] = _mm512_unpacklo_epi16(high, zero);
  wide[3] = _mm512_unpackhi_epi16(high, zero);
}

inline __m512i Narrow(const __m512i (&sums)[4]) {
  auto descale = [](__m512i v) { return _mm512_srai_epi32(v, 16); };
  return _mm512_packus_epi16(_mm512_packs_epi32(descale(sums[0]), descale(sums[1])),
                             _mm512_packs_epi32(descale(sums[2]), descale(sums[3])));
}

void YUV_To_BGR_Row(uint8_t* dest, const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                    int width, const ColourCoefficients& coefficients) {
  if (width < kStep) {
    colour_convert_kernels_avx2.yuv_to_bgr_row(dest, luma, cb, cr, width, coefficients);
    return;
  }
  const ColourTerms terms = Colour_Terms(coefficients);
  const __m512i luma_gain = _mm512_set1_epi32(LUMA_GAIN);
  const __m512i b_from_cb = _mm512_set1_epi32(terms.b_from_cb);
  const __m512i g_from_cb = _mm512_set1_epi32(terms.g_from_cb);
  const __m512i g_from_cr = _mm512_set1_epi32(terms.g_from_cr);
  const __m512i r_from_cr = _mm512_set1_epi32(terms.r_from_cr);
  const __m512i b_constant = _mm512_set1_epi32(terms.b_constant);
  const __m512i g_constant = _mm512_set1_epi32(terms.g_constant);
  const __m512i r_constant = _mm512_set1_epi32(terms.r_constant);
  __m512i blue_green[3], red[3];
  for (int part = 0; part < 3; ++part) {
    blue_green[part] = _mm512_loadu_si512(kBgrPermute.blue_green[part]);
    red[part] = _mm512_loadu_si512(kBgrPermute.red[part]);
  }

  auto step = [&](int x) {
    __m512i y[4], u[4], v[4];
    Widen(luma + x, y);
    Widen(cb + x, u);
    Widen(cr + x, v);
    __m512i b[4], g[4], r[4];
    for (int k = 0; k < 4; ++k) {
      const __m512i t = _mm512_mullo_epi32(y[k], luma_gain);
      b[k] = _mm512_add_epi32(_mm512_add_epi32(t, b_constant), _mm512_mullo_epi32(u[k], b_from_cb));
      g[k] = _mm512_add_epi32(_mm512_add_epi32(t, g_constant),
                              _mm512_add_epi32(_mm512_mullo_epi32(u[k], g_from_cb),
                                               _mm512_mullo_epi32(v[k], g_from_cr)));
      r[k] = _mm512_add_epi32(_mm512_add_epi32(t, r_constant), _mm512_mullo_epi32(v[k], r_from_cr));
    }
    const __m512i blue = Narrow(b), green = Narrow(g), reds = Narrow(r);
    uint8_t* out = dest + 3 * static_cast<std::ptrdiff_t>(x);
    for (int part = 0; part < 3; ++part) {
      const __m512i two = _mm512_permutex2var_epi8(blue, blue_green[part], green);
      _mm512_storeu_si512(out + 64 * part, _mm512_mask_permutexvar_epi8(
                                               two, kBgrPermute.red_bytes[part], red[part], reds));
    }
  };
  int x = 0;
  for (; x + kStep <= width; x += kStep) step(x);
  // The last step ends at the row end, recomputing a few pixels alike.
  if (x < width) step(width - kStep);
}

}  // namespace

const ColourConvertKernels colour_convert_kernels_avx512 = {&YUV_To_BGR_Row};
