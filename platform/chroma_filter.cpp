#include "platform/chroma_filter.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kWeightOne = 4096;
// Sample positions in 1/256 of a row from the ideal top edge: source rows
// and the chroma rows of 4:2:0 are both centred.
constexpr int64_t kCentre = 128;
// The bicubic kernel's free parameter (the other, B, is 0), in 1/2^24.
const int64_t kBicubicC = static_cast<int64_t>(0.6 * (1 << 24));
// Weights whose sum stays below this share of one may be dropped from the
// ends of a filter.
constexpr double kDropShare = 0.002;

int64_t Rounded_Div(int64_t a, int64_t b) {
  return (a >= 0 ? a + b / 2 : a - b / 2) / b;
}

int Floor_Log2(int v) {
  int n = 0;
  while (v >>= 1) ++n;
  return n;
}

// The bicubic kernel at distance d (2^30 = one source row), scaled so
// that one is `one`.
int64_t Bicubic(int64_t d, int64_t one) {
  if (d >= int64_t{1} << 31) return 0;
  const int64_t dd = (d * d) >> 30;
  const int64_t ddd = (dd * d) >> 30;
  const int64_t c = kBicubicC;
  int64_t weight;
  if (d < int64_t{1} << 30) {
    weight = (12 * (1 << 24) - 6 * c) * ddd + (-18 * (1 << 24) + 6 * c) * dd +
             6 * (int64_t{1} << 24) * (int64_t{1} << 30);
  } else {
    weight = (-6 * c) * ddd + 30 * c * dd - 48 * c * d + 24 * c * (int64_t{1} << 30);
  }
  return weight / ((int64_t{1} << 54) / one);
}

}  // namespace

ChromaFilter Halving_Chroma_Filter(int rows) {
  const int out_rows = (rows + 1) / 2;
  // The step between chroma rows in source rows, in 1/65536.
  const int64_t step = ((int64_t{rows} << 16) + out_rows / 2) / out_rows;
  // Fixed-point one of the unnormalised weights.
  const int64_t one = int64_t{1} << (54 - std::min(Floor_Log2(rows / out_rows), 8));

  int size;
  std::vector<int64_t> weights;
  std::vector<int> first(static_cast<size_t>(out_rows));
  if (std::llabs(step - 0x10000) < 10) {
    // As many chroma rows as rows (a picture of one row): copied.
    size = 1;
    weights.assign(static_cast<size_t>(out_rows), one);
    for (int i = 0; i < out_rows; ++i) first[static_cast<size_t>(i)] = i;
  } else {
    size = std::max(std::min(1 + (4 * rows + out_rows - 1) / out_rows, rows - 2), 1);
    weights.assign(static_cast<size_t>(out_rows) * static_cast<size_t>(size), 0);
    // The centre of each chroma row in source rows, in 1/131072.
    int64_t centre = ((kCentre * step) >> 7) - ((kCentre * 0x10000) >> 7);
    for (int i = 0; i < out_rows; ++i) {
      int row = static_cast<int>((centre - (size - 2) * (int64_t{1} << 16)) / (1 << 17));
      first[static_cast<size_t>(i)] = row;
      for (int j = 0; j < size; ++j, ++row) {
        const int64_t d = (std::llabs(int64_t{row} * (1 << 17) - centre) << 13) * out_rows / rows;
        weights[static_cast<size_t>(i * size + j)] = Bicubic(d, one);
      }
      centre += 2 * step;
    }
  }
  auto at = [&](int i, int j) -> int64_t& { return weights[static_cast<size_t>(i * size + j)]; };

  // Drop near-zero weights from the start (moving the filter down, without
  // overtaking the next row's) and count those at the end.
  int taps = 0;
  for (int i = out_rows - 1; i >= 0; --i) {
    int64_t cut = 0;
    for (int j = 0; j < size; ++j) {
      cut += std::llabs(at(i, 0));
      if (cut > kDropShare * one) break;
      if (i < out_rows - 1 && first[static_cast<size_t>(i)] >= first[static_cast<size_t>(i + 1)])
        break;
      for (int k = 1; k < size; ++k) at(i, k - 1) = at(i, k);
      at(i, size - 1) = 0;
      ++first[static_cast<size_t>(i)];
    }
    int kept = size;
    cut = 0;
    for (int j = size - 1; j > 0; --j) {
      cut += std::llabs(at(i, j));
      if (cut > kDropShare * one) break;
      --kept;
    }
    taps = std::max(taps, kept);
  }

  ChromaFilter filter;
  filter.taps = taps;
  filter.weights.resize(static_cast<size_t>(out_rows) * static_cast<size_t>(taps));
  std::vector<int64_t> row_weights(static_cast<size_t>(taps));
  for (int i = 0; i < out_rows; ++i) {
    int& top = first[static_cast<size_t>(i)];
    for (int j = 0; j < taps; ++j) row_weights[static_cast<size_t>(j)] = j < size ? at(i, j) : 0;
    auto w = [&](int j) -> int64_t& { return row_weights[static_cast<size_t>(j)]; };
    // Taps above the first row fold onto it ...
    if (top < 0) {
      for (int j = 1; j < taps; ++j) {
        const int to = std::max(j + top, 0);
        w(to) += w(j);
        w(j) = 0;
      }
      top = 0;
    }
    // ... and taps below the last row onto that.
    if (top + taps > rows) {
      const int shift = top + std::min(taps - rows, 0);
      int64_t below = 0;
      for (int j = taps - 1; j >= 0; --j) {
        if (top + j >= rows) {
          below += w(j);
          w(j) = 0;
        }
      }
      for (int j = taps - 1; j >= 0; --j) w(j) = j < shift ? 0 : w(j - shift);
      top -= shift;
      w(rows - 1 - top) += below;
    }
    // Normalise to kWeightOne, carrying each weight's rounding error to the
    // next.
    int64_t sum = 0;
    for (int j = 0; j < taps; ++j) sum += w(j);
    sum = std::max<int64_t>((sum + kWeightOne / 2) / kWeightOne, 1);
    int64_t error = 0;
    for (int j = 0; j < taps; ++j) {
      const int64_t v = w(j) + error;
      const int64_t normalised = Rounded_Div(v, sum);
      filter.weights[static_cast<size_t>(i * taps + j)] = static_cast<int16_t>(normalised);
      error = v - normalised * sum;
    }
  }
  filter.first_row = std::move(first);
  return filter;
}
