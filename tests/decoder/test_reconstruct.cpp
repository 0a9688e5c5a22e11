// Block reconstruction: where every block of a macroblock lands for each
// picture structure, DCT type and chroma format, which blocks are
// transformed, and that residuals go on top of the prediction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/idct.h"
#include "decoder/prediction.h"
#include "decoder/reconstruct.h"

namespace {

constexpr uint8_t kUntouched = 0xEE;

struct TestPlane {
  std::vector<uint8_t> data;
  int width = 0;
  int height = 0;
  uint8_t& At(int row, int column) { return data[static_cast<size_t>(row * width + column)]; }
  uint8_t At(int row, int column) const { return data[static_cast<size_t>(row * width + column)]; }
};

struct TestStore {
  TestPlane plane[3];
  FrameStore View() { return {{plane[0].data.data(), plane[1].data.data(), plane[2].data.data()}}; }
};

// Where a block goes, relative to the macroblock: the plane, its first row
// (in lines of the picture: frame lines, or field lines in a field picture),
// the distance between its rows and its first column.
struct Placement {
  int plane;
  int row;
  int row_step;
  int column;
};

// Places the context at a macroblock address, as the slice loop does.
void At(MacroblockContext& ctx, int address) {
  const int mb_width = decoder_state.mb_width;
  ctx.address = address;
  ctx.column = address < 0 ? -1 : address % mb_width;
  ctx.row = address < 0 ? -1 : address / mb_width;
}

class ReconstructTest : public ::testing::Test {
 protected:
  void Configure(int chroma_format, int picture_structure, int picture_coding_type) {
    decoder_state = DecoderState{};
    DecoderState& d = decoder_state;
    d.chroma_format = chroma_format;
    d.allocated_chroma_format = chroma_format;
    d.picture_structure = picture_structure;
    d.picture_coding_type = picture_coding_type;
    d.mb_width = 3;
    d.mb_height = 4;
    d.coded_width = 48;
    d.coded_height = 64;
    d.chroma_width = chroma_format == CHROMA_444 ? 48 : 24;
    d.chroma_height = chroma_format == CHROMA_420 ? 32 : 64;
    d.blocks_per_macroblock = chroma_format == CHROMA_420   ? 6
                              : chroma_format == CHROMA_422 ? 8
                                                            : 12;
    std::mt19937 rng(9);
    for (TestStore* store : {&target_, &reference_}) {
      for (int p = 0; p < 3; ++p) {
        TestPlane& plane = store->plane[p];
        plane.width = p == 0 ? d.coded_width : d.chroma_width;
        plane.height = p == 0 ? d.coded_height : d.chroma_height;
        plane.data.assign(static_cast<size_t>(plane.width * plane.height), kUntouched);
        if (store == &reference_) {
          for (auto& s : plane.data) s = static_cast<uint8_t>(rng());
        }
      }
    }
    d.newer_reference = target_.View();
    d.older_reference = reference_.View();
    d.b_picture_store = target_.View();
    d.decode_target = target_.View();
    parity_ = picture_structure == FRAME_PICTURE ? -1 : picture_structure == BOTTOM_FIELD ? 1 : 0;
    if (parity_ == 1) {
      d.decode_target.plane[0] += d.coded_width;
      d.decode_target.plane[1] += d.chroma_width;
      d.decode_target.plane[2] += d.chroma_width;
    }
    for (int i = 0; i < 12; ++i) Clear_Coefficient_Block(i);
    Prepare_Block_Layout();
    Prepare_Prediction_Walks();
    expected_ = target_;
  }

  // Frame row of a picture line (field lines in a field picture).
  int FrameRow(int line) const { return parity_ < 0 ? line : 2 * line + parity_; }

  // Macroblock origin in plane p.
  int OriginX(int p, int bx) const {
    return p == 0 || decoder_state.chroma_width == decoder_state.coded_width ? bx : bx / 2;
  }
  int OriginY(int p, int by) const {
    return p == 0 || decoder_state.chroma_height == decoder_state.coded_height ? by : by / 2;
  }

