// Frame assembly from synthetic converted rows: cropping, the bottom-up
// layout, the deinterlacing filter, vertical resampling, and the promise that
// no row outside the crop band is read and no byte outside the frame and the
// work rows is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "convert/frame_builder.h"
#include "tests/convert/guarded_buffer.h"

namespace {

using Row = std::vector<uint8_t>;

constexpr int WIDTH = 16;  // pixels
constexpr int ROW_BYTES = 3 * WIDTH;

// A picture of converted rows, and a producer over it that records which rows
// were asked for and fails the test on any row outside [band_first, band_end).
class SyntheticPicture {
 public:
  SyntheticPicture(int height, unsigned seed) {
    std::mt19937 rng(seed);
    rows_.resize(height);
    for (Row& row : rows_) {
      row.resize(ROW_BYTES);
      for (uint8_t& b : row) b = static_cast<uint8_t>(rng());
    }
  }

  static SyntheticPicture Still(int height, unsigned seed) {
    SyntheticPicture picture(height, seed);
    for (Row& row : picture.rows_) row = picture.rows_[0];
    return picture;
  }

  int height() const { return static_cast<int>(rows_.size()); }
  const Row& operator[](int i) const { return rows_[i]; }
  const std::vector<int>& requests() const { return requests_; }

  RowProducer Producer(int64_t band_first, int64_t band_end) {
    requests_.clear();
    return [this, band_first, band_end](uint8_t* dest, int row) {
      requests_.push_back(row);
      ASSERT_GE(row, band_first);
      ASSERT_LT(row, band_end);
      ASSERT_LT(row, height());
      std::copy(rows_[row].begin(), rows_[row].end(), dest);
    };
  }

 private:
  std::vector<Row> rows_;
  std::vector<int> requests_;
};

// Five guarded work rows, as the frame source cuts them from its block.
class WorkRows {
 public:
  WorkRows() {
    for (auto& row : rows_) row = std::make_unique<GuardedBuffer>(ROW_BYTES);
    row_pair[0] = rows_[0]->data();
    row_pair[1] = rows_[1]->data();
    filter_ring[0] = rows_[2]->data();
    filter_ring[1] = rows_[3]->data();
    filter_ring[2] = rows_[4]->data();
  }
  bool GuardsIntact() const {
    return std::all_of(std::begin(rows_), std::end(rows_),
                       [](const auto& r) { return r->GuardsIntact(); });
  }
  uint8_t* row_pair[2];
  uint8_t* filter_ring[3];

