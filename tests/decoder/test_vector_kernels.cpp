// The vectorised inverse DCT and prediction loops against their portable
// twins, on random and extreme inputs: every output byte must be equal, and
// nothing around the output area may change.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "decoder/idct.h"
#include "decoder/prediction.h"
#include "tests/support/vector_kernel_test.h"

namespace {

// ---------------------------------------------------------------------------
// Inverse DCT.

using Block = std::array<int16_t, 64>;

// Blocks of five kinds in turn: dense within the dequantiser's range, sparse
// (as most coded blocks are), the whole 16-bit range, coefficients drawn
// from the extremes only (wrapping sums in both passes), and the same
// extreme in every position.
Block Random_Block(std::mt19937& rng, int n) {
  static constexpr int16_t kExtremes[] = {-32768, -32767, -2048, -1, 0, 1, 2047, 32767};
  auto uniform = [&](int low, int high) {
    return static_cast<int16_t>(std::uniform_int_distribution<int>(low, high)(rng));
  };
  Block b{};
  switch (n % 5) {
    case 0:
      for (auto& c : b) c = uniform(-2048, 2047);
      break;
    case 1:
      for (int k = 0, count = 1 + static_cast<int>(rng() % 8); k < count; ++k) {
        b[rng() % 64] = uniform(-2048, 2047);
      }
      break;
    case 2:
      for (auto& c : b) c = uniform(-32768, 32767);
      break;
    case 3:
      for (auto& c : b) c = kExtremes[rng() % 8];
      break;
    default:
      b.fill(kExtremes[rng() % 8]);
      break;
  }
  return b;
}

// An 8x8 destination inside a larger plane whose bytes around the block must
// survive; the stride varies as block rows and field lines do.
struct BlockPlane {
  static constexpr int kRows = 12;
  static constexpr int kTop = 2;
  static constexpr int kLeft = 8;
  int stride;
  std::vector<uint8_t> bytes;

