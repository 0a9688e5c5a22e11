#include "decoder/prediction.h"

#include <emmintrin.h>

#include <cstddef>

// The prediction loops in SSE2 registers, one row of 8 or 16 samples per
// step. The rounded average of two bytes, (a + b + 1) >> 1, is pavgb
// exactly; the four-sample case is built from three such averages with the
// one correction that makes it exact (see Average4). Every load stays inside
// the samples the portable loop reads, and each source row is loaded once.

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

// One row of the source and what the four-sample case needs of it: the
// rounded average of each sample and its right neighbour, and whether that
// average rounded up (the low bit of a ^ b).
struct HalfSampleRow {
  __m128i average;
  __m128i rounded;
};

inline HalfSampleRow Horizontal_Pairs(__m128i a, __m128i b) {
  return {_mm_avg_epu8(a, b), _mm_xor_si128(a, b)};
}

// (a + b + c + d + 2) >> 2 from the two rows' p = avg(a, b) and q = avg(c, d),
// each rounded up by pavgb: avg(p, q) is one too high exactly when p + q is
// odd and a rounding already happened in p or q (a + b or c + d odd).
inline __m128i Average4(const HalfSampleRow& upper, const HalfSampleRow& lower) {
  const __m128i p = upper.average, q = lower.average;
  const __m128i rounded = _mm_or_si128(upper.rounded, lower.rounded);
  const __m128i odd = _mm_and_si128(_mm_and_si128(rounded, _mm_xor_si128(p, q)), _mm_set1_epi8(1));
  return _mm_sub_epi8(_mm_avg_epu8(p, q), odd);
}

// The h rows of one prediction. load(row, offset) reads source row `row`
// from `offset` samples on (rows 0..h, the last one only for a vertical half
// sample); destination(row) reads the row already there, for averaging;
// store(row, p) writes it. A source row read for the vertical neighbour
// serves again as the next row's own.
template <int kCase, bool kAverage, typename LoadRow, typename LoadDestination, typename StoreRow>
inline void Predict_Walk(LoadRow load, LoadDestination destination, StoreRow store, int h) {
  auto finish = [&](int row, __m128i p) {
    if constexpr (kAverage) p = _mm_avg_epu8(p, destination(row));
    store(row, p);
  };
  if constexpr (kCase == 0) {
    for (int row = 0; row < h; ++row) finish(row, load(row, 0));
  } else if constexpr (kCase == 1) {
    for (int row = 0; row < h; ++row) finish(row, _mm_avg_epu8(load(row, 0), load(row, 1)));
  } else if constexpr (kCase == 2) {
    __m128i upper = load(0, 0);
    for (int row = 0; row < h; ++row) {
      const __m128i lower = load(row + 1, 0);
      finish(row, _mm_avg_epu8(upper, lower));
      upper = lower;
    }
  } else {
    HalfSampleRow upper = Horizontal_Pairs(load(0, 0), load(0, 1));
    for (int row = 0; row < h; ++row) {
      const HalfSampleRow lower = Horizontal_Pairs(load(row + 1, 0), load(row + 1, 1));
      finish(row, Average4(upper, lower));
      upper = lower;
    }
  }
}

template <int kCase, bool kAverage, int kWidth>
struct Predict_Rows {
  static void Run(uint8_t* destination, const uint8_t* source, int pitch, int h) {
    const std::ptrdiff_t step = pitch;
    Predict_Walk<kCase, kAverage>(
        [=](int row, int offset) { return Load<kWidth>(source + row * step + offset); },
        [=](int row) { return Load<kWidth>(destination + row * step); },
        [=](int row, __m128i p) { Store<kWidth>(destination + row * step, p); }, h);
  }
};

// Two planes' rows of 8 samples in the two halves of a register.
inline __m128i Load_Pair(const uint8_t* low, const uint8_t* high) {
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(low)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(high)));
}

template <int kCase, bool kAverage>
struct Predict_Rows_Pair {
  static void Run(uint8_t* dst0, const uint8_t* src0, uint8_t* dst1, const uint8_t* src1, int pitch,
                  int h) {
    const std::ptrdiff_t step = pitch;
    Predict_Walk<kCase, kAverage>(
        [=](int row, int offset) {
          return Load_Pair(src0 + row * step + offset, src1 + row * step + offset);
        },
        [=](int row) { return Load_Pair(dst0 + row * step, dst1 + row * step); },
        [=](int row, __m128i p) {
          _mm_storel_epi64(reinterpret_cast<__m128i*>(dst0 + row * step), p);
          _mm_storel_epi64(reinterpret_cast<__m128i*>(dst1 + row * step), _mm_unpackhi_epi64(p, p));
        },
        h);
  }
};

}  // namespace

const PredictionKernels prediction_kernels_sse2 =
    Make_Prediction_Kernels<Predict_Rows, Predict_Rows_Pair>();
