// The inverse DCT kernels: exact agreement with the integer steps of the
// transform (computed here independently, constants derived from their
// trigonometric definitions), the DC-only shortcuts bit-identical to the full
// kernels, writes confined to the 8x8 area, and closeness to a true IDCT.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "decoder/idct.h"

namespace {

using Block = std::array<int16_t, 64>;

// ---------------------------------------------------------------------------
// Independent model of the transform, written straight from its definition.

double K(int n) {
  return n == 4 ? 1.0 : std::numbers::sqrt2 * std::cos(n * std::numbers::pi / 16.0);
}

// Row multiplier W(n) for row v: round(16384 * k(r) * k(n)), where r is the
// row's frequency folded onto 1..4 (rows 0 and 4 use r = 4).
int64_t RowConstant(int v, int n) {
  static const int kRowFactor[8] = {4, 1, 2, 3, 4, 3, 2, 1};
  return std::lround(16384.0 * K(kRowFactor[v]) * K(n));
}

int64_t Wrap32(int64_t v) {
  v &= 0xFFFFFFFF;
  return v >= 0x80000000 ? v - 0x100000000 : v;
}
int64_t Wrap16(int64_t v) {
  v &= 0xFFFF;
  return v >= 0x8000 ? v - 0x10000 : v;
}
int64_t Sat16(int64_t v) {
  return std::clamp<int64_t>(v, -32768, 32767);
}
// Arithmetic shift right, written as floor division.
int64_t Shr(int64_t v, int n) {
  int64_t d = int64_t{1} << n;
  return v >= 0 ? v / d : -((-v + d - 1) / d);
}
int64_t Mulhi(int64_t a, int64_t b) {
  return Shr(a * b, 16);
}

// The 64 outputs (-1024..1023) of the transform, row-major.
std::array<int64_t, 64> ReferenceTransform(const Block& in) {
  const int64_t t1 = std::lround(std::tan(std::numbers::pi / 16) * 65536);
  const int64_t t2 = std::lround(std::tan(2 * std::numbers::pi / 16) * 65536);
  const int64_t t3 = std::lround(std::tan(3 * std::numbers::pi / 16) * 65536) - 65536;
  const int64_t c4 = std::lround(std::cos(std::numbers::pi / 4) * 65536) - 65536;

  int64_t mid[64];
  for (int v = 0; v < 8; ++v) {
    const int16_t* x = &in[8 * v];
    const int64_t W1 = RowConstant(v, 1), W2 = RowConstant(v, 2), W3 = RowConstant(v, 3);
    const int64_t W4 = RowConstant(v, 4), W5 = RowConstant(v, 5), W6 = RowConstant(v, 6);
    const int64_t W7 = RowConstant(v, 7);
    int64_t a[4], b[4];
    a[0] = W4 * (x[0] + x[4]) + W2 * x[2] + W6 * x[6] + 2048;
    a[1] = W4 * (x[0] - x[4]) + W6 * x[2] - W2 * x[6] + 2048;
    a[2] = W4 * (x[0] - x[4]) - W6 * x[2] + W2 * x[6] + 2048;
    a[3] = W4 * (x[0] + x[4]) - W2 * x[2] - W6 * x[6] + 2048;
    b[0] = W1 * x[1] + W3 * x[3] + W5 * x[5] + W7 * x[7];
    b[1] = W3 * x[1] - W7 * x[3] - W1 * x[5] - W5 * x[7];
    b[2] = W5 * x[1] - W1 * x[3] + W7 * x[5] + W3 * x[7];
    b[3] = W7 * x[1] - W5 * x[3] + W3 * x[5] - W1 * x[7];
    for (int k = 0; k < 4; ++k) {
      mid[8 * v + k] = Sat16(Shr(Wrap32(a[k] + b[k]), 12));
      mid[8 * v + 7 - k] = Sat16(Shr(Wrap32(a[k] - b[k]), 12));
    }
  }

  std::array<int64_t, 64> out{};
  for (int c = 0; c < 8; ++c) {
    int64_t X[8];
    for (int r = 0; r < 8; ++r) X[r] = mid[8 * r + c];
    int64_t tp7 = Wrap16(X[1] + Mulhi(X[7], t1) + 1);
    int64_t tm1 = Wrap16(Mulhi(X[1], t1) - X[7]);
    int64_t tp3 = Wrap16(X[3] + X[5] + Mulhi(X[5], t3));
    int64_t tm3 = Wrap16(X[3] + Mulhi(X[3], t3) - X[5]);
    int64_t b0 = Wrap16(tp7 + tp3);
    int64_t b3 = Wrap16(tm1 - tm3);
    int64_t d = Wrap16(tp7 - tp3);
    int64_t e = Wrap16(tm1 + tm3);
    int64_t s = Wrap16(d + e);
    int64_t b1 = Wrap16(s + Wrap16(Mulhi(s, c4) | 1));
    int64_t t = Wrap16(d - e);
    int64_t b2 = Wrap16(t + Mulhi(t, c4) - 1);
    int64_t tp04 = Wrap16(X[0] + X[4]);
    int64_t tm04 = Wrap16(X[0] - X[4]);
    int64_t tp26 = Wrap16(X[2] + Mulhi(X[6], t2) + 1);
    int64_t tm26 = Wrap16(Mulhi(X[2], t2) + 1 - X[6]);
    int64_t a0 = Wrap16(tp04 + tp26);
    int64_t a3 = Wrap16(tp04 - tp26);
    int64_t a1 = Wrap16(tm04 + tm26);
    int64_t a2 = Wrap16(tm04 - tm26);
    out[8 * 0 + c] = Shr(Wrap16(a0 + b0 + 15), 5);
    out[8 * 7 + c] = Shr(Wrap16(a0 - b0 + 15), 5);
    out[8 * 1 + c] = Shr(Wrap16(a1 + b1 + 15), 5);
    out[8 * 6 + c] = Shr(Wrap16(a1 - b1 + 15), 5);
    out[8 * 2 + c] = Shr(Wrap16(a2 + b2 + 16), 5);
    out[8 * 5 + c] = Shr(Wrap16(a2 - b2 + 16), 5);
    out[8 * 3 + c] = Shr(Wrap16(a3 + b3 + 16), 5);
    out[8 * 4 + c] = Shr(Wrap16(a3 - b3 + 16), 5);
  }
  return out;
}

uint8_t Clip(int64_t v) {
  return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
}

std::array<uint8_t, 64> ReferencePut(const Block& in) {
  auto out = ReferenceTransform(in);
  std::array<uint8_t, 64> samples;
  for (int i = 0; i < 64; ++i) samples[i] = Clip(out[i] + 128);
  return samples;
}

std::array<uint8_t, 64> ReferenceAdd(const Block& in, const std::array<uint8_t, 64>& prediction) {
  auto out = ReferenceTransform(in);
  std::array<uint8_t, 64> samples;
  for (int i = 0; i < 64; ++i) samples[i] = Clip(prediction[i] + out[i]);
  return samples;
}

// ---------------------------------------------------------------------------
// Running the kernels on a packed 8x8 destination.

std::array<uint8_t, 64> RunPut(IdctFunction kernel, const Block& in) {
  std::array<uint8_t, 64> dst;
  dst.fill(0xA5);
  kernel(in.data(), dst.data(), 8);
  return dst;
}

std::array<uint8_t, 64> RunAdd(IdctFunction kernel, const Block& in,
                               const std::array<uint8_t, 64>& prediction) {
  std::array<uint8_t, 64> dst = prediction;
  kernel(in.data(), dst.data(), 8);
  return dst;
}

std::array<uint8_t, 64> RandomPrediction(std::mt19937& rng) {
  std::array<uint8_t, 64> p;
  for (auto& s : p) s = static_cast<uint8_t>(rng());
  return p;
}

// Random blocks of several kinds: dense within the dequantiser's range,
// sparse (a few coefficients, as most coded blocks are), the whole 16-bit
// range, and blocks of extreme values that stress the wrapping arithmetic.
std::vector<Block> TestBlocks() {
  std::mt19937 rng(1180);
  std::vector<Block> blocks;
  auto uniform = [&](int lo, int hi) {
    return static_cast<int16_t>(std::uniform_int_distribution<int>(lo, hi)(rng));
  };
  for (int n = 0; n < 3000; ++n) {
    Block b;
    for (auto& c : b) c = uniform(-2048, 2047);
    blocks.push_back(b);
  }
  for (int n = 0; n < 3000; ++n) {
    Block b{};
    int count = 1 + n % 6;
    for (int k = 0; k < count; ++k) b[rng() % 64] = uniform(-2048, 2047);
    blocks.push_back(b);
  }
  for (int n = 0; n < 3000; ++n) {
    Block b;
    for (auto& c : b) c = uniform(-32768, 32767);
    blocks.push_back(b);
  }
  for (int16_t value : {int16_t{2047}, int16_t{-2048}, int16_t{32767}, int16_t{-32768}}) {
    Block all;
    all.fill(value);
    blocks.push_back(all);
    Block checker;
    for (int i = 0; i < 64; ++i) checker[i] = ((i / 8 + i % 8) % 2) ? value : -value - 1;
    blocks.push_back(checker);
    for (int i = 0; i < 64; ++i) {
      Block single{};
      single[i] = value;
      blocks.push_back(single);
    }
  }
  for (int n = 0; n < 1000; ++n) {
    Block b;
    for (auto& c : b) c = (rng() & 1) ? int16_t{32767} : int16_t{-32768};
    blocks.push_back(b);
  }
  return blocks;
}

// ---------------------------------------------------------------------------

TEST(IdctKernels, FullKernelsMatchTheIntegerDefinition) {
  std::mt19937 rng(7);
  for (const Block& b : TestBlocks()) {
    ASSERT_EQ(RunPut(Idct_8x8_Put_C, b), ReferencePut(b));
    auto prediction = RandomPrediction(rng);
    ASSERT_EQ(RunAdd(Idct_8x8_Add_C, b, prediction), ReferenceAdd(b, prediction));
  }
}

TEST(IdctKernels, DcKernelsEqualFullKernelsForEveryDcValue) {
  // Predictions that reach both clamping ends and the middle.
  std::array<uint8_t, 64> prediction;
  for (int i = 0; i < 64; ++i) prediction[i] = static_cast<uint8_t>(i * 255 / 63);
  for (int dc = -32768; dc <= 32767; ++dc) {
    Block b{};
    b[0] = static_cast<int16_t>(dc);
    ASSERT_EQ(RunPut(Idct_8x8_Put_Dc_C, b), RunPut(Idct_8x8_Put_C, b)) << "DC " << dc;
    ASSERT_EQ(RunAdd(Idct_8x8_Add_Dc_C, b, prediction), RunAdd(Idct_8x8_Add_C, b, prediction))
        << "DC " << dc;
  }
}

TEST(IdctKernels, DcKernelsIgnoreOtherCoefficients) {
  // The caller chooses the DC kernel from the block extent; coefficients past
  // it are never looked at, whatever they hold.
  Block dc_only{};
  dc_only[0] = 300;
  Block with_garbage = dc_only;
  for (int i = 1; i < 64; ++i) with_garbage[i] = static_cast<int16_t>(i * 97);
  EXPECT_EQ(RunPut(Idct_8x8_Put_Dc_C, with_garbage), RunPut(Idct_8x8_Put_C, dc_only));
}

TEST(IdctKernels, EdgeCasesOfTheOutputStage) {
  Block zero{};
  std::array<uint8_t, 64> all128;
  all128.fill(128);
  // All-zero: intra stores mid-grey, non-intra leaves the prediction alone.
  EXPECT_EQ(RunPut(Idct_8x8_Put_C, zero), all128);
  std::mt19937 rng(3);
  auto prediction = RandomPrediction(rng);
  EXPECT_EQ(RunAdd(Idct_8x8_Add_C, zero, prediction), prediction);
  EXPECT_EQ(RunAdd(Idct_8x8_Add_Dc_C, zero, prediction), prediction);

  // The dispatcher: intra stores, non-intra adds.
  std::array<uint8_t, 64> dst = prediction;
  Idct_8x8_Put_Add(zero.data(), dst.data(), 8, 1);
  EXPECT_EQ(dst, all128);
  dst = prediction;
  Idct_8x8_Put_Add(zero.data(), dst.data(), 8, 0);
  EXPECT_EQ(dst, prediction);

  // DC 128 stores 144 everywhere.
  Block dc128{};
  dc128[0] = 128;
  std::array<uint8_t, 64> all144;
  all144.fill(144);
  EXPECT_EQ(RunPut(Idct_8x8_Put_C, dc128), all144);
  EXPECT_EQ(RunPut(Idct_8x8_Put_Dc_C, dc128), all144);

  // DC -2400 gives -300 and DC 2400 gives +300 everywhere: over a prediction
  // of 100 they clamp to 0 and 255.
  std::array<uint8_t, 64> hundred;
  hundred.fill(100);
  Block minus{};
  minus[0] = -2400;
  Block plus{};
  plus[0] = 2400;
  for (int64_t v : ReferenceTransform(minus)) ASSERT_EQ(v, -300);
  for (int64_t v : ReferenceTransform(plus)) ASSERT_EQ(v, 300);
  std::array<uint8_t, 64> zeros{};
  std::array<uint8_t, 64> full;
  full.fill(255);
  EXPECT_EQ(RunAdd(Idct_8x8_Add_C, minus, hundred), zeros);
  EXPECT_EQ(RunAdd(Idct_8x8_Add_C, plus, hundred), full);
  EXPECT_EQ(RunAdd(Idct_8x8_Add_Dc_C, minus, hundred), zeros);
  EXPECT_EQ(RunAdd(Idct_8x8_Add_Dc_C, plus, hundred), full);
}

TEST(IdctKernels, WriteOnlyTheEightByEightArea) {
  constexpr int kStride = 19;  // wider than a block and odd, as no real plane is
  constexpr int kRows = 12;
  constexpr uint8_t kGuard = 0x5A;
  const IdctFunction kernels[] = {Idct_8x8_Put_C, Idct_8x8_Add_C, Idct_8x8_Put_Dc_C,
                                  Idct_8x8_Add_Dc_C};
  std::mt19937 rng(11);
  for (IdctFunction kernel : kernels) {
    for (int trial = 0; trial < 20; ++trial) {
      Block b;
      for (auto& c : b) c = static_cast<int16_t>(rng());
      std::vector<uint8_t> buffer(kStride * kRows, kGuard);
      const int top = 2, left = 5;
      kernel(b.data(), buffer.data() + top * kStride + left, kStride);
      for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kStride; ++c) {
          bool inside = r >= top && r < top + 8 && c >= left && c < left + 8;
          if (!inside) {
            ASSERT_EQ(buffer[r * kStride + c], kGuard) << "row " << r << " col " << c;
          }
        }
      }
    }
  }
}

