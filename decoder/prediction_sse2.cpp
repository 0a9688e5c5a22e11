#include "decoder/prediction.h"

#include <emmintrin.h>

#include <cstddef>

// The prediction loops in SSE2 registers, one row of 8 or 16 samples per
// step. The rounded average of two bytes, (a + b + 1) >> 1, is pavgb
// exactly; the four-sample case is built from three such averages with the
// one correction that makes it exact (see Average4). Every load stays inside
// the samples the portable loop reads.

namespace {

template <int kWidth>
inline __m128i Load(const uint8_t* p) {
  if constexpr (kWidth == 16) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  } else {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  }
}

template <int kWidth>
inline void Store(uint8_t* p, __m128i v) {
  if constexpr (kWidth == 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  } else {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
  }
}

// (a + b + c + d + 2) >> 2 from p = avg(a, b) and q = avg(c, d), each
// rounded up by pavgb: avg(p, q) is one too high exactly when p + q is odd
// and a rounding already happened in p or q (a + b or c + d odd).
inline __m128i Average4(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i p = _mm_avg_epu8(a, b);
  const __m128i q = _mm_avg_epu8(c, d);
  const __m128i rounded = _mm_or_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d));
  const __m128i odd = _mm_and_si128(_mm_and_si128(rounded, _mm_xor_si128(p, q)), _mm_set1_epi8(1));
  return _mm_sub_epi8(_mm_avg_epu8(p, q), odd);
}

// One row's prediction from the rows `src` and `src + pitch`, in the lanes
// that Load fills; `dst` only for averaging.
template <int kCase, bool kAverage, typename LoadRow>
inline __m128i Predict_Row(LoadRow load, std::ptrdiff_t pitch, __m128i dst) {
  __m128i p;
  if constexpr (kCase == 0) {
    p = load(0);
  } else if constexpr (kCase == 1) {
    p = _mm_avg_epu8(load(0), load(1));
  } else if constexpr (kCase == 2) {
    p = _mm_avg_epu8(load(0), load(pitch));
  } else {
    p = Average4(load(0), load(1), load(pitch), load(pitch + 1));
  }
  if constexpr (kAverage) p = _mm_avg_epu8(p, dst);
  return p;
}

template <int kCase, bool kAverage, int kWidth>
struct Predict_Rows {
  static void Run(uint8_t* destination, const uint8_t* source, int pitch, int h) {
    for (int row = 0; row < h; ++row) {
      const uint8_t* src = source + static_cast<std::ptrdiff_t>(row) * pitch;
      uint8_t* dst = destination + static_cast<std::ptrdiff_t>(row) * pitch;
      auto load = [src](std::ptrdiff_t offset) { return Load<kWidth>(src + offset); };
      const __m128i d = kAverage ? Load<kWidth>(dst) : __m128i{};
      Store<kWidth>(dst, Predict_Row<kCase, kAverage>(load, pitch, d));
    }
  }
};

// Two planes' rows of 8 samples in the two halves of a register.
inline __m128i Load_Pair(const uint8_t* low, const uint8_t* high) {
  const __m128i l = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(low));
  return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(l), reinterpret_cast<const double*>(high)));
}

template <int kCase, bool kAverage>
struct Predict_Rows_Pair {
  static void Run(uint8_t* dst0, const uint8_t* src0, uint8_t* dst1, const uint8_t* src1, int pitch,
                  int h) {
    for (int row = 0; row < h; ++row) {
      const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(row) * pitch;
      const uint8_t* s0 = src0 + offset;
      const uint8_t* s1 = src1 + offset;
      auto load = [s0, s1](std::ptrdiff_t at) { return Load_Pair(s0 + at, s1 + at); };
      const __m128i d = kAverage ? Load_Pair(dst0 + offset, dst1 + offset) : __m128i{};
      const __m128i p = Predict_Row<kCase, kAverage>(load, pitch, d);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dst0 + offset), p);
      _mm_storeh_pd(reinterpret_cast<double*>(dst1 + offset), _mm_castsi128_pd(p));
    }
  }
};

}  // namespace

const PredictionKernels prediction_kernels_sse2 =
    Make_Prediction_Kernels<Predict_Rows, Predict_Rows_Pair>();