 private:
  std::unique_ptr<GuardedBuffer> rows_[5];
};

struct Assembled {
  std::vector<Row> rows;  // output rows, top of the picture first
  bool guards_intact;
};

Assembled Assemble(SyntheticPicture& picture, int crop_top, int crop_height, int out_height,
                   bool deinterlace) {
  FrameGeometry g;
  g.width = WIDTH;
  g.picture_height = picture.height();
  g.crop_top = crop_top;
  g.crop_height = crop_height;
  g.out_height = out_height;
  g.deinterlace = deinterlace;
  const size_t frame_bytes = static_cast<size_t>(std::max(out_height, 0)) * ROW_BYTES;
  GuardedBuffer dest(frame_bytes, 0x5A);
  WorkRows work;
  Assemble_Frame(picture.Producer(crop_top, int64_t{crop_top} + crop_height), g, work.row_pair,
                 work.filter_ring, dest.data());
  Assembled result{{}, dest.GuardsIntact() && work.GuardsIntact()};
  // Bottom-up: output row i is buffer row out_height - 1 - i.
  for (int i = 0; i < out_height; ++i) {
    const uint8_t* row = dest.data() + static_cast<size_t>(out_height - 1 - i) * ROW_BYTES;
    result.rows.emplace_back(row, row + ROW_BYTES);
  }
  return result;
}

uint8_t Lerp(uint8_t a, uint8_t b, int weight) {
  return static_cast<uint8_t>((a * (256 - weight) + b * weight + 128) >> 8);
}

// The band's rows after the 1-2-1 filter centred one row above each row.
std::vector<Row> Deinterlaced(const SyntheticPicture& picture, int crop_top, int crop_height) {
  auto s = [&](int j) -> const Row& { return picture[crop_top + std::max(j, 0)]; };
  std::vector<Row> rows;
  for (int i = 0; i < crop_height; ++i) {
    Row row(ROW_BYTES);
    for (int b = 0; b < ROW_BYTES; ++b) row[b] = (s(i - 2)[b] + 2 * s(i - 1)[b] + s(i)[b]) >> 2;
    rows.push_back(row);
  }
  return rows;
}

std::vector<Row> Band(const SyntheticPicture& picture, int crop_top, int crop_height) {
  std::vector<Row> rows;
  for (int i = 0; i < crop_height; ++i) rows.push_back(picture[crop_top + i]);
  return rows;
}

// Output row j samples band position j * M / N between the two rows around
// it; a position past the last row uses the last row.
std::vector<Row> Resampled(const std::vector<Row>& band, int out_height) {
  const int m = static_cast<int>(band.size());
  std::vector<Row> rows;
  for (int j = 0; j < out_height; ++j) {
    const int64_t position = static_cast<int64_t>(j) * m;
    const int below = static_cast<int>(position / out_height);
    const int above = std::min(below + 1, m - 1);
    const int weight = static_cast<int>(position % out_height * 256 / out_height);
    Row row(ROW_BYTES);
    for (int b = 0; b < ROW_BYTES; ++b) row[b] = Lerp(band[below][b], band[above][b], weight);
    rows.push_back(row);
  }
  return rows;
}

std::vector<int> Consecutive(int first, int count) {
  std::vector<int> rows(count);
  for (int i = 0; i < count; ++i) rows[i] = first + i;
  return rows;
}

// ---------------------------------------------------------------------------
// Equal crop and output heights.

TEST(FrameAssemblyCopy, IsTheCropBandBitExactAndBottomUp) {
  SyntheticPicture picture(64, 1);
  const Assembled out = Assemble(picture, 5, 20, 20, false);
  EXPECT_TRUE(out.guards_intact);
  EXPECT_EQ(out.rows, Band(picture, 5, 20));
  EXPECT_EQ(picture.requests(), Consecutive(5, 20));
}

TEST(FrameAssemblyCopy, WholePictureIncludingItsLastRow) {
  SyntheticPicture picture(32, 2);
  const Assembled out = Assemble(picture, 0, 32, 32, false);
  EXPECT_TRUE(out.guards_intact);
  EXPECT_EQ(out.rows, Band(picture, 0, 32));
}

TEST(FrameAssemblyCopy, DeinterlacingCentresTheFilterOneRowAbove) {
  SyntheticPicture picture(48, 3);
  const Assembled out = Assemble(picture, 7, 30, 30, true);
  EXPECT_TRUE(out.guards_intact);
  const Row& s0 = picture[7];
  const Row& s1 = picture[8];
  EXPECT_EQ(out.rows[0], s0);
  for (int b = 0; b < ROW_BYTES; ++b) ASSERT_EQ(out.rows[1][b], (3 * s0[b] + s1[b]) >> 2);
  EXPECT_EQ(out.rows, Deinterlaced(picture, 7, 30));
  EXPECT_EQ(picture.requests(), Consecutive(7, 30));
}

// ---------------------------------------------------------------------------
// Different crop and output heights.

TEST(FrameAssemblyResample, StretchesWithLinearEightBitWeights) {
  // The 1:1 shape with a 570-row crop rounds the output up to 576 rows.
  SyntheticPicture picture(576, 4);
  const Assembled out = Assemble(picture, 3, 570, 576, false);
  EXPECT_TRUE(out.guards_intact);
  EXPECT_EQ(out.rows[0], picture[3]);
  EXPECT_EQ(out.rows, Resampled(Band(picture, 3, 570), 576));
  EXPECT_EQ(picture.requests(), Consecutive(3, 570));
}

TEST(FrameAssemblyResample, ShrinkingByTwoTakesEveryOtherRow) {
  SyntheticPicture picture(40, 5);
  const Assembled out = Assemble(picture, 4, 32, 16, false);
  EXPECT_TRUE(out.guards_intact);
  for (int j = 0; j < 16; ++j) EXPECT_EQ(out.rows[j], picture[4 + 2 * j]) << "row " << j;
}

TEST(FrameAssemblyResample, ShrinkingMatchesLinearInterpolation) {
  SyntheticPicture picture(100, 6);
  for (int out_height : {99, 64, 33, 7, 1}) {
    SCOPED_TRACE(out_height);
    const Assembled out = Assemble(picture, 0, 100, out_height, false);
    EXPECT_TRUE(out.guards_intact);
    EXPECT_EQ(out.rows, Resampled(Band(picture, 0, 100), out_height));
  }
}

TEST(FrameAssemblyResample, EnlargingPastTheLastCropRowRepeatsIt) {
  // The picture row below the band differs and must not be used.
  SyntheticPicture picture(32, 7);
  const Assembled out = Assemble(picture, 10, 4, 7, false);
  EXPECT_TRUE(out.guards_intact);
  EXPECT_EQ(out.rows, Resampled(Band(picture, 10, 4), 7));
  // Rows 6 (position 24/7) and beyond sit past the last band row 13.
  EXPECT_EQ(out.rows[6], picture[13]);
  EXPECT_EQ(picture.requests(), Consecutive(10, 4));
}

TEST(FrameAssemblyResample, OneRowCropResizedGivesCopies) {
  SyntheticPicture picture(32, 8);
  for (bool deinterlace : {false, true}) {
    const Assembled out = Assemble(picture, 9, 1, 16, deinterlace);
    EXPECT_TRUE(out.guards_intact);
    EXPECT_EQ(out.rows, std::vector<Row>(16, picture[9]));
    EXPECT_EQ(picture.requests(), Consecutive(9, 1));
  }
}

TEST(FrameAssemblyResample, DeinterlacesBeforeInterpolating) {
  SyntheticPicture picture(64, 9);
  for (auto [crop_height, out_height] : {std::pair{20, 33}, std::pair{33, 20}, std::pair{2, 5}}) {
    SCOPED_TRACE(testing::Message() << crop_height << " -> " << out_height);
    const Assembled out = Assemble(picture, 6, crop_height, out_height, true);
    EXPECT_TRUE(out.guards_intact);
    EXPECT_EQ(out.rows, Resampled(Deinterlaced(picture, 6, crop_height), out_height));
  }
}

TEST(FrameAssemblyResample, ReadsBandRowsOnceInIncreasingOrder) {
  SyntheticPicture picture(64, 10);
  for (bool deinterlace : {false, true}) {
    for (int out_height : {1, 5, 17, 31, 33, 64, 100}) {
      SCOPED_TRACE(testing::Message() << out_height << " deinterlace " << deinterlace);
      Assemble(picture, 16, 32, out_height, deinterlace);
      const std::vector<int>& requests = picture.requests();
      // Consecutive from the band's first row, as far as the last position
      // needs (a strong shrink may stop short of the band's end).
      ASSERT_FALSE(requests.empty());
      EXPECT_EQ(requests, Consecutive(16, static_cast<int>(requests.size())));
      const int last_needed = 16 + (out_height - 1) * 32 / out_height;
      EXPECT_GE(requests.back(), last_needed);
    }
  }
}

// ---------------------------------------------------------------------------
// Properties of every path.

TEST(FrameAssembly, StillPictureSurvivesDeinterlacing) {
  SyntheticPicture picture = SyntheticPicture::Still(48, 11);
  for (int out_height : {24, 10, 47}) {
    SCOPED_TRACE(out_height);
    const Assembled out = Assemble(picture, 12, 24, out_height, true);
    EXPECT_TRUE(out.guards_intact);
    EXPECT_EQ(out.rows, std::vector<Row>(out_height, picture[0]));
  }
}

TEST(FrameAssembly, ZeroOutputHeightWritesAndReadsNothing) {
  SyntheticPicture picture(32, 12);
  for (bool deinterlace : {false, true}) {
    for (int crop_height : {0, 16}) {
      const Assembled out = Assemble(picture, 0, crop_height, 0, deinterlace);
      EXPECT_TRUE(out.guards_intact);
      EXPECT_TRUE(picture.requests().empty());
    }
  }
}

TEST(FrameAssembly, CropBandOutsideThePictureGivesBlackFrame) {
  SyntheticPicture picture(32, 13);
  struct Crop {
    int crop_top, crop_height;
  };
  for (Crop band : {Crop{32, 0}, Crop{0, 0}, Crop{20, 13}, Crop{-1, 4}, Crop{31, 2}, Crop{4, -3},
                    Crop{2147483647, 1}, Crop{1, 2147483647}, Crop{-2147483647 - 1, 1}}) {
    for (int out_height : {1, 8}) {
      SCOPED_TRACE(testing::Message() << band.crop_top << "+" << band.crop_height);
      const Assembled out = Assemble(picture, band.crop_top, band.crop_height, out_height, true);
      EXPECT_TRUE(out.guards_intact);
      EXPECT_EQ(out.rows, std::vector<Row>(out_height, Row(ROW_BYTES, 0)));
      EXPECT_TRUE(picture.requests().empty());
    }
  }
}

TEST(FrameAssembly, StaysInsideItsBuffersForEveryBandInThePicture) {
  constexpr int HEIGHT = 24;
  SyntheticPicture picture(HEIGHT, 14);
  for (int crop_top = 0; crop_top < HEIGHT; crop_top += 3) {
    for (int crop_height = 1; crop_top + crop_height <= HEIGHT; crop_height += 2) {
      for (int out_height : {1, 2, crop_height, crop_height + 1, 3 * crop_height, 50}) {
        for (bool deinterlace : {false, true}) {
          SCOPED_TRACE(testing::Message() << crop_top << "+" << crop_height << " -> " << out_height
                                          << (deinterlace ? " deinterlaced" : ""));
          const Assembled out = Assemble(picture, crop_top, crop_height, out_height, deinterlace);
          ASSERT_TRUE(out.guards_intact);
          const std::vector<Row> band = deinterlace ? Deinterlaced(picture, crop_top, crop_height)
                                                    : Band(picture, crop_top, crop_height);
          ASSERT_EQ(out.rows, Resampled(band, out_height));
        }
      }
    }
  }
}

}  // namespace