TEST(IdctKernels, StrideSelectsTheDestinationRows) {
  // With a stride of two lines the block lands in every second line, in order.
  std::mt19937 rng(5);
  for (int trial = 0; trial < 50; ++trial) {
    Block b;
    for (auto& c : b) c = static_cast<int16_t>(static_cast<int>(rng() % 1024) - 512);
    std::vector<uint8_t> buffer(16 * 16, 0);
    Idct_8x8_Put_C(b.data(), buffer.data() + 16, 32);
    auto expected = ReferencePut(b);
    for (int r = 0; r < 8; ++r) {
      for (int c = 0; c < 8; ++c) {
        ASSERT_EQ(buffer[(2 * r + 1) * 16 + c], expected[8 * r + c]);
        ASSERT_EQ(buffer[(2 * r) * 16 + c], 0);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Accuracy against a double-precision IDCT, on random blocks made the IEEE
// 1180 way: random samples, exact forward DCT, coefficients rounded and
// limited to -2048..2047. A wrong constant or a misplaced correction shows up
// as errors of several levels or as a biased mean.

double Basis(int k, int n) {
  double c = k == 0 ? std::sqrt(0.125) : 0.5;
  return c * std::cos((2 * n + 1) * k * std::numbers::pi / 16.0);
}

Block ForwardDct(const std::array<int, 64>& samples) {
  Block coefficients;
  for (int v = 0; v < 8; ++v) {
    for (int u = 0; u < 8; ++u) {
      double sum = 0;
      for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) sum += samples[8 * y + x] * Basis(v, y) * Basis(u, x);
      }
      coefficients[8 * v + u] =
          static_cast<int16_t>(std::clamp<long>(std::lround(sum), -2048, 2047));
    }
  }
  return coefficients;
}

std::array<double, 64> InverseDct(const Block& coefficients) {
  std::array<double, 64> samples;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      double sum = 0;
      for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
          sum += coefficients[8 * v + u] * Basis(v, y) * Basis(u, x);
        }
      }
      samples[8 * y + x] = sum;
    }
  }
  return samples;
}