  BlockPlane(int stride_, std::mt19937& rng) : stride(stride_), bytes(kRows * stride_) {
    for (auto& b : bytes) b = Random_Sample(rng);
  }
  uint8_t* Block() { return bytes.data() + kTop * stride + kLeft; }
};

class VectorIdct : public VectorKernelTest {};

TEST_P(VectorIdct, FullKernelsEqualThePortableOnes) {
  const IdctKernels* idct = GetParam().idct;
  std::mt19937 rng(1180);
  constexpr int kStrides[] = {16, 24, 40};
  // 2 x 300000 blocks.
  for (int n = 0; n < 300000; ++n) {
    const Block block = Random_Block(rng, n);
    BlockPlane expected(kStrides[n % 3], rng);
    BlockPlane actual = expected;
    const bool add = (n & 1) != 0;
    (add ? portable_idct_kernels.add : portable_idct_kernels.put)(block.data(), expected.Block(),
                                                                  expected.stride);
    (add ? idct->add : idct->put)(block.data(), actual.Block(), actual.stride);
    ASSERT_EQ(actual.bytes, expected.bytes) << "block " << n << (add ? " add" : " put");
  }
}

TEST_P(VectorIdct, DcKernelsEqualThePortableOnesForEveryDc) {
  const IdctKernels* idct = GetParam().idct;
  std::mt19937 rng(7);
  for (int dc = -32768; dc <= 32767; ++dc) {
    // The other coefficients are never looked at, whatever they hold.
    Block block = Random_Block(rng, 2);
    block[0] = static_cast<int16_t>(dc);
    for (const bool add : {false, true}) {
      BlockPlane expected(24, rng);
      BlockPlane actual = expected;
      (add ? portable_idct_kernels.add_dc : portable_idct_kernels.put_dc)(
          block.data(), expected.Block(), expected.stride);
      (add ? idct->add_dc : idct->put_dc)(block.data(), actual.Block(), actual.stride);
      ASSERT_EQ(actual.bytes, expected.bytes) << "DC " << dc << (add ? " add" : " put");
    }
  }
}

TEST_P(VectorIdct, PairKernelsEqualThePortableOnes) {
  const IdctKernels* idct = GetParam().idct;
  std::mt19937 rng(1181);
  // Two blocks side by side in one plane (the second 8 bytes on), or in two
  // planes (Cb and Cr).
  for (int n = 0; n < 60000; ++n) {
    std::array<int16_t, 128> blocks;
    const Block first = Random_Block(rng, n), second = Random_Block(rng, n / 5);
    std::copy(first.begin(), first.end(), blocks.begin());
    std::copy(second.begin(), second.end(), blocks.begin() + 64);
    const int stride = 24 + 16 * (n % 3);
    BlockPlane expected[2] = {BlockPlane(stride, rng), BlockPlane(stride, rng)};
    BlockPlane actual[2] = {expected[0], expected[1]};
    const bool side_by_side = n % 2 == 0;
    auto run = [&](IdctPairFunction kernel, BlockPlane(&planes)[2]) {
      kernel(blocks.data(), planes[0].Block(),
             side_by_side ? planes[0].Block() + 8 : planes[1].Block(), stride);
    };
    const bool add = n % 4 >= 2;
    run(add ? portable_idct_kernels.add_pair : portable_idct_kernels.put_pair, expected);
    run(add ? idct->add_pair : idct->put_pair, actual);
    ASSERT_EQ(actual[0].bytes, expected[0].bytes) << "pair " << n;
    ASSERT_EQ(actual[1].bytes, expected[1].bytes) << "pair " << n;
  }
}

INSTANTIATE_VECTOR_KERNEL_TESTS(VectorIdct, idct);

// ---------------------------------------------------------------------------
// Prediction loops.

class VectorPrediction : public VectorKernelTest {};

TEST_P(VectorPrediction, EveryLoopEqualsThePortableOne) {
  const PredictionKernels* prediction = GetParam().prediction;
  // Field lines of a frame, frame lines, packed rows (pitch 0: the width).
  constexpr int kPitches[] = {96, 48, 0};
  constexpr int kHeights[] = {1, 2, 4, 8, 16};
  std::mt19937 rng(42);
  long samples = 0;
  for (int trial = 0; samples < 1000000; ++trial) {
    for (int index = 0; index < 16; ++index) {
      const bool average = (index & 4) != 0;
      const int slot = index >> 3;
      const int w = slot == PREDICT_16 ? 16 : 8;
      const int xh = index & 1, yh = (index >> 1) & 1;
      const PredictFunction portable = (average ? portable_prediction_kernels.average
                                                : portable_prediction_kernels.put)[slot][index & 3];
      const PredictFunction vector =
          (average ? prediction->average : prediction->put)[slot][index & 3];
      for (const int layout_pitch : kPitches) {
        const int pitch = layout_pitch != 0 ? layout_pitch : w + xh;
        for (const int h : kHeights) {
          // The source holds exactly the bytes the loop may read.
          std::vector<uint8_t> source(static_cast<size_t>((h - 1 + yh) * pitch + w + xh));
          for (auto& b : source) b = Random_Sample(rng);
          std::vector<uint8_t> expected(static_cast<size_t>(h * pitch + 32));
          for (auto& b : expected) b = Random_Sample(rng);
          std::vector<uint8_t> actual = expected;
          portable(expected.data() + 16, source.data(), pitch, h);
          vector(actual.data() + 16, source.data(), pitch, h);
          ASSERT_EQ(actual, expected)
              << "trial " << trial << " average " << average << " xh " << xh << " yh " << yh
              << " w " << w << " h " << h << " pitch " << pitch;
          samples += static_cast<long>(w) * h;
        }
      }
    }
  }
}

TEST_P(VectorPrediction, PairLoopsEqualThePortableOnes) {
  const PredictionKernels* prediction = GetParam().prediction;
  std::mt19937 rng(43);
  for (int trial = 0; trial < 4000; ++trial) {
    const int index = trial % 8;
    const bool average = index >= 4;
    const int xh = index & 1, yh = (index >> 1) & 1;
    const int pitch = trial % 3 == 0 ? 8 + xh : 24 * (1 + trial % 3);
    const int h = 1 << (trial % 5);
    // Each plane's source holds exactly the bytes the loop may read; the
    // destinations are framed by bytes that must survive.
    std::vector<uint8_t> sources[2], expected[2], actual[2];
    for (int p = 0; p < 2; ++p) {
      sources[p].resize(static_cast<size_t>((h - 1 + yh) * pitch + 8 + xh));
      for (auto& b : sources[p]) b = Random_Sample(rng);
      expected[p].resize(static_cast<size_t>(h * pitch + 32));
      for (auto& b : expected[p]) b = Random_Sample(rng);
      actual[p] = expected[p];
    }
    const auto& portable =
        average ? portable_prediction_kernels.average_pair : portable_prediction_kernels.put_pair;
    const auto& vector = average ? prediction->average_pair : prediction->put_pair;
    portable[index & 3](expected[0].data() + 16, sources[0].data(), expected[1].data() + 16,
                        sources[1].data(), pitch, h);
    vector[index & 3](actual[0].data() + 16, sources[0].data(), actual[1].data() + 16,
                      sources[1].data(), pitch, h);
    ASSERT_EQ(actual[0], expected[0]) << "trial " << trial;
    ASSERT_EQ(actual[1], expected[1]) << "trial " << trial;
  }
}

INSTANTIATE_VECTOR_KERNEL_TESTS(VectorPrediction, prediction);

}  // namespace
