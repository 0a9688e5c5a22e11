// The portable row kernels: chroma upsampling at the plane and row edges, the
// filter weights, and the row blend and 1-2-1 filter rounding. Every output is
// written between guard bytes, which must survive.
#include "convert/row_kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tests/convert/guarded_buffer.h"

namespace {

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// A plane of `height` rows whose row r holds `column[r]` in every sample.
std::vector<uint8_t> PlaneFromColumn(const std::vector<uint8_t>& column, int width) {
  std::vector<uint8_t> plane;
  for (uint8_t v : column) plane.insert(plane.end(), width, v);
  return plane;
}

std::vector<uint8_t> OutputColumn(const GuardedBuffer& out, int width, int rows, int x) {
  std::vector<uint8_t> column;
  for (int r = 0; r < rows; ++r) column.push_back(out[static_cast<size_t>(r) * width + x]);
  return column;
}

bool RowEquals(const GuardedBuffer& out, int out_row, const std::vector<uint8_t>& in, int in_row,
               int width) {
  for (int x = 0; x < width; ++x) {
    if (out[static_cast<size_t>(out_row) * width + x] !=
        in[static_cast<size_t>(in_row) * width + x])
      return false;
  }
  return true;
}

using VerticalKernel = void (*)(const uint8_t*, uint8_t*, int, int);

std::vector<uint8_t> RunVertical(VerticalKernel kernel, const std::vector<uint8_t>& column,
                                 int width) {
  const int height = static_cast<int>(column.size());
  const std::vector<uint8_t> in = PlaneFromColumn(column, width);
  GuardedBuffer out(2 * in.size());
  kernel(in.data(), out.data(), width, height);
  EXPECT_TRUE(out.GuardsIntact());
  return OutputColumn(out, width, 2 * height, width - 1);
}

TEST(VerticalChromaUpsampling, ProgressiveWeighsNearestRowThreeToOne) {
  const auto out = RunVertical(portable_chroma_upsample_kernels.vertical_420_to_422_progressive,
                               {0, 100, 200}, 8);
  EXPECT_EQ(out, (std::vector<uint8_t>{0, 25, 75, 125, 175, 200}));
}

TEST(VerticalChromaUpsampling, FieldwiseInterpolatesWithinEachField) {
  // Top field lines 0, 40; bottom field lines 100, 200.
  const auto out = RunVertical(portable_chroma_upsample_kernels.vertical_420_to_422_fieldwise,
                               {0, 100, 40, 200}, 8);
  EXPECT_EQ(out, (std::vector<uint8_t>{0, 100, 15, 113, 35, 163, 40, 200}));
}

TEST(VerticalChromaUpsampling, FieldwiseNeverMixesTheFields) {
  const std::vector<uint8_t> column = {30, 220, 30, 220, 30, 220, 30, 220};
  const auto out =
      RunVertical(portable_chroma_upsample_kernels.vertical_420_to_422_fieldwise, column, 8);
  for (size_t r = 0; r < out.size(); ++r) EXPECT_EQ(out[r], r % 2 == 0 ? 30 : 220) << "row " << r;
}

TEST(VerticalChromaUpsampling, EdgeRowsAreCopiesOfInputRows) {
  const int width = 16;
  const int height = 8;
  const std::vector<uint8_t> in = RandomBytes(width * height, 1);
  GuardedBuffer progressive(2 * in.size());
  portable_chroma_upsample_kernels.vertical_420_to_422_progressive(in.data(), progressive.data(),
                                                                   width, height);
  EXPECT_TRUE(RowEquals(progressive, 0, in, 0, width));
  EXPECT_TRUE(RowEquals(progressive, 2 * height - 1, in, height - 1, width));
  EXPECT_TRUE(progressive.GuardsIntact());

  GuardedBuffer fieldwise(2 * in.size());
  portable_chroma_upsample_kernels.vertical_420_to_422_fieldwise(in.data(), fieldwise.data(), width,
                                                                 height);
  EXPECT_TRUE(RowEquals(fieldwise, 0, in, 0, width));  // first line of the top field
  EXPECT_TRUE(RowEquals(fieldwise, 1, in, 1, width));  // first line of the bottom field
  EXPECT_TRUE(RowEquals(fieldwise, 2 * height - 2, in, height - 2, width));
  EXPECT_TRUE(RowEquals(fieldwise, 2 * height - 1, in, height - 1, width));
  EXPECT_TRUE(fieldwise.GuardsIntact());
}

TEST(VerticalChromaUpsampling, FullScaleSamplesDoNotOverflow) {
  const std::vector<uint8_t> column(8, 255);
  for (VerticalKernel kernel : {portable_chroma_upsample_kernels.vertical_420_to_422_progressive,
                                portable_chroma_upsample_kernels.vertical_420_to_422_fieldwise}) {
    for (uint8_t v : RunVertical(kernel, column, 8)) EXPECT_EQ(v, 255);
  }
}

TEST(VerticalChromaUpsampling, SingleRowPlaneBecomesTwoCopies) {
  const auto out =
      RunVertical(portable_chroma_upsample_kernels.vertical_420_to_422_progressive, {77}, 8);
  EXPECT_EQ(out, (std::vector<uint8_t>{77, 77}));
}

using HorizontalKernel = void (*)(const uint8_t*, uint8_t*, int);

std::vector<uint8_t> RunHorizontal(HorizontalKernel kernel, const std::vector<uint8_t>& in) {
  GuardedBuffer out(2 * in.size());
  kernel(in.data(), out.data(), static_cast<int>(in.size()));
  EXPECT_TRUE(out.GuardsIntact());
  std::vector<uint8_t> result;
  for (size_t i = 0; i < 2 * in.size(); ++i) result.push_back(out[i]);
  return result;
}

TEST(HorizontalChromaUpsampling, Mpeg1FilterKeepsConstantRows) {
  for (int v : {0, 16, 128, 240, 255}) {
    const std::vector<uint8_t> row(8, static_cast<uint8_t>(v));
    EXPECT_EQ(RunHorizontal(portable_chroma_upsample_kernels.horizontal_422_to_444_mpeg1, row),
              std::vector<uint8_t>(16, static_cast<uint8_t>(v)));
  }
}

TEST(HorizontalChromaUpsampling, Mpeg1FilterOvershootIsClampedBothWays) {
  // The middle 240 before a 16 overshoots to 268 -> 255; the 16 after it
  // undershoots to -12 -> 0.
  const auto out = RunHorizontal(portable_chroma_upsample_kernels.horizontal_422_to_444_mpeg1,
                                 {240, 240, 16, 16, 16, 16, 16, 16});
  EXPECT_EQ(out, (std::vector<uint8_t>{240, 240, 255, 184, 72, 0, 16, 16, 16, 16, 16, 16, 16, 16,
                                       16, 16}));
}

TEST(HorizontalChromaUpsampling, Mpeg2KeepsCositedSamplesAndAveragesBetween) {
  const auto out = RunHorizontal(portable_chroma_upsample_kernels.horizontal_422_to_444_mpeg2,
                                 {10, 13, 200, 0, 255});
  // (10 + 13 + 1) >> 1 rounds up; the last sample repeats beyond the row end.
  EXPECT_EQ(out, (std::vector<uint8_t>{10, 12, 13, 107, 200, 100, 0, 128, 255, 255}));
}

TEST(RowBlend, WeightZeroGivesFirstRowExactly) {
  const auto a = RandomBytes(48, 2);
  const auto b = RandomBytes(48, 3);
  GuardedBuffer out(48);
  portable_row_blend_kernels.blend_rows(out.data(), a.data(), b.data(), 0, 48);
  for (size_t i = 0; i < 48; ++i) EXPECT_EQ(out[i], a[i]);
  EXPECT_TRUE(out.GuardsIntact());
}

TEST(RowBlend, RoundsToNearestWithoutOverflow) {
  const std::vector<uint8_t> a = {0, 0, 255, 0, 10};
  const std::vector<uint8_t> b = {255, 255, 255, 255, 20};
  GuardedBuffer out(a.size());
  // Weights: 255 -> (255*255+128)>>8 = 254; 128 -> 128; full-scale rows stay
  // 255; 1 -> (255+128)>>8 = 1; 64 -> (10*192+20*64+128)>>8 = 13.
  const int weights[] = {255, 128, 200, 1, 64};
  const uint8_t expected[] = {254, 128, 255, 1, 13};
  for (size_t i = 0; i < a.size(); ++i) {
    portable_row_blend_kernels.blend_rows(out.data() + i, &a[i], &b[i], weights[i], 1);
    EXPECT_EQ(out[i], expected[i]) << "weight " << weights[i];
  }
  EXPECT_TRUE(out.GuardsIntact());
}

TEST(RowFilter121, TruncatesWithoutRoundingTerm) {
  const std::vector<uint8_t> a = {1, 255, 0, 3};
  const std::vector<uint8_t> b = {2, 255, 0, 3};
  const std::vector<uint8_t> c = {2, 255, 3, 3};
  GuardedBuffer out(a.size());
  portable_row_blend_kernels.filter_rows_121(out.data(), a.data(), b.data(), c.data(), 4);
  EXPECT_EQ(out[0], 1);  // 7 >> 2; a rounding term would give 2
  EXPECT_EQ(out[1], 255);
  EXPECT_EQ(out[2], 0);  // 3 >> 2
  EXPECT_EQ(out[3], 3);
  EXPECT_TRUE(out.GuardsIntact());
}

TEST(RowFilter121, CentreRowCountsTwice) {
  const std::vector<uint8_t> a = {0}, b = {100}, c = {0};
  GuardedBuffer out(1);
  portable_row_blend_kernels.filter_rows_121(out.data(), a.data(), b.data(), c.data(), 1);
  EXPECT_EQ(out[0], 50);
  portable_row_blend_kernels.filter_rows_121(out.data(), b.data(), a.data(), c.data(), 1);
  EXPECT_EQ(out[0], 25);
}

}  // namespace