TEST(IdctAccuracy, CloseToTheExactTransform) {
  // Sample ranges kept within what the intra output (+128, 0..255) shows
  // unclamped.
  struct Range {
    int low, high;
  };
  for (Range range : {Range{-5, 5}, Range{-100, 100}, Range{-120, 127}}) {
    std::mt19937 rng(static_cast<unsigned>(range.high * 31 + range.low));
    std::uniform_int_distribution<int> sample(range.low, range.high);
    constexpr int kBlocks = 2000;
    int peak = 0;
    double sum_error = 0, sum_squared = 0;
    for (int n = 0; n < kBlocks; ++n) {
      std::array<int, 64> samples;
      for (auto& s : samples) s = sample(rng);
      Block coefficients = ForwardDct(samples);
      auto exact = InverseDct(coefficients);
      auto ours = RunPut(Idct_8x8_Put_C, coefficients);
      for (int i = 0; i < 64; ++i) {
        double reference = std::floor(exact[i] + 0.5);
        if (reference < -128 || reference > 127) continue;  // clamped, not comparable
        int error = (ours[i] - 128) - static_cast<int>(reference);
        peak = std::max(peak, std::abs(error));
        sum_error += error;
        sum_squared += error * error;
      }
    }
    const double count = kBlocks * 64.0;
    EXPECT_LE(peak, 1) << "range " << range.low << ".." << range.high;
    EXPECT_LE(std::abs(sum_error / count), 0.015) << "range " << range.low << ".." << range.high;
    EXPECT_LE(sum_squared / count, 0.02) << "range " << range.low << ".." << range.high;
  }
}

}  // namespace