  // Gives every block a DC that transforms to the constant sample
  // 128 + 10 * i - 50 and records where that value must appear.
  void IntraBlocksWithDistinctLevels(const std::vector<Placement>& placements, int bx, int by) {
    for (int i = 0; i < static_cast<int>(placements.size()); ++i) {
      const int level = 10 * i - 50;
      decoder_state.bitstream.coefficient_blocks[i][0] = static_cast<int16_t>(8 * level);
      const Placement& at = placements[i];
      TestPlane& plane = expected_.plane[at.plane];
      for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
          plane.At(FrameRow(OriginY(at.plane, by) + at.row + r * at.row_step),
                   OriginX(at.plane, bx) + at.column + c) = static_cast<uint8_t>(128 + level);
        }
      }
    }
  }

  static MacroblockContext IntraContext(int address, int dct_type) {
    MacroblockContext ctx{};
    At(ctx, address);
    ctx.macroblock_type = MACROBLOCK_INTRA;
    ctx.dct_type = dct_type;
    ctx.coded_block_pattern = (1 << decoder_state.blocks_per_macroblock) - 1;
    for (int& e : ctx.block_extent) e = 1;
    return ctx;
  }

  TestStore target_, reference_, expected_;
  int parity_ = -1;
};

::testing::AssertionResult SameStore(const TestStore& actual, const TestStore& expected) {
  static const char* kNames[3] = {"Y", "Cb", "Cr"};
  for (int p = 0; p < 3; ++p) {
    const TestPlane& a = actual.plane[p];
    const TestPlane& e = expected.plane[p];
    for (int r = 0; r < a.height; ++r) {
      for (int c = 0; c < a.width; ++c) {
        if (a.At(r, c) != e.At(r, c)) {
          return ::testing::AssertionFailure()
                 << kNames[p] << " row " << r << " column " << c << ": " << int{a.At(r, c)}
                 << " expected " << int{e.At(r, c)};
        }
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Luma of a frame macroblock with frame DCT: four quadrants.
const std::vector<Placement> kFrameLuma = {{0, 0, 1, 0}, {0, 0, 1, 8}, {0, 8, 1, 0}, {0, 8, 1, 8}};
// With field DCT: blocks 0 and 1 on the even lines, 2 and 3 on the odd lines.
const std::vector<Placement> kFieldDctLuma = {
    {0, 0, 2, 0}, {0, 0, 2, 8}, {0, 1, 2, 0}, {0, 1, 2, 8}};

std::vector<Placement> Join(std::vector<Placement> a, const std::vector<Placement>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// ---------------------------------------------------------------------------
// Block placement.

TEST_F(ReconstructTest, FrameDctPlacesBlocksInQuadrants420) {
  Configure(CHROMA_420, FRAME_PICTURE, I_PICTURE);
  // Address 4 in a picture 3 macroblocks wide: column 1, row 1.
  IntraBlocksWithDistinctLevels(Join(kFrameLuma, {{1, 0, 1, 0}, {2, 0, 1, 0}}), 16, 16);
  Reconstruct_Macroblock(IntraContext(4, 0));
  EXPECT_TRUE(SameStore(target_, expected_));
}

TEST_F(ReconstructTest, FieldDctInterleavesLumaButNot420Chroma) {
  Configure(CHROMA_420, FRAME_PICTURE, I_PICTURE);
  IntraBlocksWithDistinctLevels(Join(kFieldDctLuma, {{1, 0, 1, 0}, {2, 0, 1, 0}}), 32, 48);
  Reconstruct_Macroblock(IntraContext(11, 1));
  EXPECT_TRUE(SameStore(target_, expected_));
}

TEST_F(ReconstructTest, Chroma422FollowsTheDctType) {
  Configure(CHROMA_422, FRAME_PICTURE, I_PICTURE);
  IntraBlocksWithDistinctLevels(
      Join(kFrameLuma, {{1, 0, 1, 0}, {2, 0, 1, 0}, {1, 8, 1, 0}, {2, 8, 1, 0}}), 0, 16);
  Reconstruct_Macroblock(IntraContext(3, 0));
  EXPECT_TRUE(SameStore(target_, expected_));

  Configure(CHROMA_422, FRAME_PICTURE, I_PICTURE);
  IntraBlocksWithDistinctLevels(
      Join(kFieldDctLuma, {{1, 0, 2, 0}, {2, 0, 2, 0}, {1, 1, 2, 0}, {2, 1, 2, 0}}), 0, 16);
  Reconstruct_Macroblock(IntraContext(3, 1));
  EXPECT_TRUE(SameStore(target_, expected_));
}

TEST_F(ReconstructTest, Chroma444Block10IsCbAtColumn8Row8) {
  Configure(CHROMA_444, FRAME_PICTURE, I_PICTURE);
  const std::vector<Placement> chroma = {{1, 0, 1, 0}, {2, 0, 1, 0}, {1, 8, 1, 0}, {2, 8, 1, 0},
                                         {1, 0, 1, 8}, {2, 0, 1, 8}, {1, 8, 1, 8}, {2, 8, 1, 8}};
  IntraBlocksWithDistinctLevels(Join(kFrameLuma, chroma), 16, 0);
  Reconstruct_Macroblock(IntraContext(1, 0));
  EXPECT_TRUE(SameStore(target_, expected_));
  // Block 10 spelled out: level 10 * 10 - 50 = 50.
  EXPECT_EQ(target_.plane[1].At(8, 16 + 8), 128 + 50);
  EXPECT_EQ(target_.plane[1].At(15, 16 + 15), 128 + 50);

  Configure(CHROMA_444, FRAME_PICTURE, I_PICTURE);
  const std::vector<Placement> field_chroma = {{1, 0, 2, 0}, {2, 0, 2, 0}, {1, 1, 2, 0},
                                               {2, 1, 2, 0}, {1, 0, 2, 8}, {2, 0, 2, 8},
                                               {1, 1, 2, 8}, {2, 1, 2, 8}};
  IntraBlocksWithDistinctLevels(Join(kFieldDctLuma, field_chroma), 16, 0);
  Reconstruct_Macroblock(IntraContext(1, 1));
  EXPECT_TRUE(SameStore(target_, expected_));
}

TEST_F(ReconstructTest, FieldPicturesWriteTheLinesOfTheirField) {
  // In a field picture the blocks are quadrants of the field macroblock,
  // whatever dct_type says; the bottom field lands on odd lines only.
  for (int structure : {TOP_FIELD, BOTTOM_FIELD}) {
    for (int format : {CHROMA_420, CHROMA_422}) {
      Configure(format, structure, I_PICTURE);
      std::vector<Placement> chroma = {{1, 0, 1, 0}, {2, 0, 1, 0}};
      if (format == CHROMA_422) chroma.insert(chroma.end(), {{1, 8, 1, 0}, {2, 8, 1, 0}});
      // Address 5: column 2, row 1 of the field (field lines 16..31).
      IntraBlocksWithDistinctLevels(Join(kFrameLuma, chroma), 32, 16);
      Reconstruct_Macroblock(IntraContext(5, 1));
      EXPECT_TRUE(SameStore(target_, expected_)) << "structure " << structure;
      const int other = structure == BOTTOM_FIELD ? 0 : 1;
      for (int p = 0; p < 3; ++p) {
        for (int r = other; r < target_.plane[p].height; r += 2) {
          for (int c = 0; c < target_.plane[p].width; ++c) {
            ASSERT_EQ(target_.plane[p].At(r, c), kUntouched);
          }
        }
      }
    }
  }
}

TEST_F(ReconstructTest, AddressOutsideThePictureWritesNothing) {
  Configure(CHROMA_420, TOP_FIELD, I_PICTURE);
  Reconstruct_Macroblock(IntraContext(6, 0));  // a field has 2 macroblock rows of 3
  Reconstruct_Macroblock(IntraContext(-1, 0));
  EXPECT_TRUE(SameStore(target_, expected_));
}

// ---------------------------------------------------------------------------
// Which blocks are transformed, and how.

std::vector<int16_t> RandomCoefficients(std::mt19937& rng) {
  std::vector<int16_t> block(64);
  for (auto& c : block) c = static_cast<int16_t>(static_cast<int>(rng() % 401) - 200);
  return block;
}

TEST_F(ReconstructTest, NonIntraAddsCodedBlocksToThePredictionAndSkipsOthers) {
  Configure(CHROMA_420, FRAME_PICTURE, P_PICTURE);
  std::mt19937 rng(77);
  auto& blocks = decoder_state.bitstream.coefficient_blocks;
  // Blocks 0, 3 and 5 are coded (pattern bits 5, 2 and 0); the others hold
  // coefficients that must not be used.
  MacroblockContext ctx{};
  At(ctx, 4);  // (16, 16)
  ctx.macroblock_type = MACROBLOCK_PATTERN;
  ctx.motion_type = MC_FRAME;
  ctx.coded_block_pattern = (1 << 5) | (1 << 2) | (1 << 0);
  for (int i = 0; i < 6; ++i) {
    auto values = RandomCoefficients(rng);
    std::copy(values.begin(), values.end(), blocks[i]);
    ctx.block_extent[i] = 64;
  }
  // Block 0 holds only a DC; block 3 a DC and the first AC coefficient
  // (scan position 1 is raster index 1 in both scans), which the DC-only
  // kernel would miss.
  std::fill(blocks[0] + 1, blocks[0] + 64, int16_t{0});
  ctx.block_extent[0] = 1;
  std::fill(blocks[3] + 2, blocks[3] + 64, int16_t{0});
  blocks[3][1] = 150;
  ctx.block_extent[3] = 2;
  for (int i = 10; i < 64; ++i) blocks[5][i] = 0;
  ctx.block_extent[5] = 10;

  // Zero-vector prediction from the reference, then the residuals.
  for (int p = 0; p < 3; ++p) {
    const int size = p == 0 ? 16 : 8, x = p == 0 ? 16 : 8, y = x;
    for (int r = 0; r < size; ++r) {
      for (int c = 0; c < size; ++c) {
        expected_.plane[p].At(y + r, x + c) = reference_.plane[p].At(y + r, x + c);
      }
    }
  }
  Idct_8x8_Add_C(blocks[0], &expected_.plane[0].At(16, 16), 48);
  Idct_8x8_Add_C(blocks[3], &expected_.plane[0].At(24, 24), 48);
  Idct_8x8_Add_C(blocks[5], &expected_.plane[2].At(8, 8), 24);

  Reconstruct_Macroblock(ctx);
  EXPECT_TRUE(SameStore(target_, expected_));
}

TEST_F(ReconstructTest, IntraBlocksWithAcCoefficientsUseTheFullTransform) {
  Configure(CHROMA_420, FRAME_PICTURE, I_PICTURE);
  std::mt19937 rng(5);
  MacroblockContext ctx = IntraContext(0, 0);
  auto& blocks = decoder_state.bitstream.coefficient_blocks;
  const int origin[6][3] = {{0, 0, 0}, {0, 0, 8}, {0, 8, 0}, {0, 8, 8}, {1, 0, 0}, {2, 0, 0}};
  for (int i = 0; i < 6; ++i) {
    auto values = RandomCoefficients(rng);
    std::copy(values.begin(), values.end(), blocks[i]);
    ctx.block_extent[i] = 64;
    TestPlane& plane = expected_.plane[origin[i][0]];
    Idct_8x8_Put_C(blocks[i], &plane.At(origin[i][1], origin[i][2]), plane.width);
  }
  Reconstruct_Macroblock(ctx);
  EXPECT_TRUE(SameStore(target_, expected_));
}

TEST_F(ReconstructTest, IntraMacroblockIgnoresThePredictionState) {
  // No prediction is formed for intra macroblocks, whatever vectors and
  // motion type the context still carries.
  Configure(CHROMA_420, FRAME_PICTURE, P_PICTURE);
  MacroblockContext ctx = IntraContext(0, 0);
  ctx.motion_type = MC_FRAME;
  ctx.PMV[0][0][0] = 6;
  IntraBlocksWithDistinctLevels(Join(kFrameLuma, {{1, 0, 1, 0}, {2, 0, 1, 0}}), 0, 0);
  Reconstruct_Macroblock(ctx);
  EXPECT_TRUE(SameStore(target_, expected_));
}

TEST(ClearCoefficientBlock, ZeroesExactlyOneBlock) {
  auto& blocks = decoder_state.bitstream.coefficient_blocks;
  for (auto& block : blocks) std::fill(std::begin(block), std::end(block), int16_t{7});
  Clear_Coefficient_Block(4);
  for (int b = 0; b < 12; ++b) {
    for (int16_t c : blocks[b]) ASSERT_EQ(c, b == 4 ? 0 : 7) << "block " << b;
  }
}

}  // namespace
