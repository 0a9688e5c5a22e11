// Motion-compensated prediction: the eight row kernels against their
// formulas, and whole macroblocks against a plain model of half-sample
// prediction from an edge-replicated reference, for every motion type,
// picture structure and chroma format. The planes are exact-size heap blocks,
// so a read outside a frame store fails under AddressSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/diagnostics.h"
#include "decoder/prediction.h"

namespace {

// ---------------------------------------------------------------------------
// Row kernels.

int Formula(const uint8_t* s, int n, int xh, int yh, int i) {
  if (!xh && !yh) return s[i];
  if (xh && !yh) return (s[i] + s[i + 1] + 1) >> 1;
  if (!xh && yh) return (s[i] + s[i + n] + 1) >> 1;
  return (s[i] + s[i + 1] + s[i + n] + s[i + n + 1] + 2) >> 2;
}

TEST(PredictionKernels, EachLoopMatchesItsFormula) {
  std::mt19937 rng(42);
  // Field lines of a frame, frame lines, and packed rows.
  for (int average = 0; average < 2; ++average) {
    for (int index = 0; index < 4; ++index) {
      const int xh = index & 1, yh = index >> 1;
      for (int slot : {PREDICT_8, PREDICT_16}) {
        PredictFunction kernel =
            (average ? prediction_kernels.average : prediction_kernels.put)[slot][index];
        const int w = slot == PREDICT_16 ? 16 : 8;
        for (int pitch : {80, 40, w + xh}) {
          for (int h : {1, 4, 8, 16}) {
            // The source holds exactly the bytes the kernel may read.
            const size_t source_size = static_cast<size_t>((h - 1 + yh) * pitch + w + xh);
            std::vector<uint8_t> source(source_size);
            for (auto& b : source) b = static_cast<uint8_t>(rng());
            std::vector<uint8_t> destination(static_cast<size_t>(h * pitch + 32));
            for (auto& b : destination) b = static_cast<uint8_t>(rng());
            std::vector<uint8_t> expected = destination;
            for (int r = 0; r < h; ++r) {
              for (int i = 0; i < w; ++i) {
                int p = Formula(source.data() + r * pitch, pitch, xh, yh, i);
                uint8_t& d = expected[static_cast<size_t>(r * pitch + i)];
                d = static_cast<uint8_t>(average ? (d + p + 1) >> 1 : p);
              }
            }
            kernel(destination.data(), source.data(), pitch, h);
            ASSERT_EQ(destination, expected)
                << "average " << average << " xh " << xh << " yh " << yh << " w " << w << " h " << h
                << " pitch " << pitch;
          }
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Frame stores owned by the test, and the model.

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

// Lines are frame lines (parity -1) or the lines of one field (0 top, 1 bottom).
int Row(int parity, int line) {
  return parity < 0 ? line : 2 * line + parity;
}

// A reference sample with the picture's edge samples repeated outward; a
// field repeats its own first and last lines.
int Reference(const TestPlane& p, int parity, long line, long column) {
  const long lines = parity < 0 ? p.height : p.height / 2;
  line = std::clamp(line, 0L, lines - 1);
  column = std::clamp(column, 0L, static_cast<long>(p.width) - 1);
  return p.At(Row(parity, static_cast<int>(line)), static_cast<int>(column));
}

long FloorHalf(long v) {
  return v >= 0 ? v / 2 : -((-v + 1) / 2);
}

int Interpolated(const TestPlane& ref, int parity, int line, int column, long dx, long dy) {
  const long xi = FloorHalf(dx), xh = dx - 2 * xi;
  const long yi = FloorHalf(dy), yh = dy - 2 * yi;
  const long y = line + yi, x = column + xi;
  const int a = Reference(ref, parity, y, x);
  const int b = Reference(ref, parity, y, x + 1);
  const int c = Reference(ref, parity, y + 1, x);
  const int d = Reference(ref, parity, y + 1, x + 1);
  if (!xh && !yh) return a;
  if (xh && !yh) return (a + b + 1) >> 1;
  if (!xh && yh) return (a + c + 1) >> 1;
  return (a + b + c + d + 2) >> 2;
}

void ModelRectangle(TestPlane& dst, int dst_parity, const TestPlane& ref, int ref_parity, int x,
                    int y, int w, int h, long dx, long dy, bool average) {
  for (int r = 0; r < h; ++r) {
    for (int c = 0; c < w; ++c) {
      const int p = Interpolated(ref, ref_parity, y + r, x + c, dx, dy);
      uint8_t& d = dst.At(Row(dst_parity, y + r), x + c);
      d = static_cast<uint8_t>(average ? (d + p + 1) >> 1 : p);
    }
  }
}

// One luma rectangle (in luma samples and lines of the given parities) and
// the matching chroma rectangles.
void ModelArea(TestStore& dst, int dst_parity, const TestStore& ref, int ref_parity, int x, int y,
               int w, int h, long dx, long dy, bool average, int chroma_format) {
  ModelRectangle(dst.plane[0], dst_parity, ref.plane[0], ref_parity, x, y, w, h, dx, dy, average);
  if (chroma_format != CHROMA_444) {
    x /= 2;
    w /= 2;
    dx /= 2;  // toward zero
  }
  if (chroma_format == CHROMA_420) {
    y /= 2;
    h /= 2;
    dy /= 2;
  }
  for (int p = 1; p <= 2; ++p) {
    ModelRectangle(dst.plane[p], dst_parity, ref.plane[p], ref_parity, x, y, w, h, dx, dy, average);
  }
}

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

std::vector<std::string> captured_lines;
void Capture(const char* line) {
  captured_lines.emplace_back(line);
}

class PredictionTest : public ::testing::Test {
 protected:
  // A picture of mb_width x mb_height macroblocks with random reference
  // contents; decode_target chosen as the picture driver does.
  void Configure(int chroma_format, int picture_structure, int picture_coding_type,
                 int in_second_field = 0, int mb_width = 4, int mb_height = 4) {
    decoder_state = DecoderState{};
    DecoderState& d = decoder_state;
    d.chroma_format = chroma_format;
    d.allocated_chroma_format = chroma_format;
    d.picture_structure = picture_structure;
    d.picture_coding_type = picture_coding_type;
    d.in_second_field = in_second_field;
    d.mb_width = mb_width;
    d.mb_height = mb_height;
    d.coded_width = 16 * mb_width;
    d.coded_height = 16 * mb_height;
    d.chroma_width = chroma_format == CHROMA_444 ? d.coded_width : d.coded_width / 2;
    d.chroma_height = chroma_format == CHROMA_420 ? d.coded_height / 2 : d.coded_height;
    d.blocks_per_macroblock = chroma_format == CHROMA_420   ? 6
                              : chroma_format == CHROMA_422 ? 8
                                                            : 12;
    format_ = chroma_format;
    unsigned seed = 1;
    for (TestStore* store : {&older_, &newer_, &b_store_}) {
      std::mt19937 rng(seed++);
      for (int p = 0; p < 3; ++p) {
        TestPlane& plane = store->plane[p];
        plane.width = p == 0 ? d.coded_width : d.chroma_width;
        plane.height = p == 0 ? d.coded_height : d.chroma_height;
        plane.data.assign(static_cast<size_t>(plane.width * plane.height), 0);
        for (auto& s : plane.data) s = static_cast<uint8_t>(rng());
      }
    }
    d.older_reference = older_.View();
    d.newer_reference = newer_.View();
    d.b_picture_store = b_store_.View();
    target_ = picture_coding_type == B_PICTURE ? &b_store_ : &newer_;
    d.decode_target = target_->View();
    parity_ = -1;
    if (picture_structure != FRAME_PICTURE) parity_ = picture_structure == BOTTOM_FIELD ? 1 : 0;
    if (parity_ == 1) {
      d.decode_target.plane[0] += d.coded_width;
      d.decode_target.plane[1] += d.chroma_width;
      d.decode_target.plane[2] += d.chroma_width;
    }
    Prepare_Prediction_Walks();
    expected_ = *target_;
  }

  void Area(const TestStore& ref, int ref_parity, int dst_parity, int x, int y, int w, int h,
            long dx, long dy, bool average) {
    ModelArea(expected_, dst_parity, ref, ref_parity, x, y, w, h, dx, dy, average, format_);
  }

  TestStore older_, newer_, b_store_;
  TestStore* target_ = nullptr;
  TestStore expected_;  // what the target store must hold afterwards
  int parity_ = -1;     // of the picture being decoded
  int format_ = CHROMA_420;
};

// ---------------------------------------------------------------------------
// Frame pictures.

TEST_F(PredictionTest, BPictureFormsForwardThenAveragesBackward) {
  Configure(CHROMA_420, FRAME_PICTURE, B_PICTURE);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD | MACROBLOCK_MOTION_BACKWARD;
  ctx.motion_type = MC_FRAME;
  ctx.PMV[0][0][0] = 5;
  ctx.PMV[0][0][1] = -3;
  ctx.PMV[0][1][0] = -2;
  ctx.PMV[0][1][1] = 7;
  Predict_Macroblock(16, 16, ctx);
  Area(older_, -1, -1, 16, 16, 16, 16, 5, -3, false);
  Area(newer_, -1, -1, 16, 16, 16, 16, -2, 7, true);
  EXPECT_TRUE(SameStore(b_store_, expected_));
}

TEST_F(PredictionTest, BackwardOnlyIsNotAveraged) {
  Configure(CHROMA_420, FRAME_PICTURE, B_PICTURE);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_BACKWARD;
  ctx.motion_type = MC_FRAME;
  ctx.PMV[0][1][0] = 3;
  ctx.PMV[0][1][1] = 1;
  Predict_Macroblock(32, 0, ctx);
  Area(newer_, -1, -1, 32, 0, 16, 16, 3, 1, false);
  EXPECT_TRUE(SameStore(b_store_, expected_));
}

TEST_F(PredictionTest, OddVerticalFrameVectorInterpolatesAdjacentFrameLines) {
  Configure(CHROMA_420, FRAME_PICTURE, P_PICTURE);
  // Even and odd lines far apart, so mixing lines of one field would show.
  for (int r = 0; r < older_.plane[0].height; ++r) {
    for (int c = 0; c < older_.plane[0].width; ++c) {
      older_.plane[0].At(r, c) = static_cast<uint8_t>((r % 2 ? 200 : 10) + r);
    }
  }
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
  ctx.motion_type = MC_FRAME;
  ctx.PMV[0][0][1] = 1;
  Predict_Macroblock(16, 16, ctx);
  for (int r = 0; r < 16; ++r) {
    const int line = 16 + r;
    const int above = (line % 2 ? 200 : 10) + line;
    const int below = ((line + 1) % 2 ? 200 : 10) + line + 1;
    for (int c = 16; c < 32; ++c) {
      ASSERT_EQ(newer_.plane[0].At(line, c), (above + below + 1) >> 1) << "line " << line;
    }
  }
}

TEST_F(PredictionTest, FieldMotionInFramePicturePredictsEachFieldFromItsSelectedField) {
  Configure(CHROMA_420, FRAME_PICTURE, P_PICTURE);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
  ctx.motion_type = MC_FIELD;
  ctx.motion_vertical_field_select[0][0] = 1;
  ctx.motion_vertical_field_select[1][0] = 0;
  ctx.PMV[0][0][0] = 2;
  ctx.PMV[0][0][1] = 5;  // frame units: field vector 2
  ctx.PMV[1][0][0] = -1;
  ctx.PMV[1][0][1] = -6;  // field vector -3
  Predict_Macroblock(16, 32, ctx);
  Area(older_, 1, 0, 16, 16, 16, 8, 2, 2, false);
  Area(older_, 0, 1, 16, 16, 16, 8, -1, -3, false);
  EXPECT_TRUE(SameStore(newer_, expected_));
}

TEST_F(PredictionTest, BackwardFieldMotionInFramePictureUsesBackwardSelects) {
  Configure(CHROMA_422, FRAME_PICTURE, B_PICTURE);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD | MACROBLOCK_MOTION_BACKWARD;
  ctx.motion_type = MC_FIELD;
  ctx.motion_vertical_field_select[0][0] = 0;
  ctx.motion_vertical_field_select[1][0] = 0;
  ctx.motion_vertical_field_select[0][1] = 1;
  ctx.motion_vertical_field_select[1][1] = 0;
  ctx.PMV[0][0][0] = 1;
  ctx.PMV[1][0][1] = 3;
  ctx.PMV[0][1][0] = -3;
  ctx.PMV[0][1][1] = 2;
  ctx.PMV[1][1][0] = 4;
  ctx.PMV[1][1][1] = -2;
  Predict_Macroblock(16, 16, ctx);
  Area(older_, 0, 0, 16, 8, 16, 8, 1, 0, false);
  Area(older_, 0, 1, 16, 8, 16, 8, 0, 1, false);
  Area(newer_, 1, 0, 16, 8, 16, 8, -3, 1, true);
  Area(newer_, 0, 1, 16, 8, 16, 8, 4, -1, true);
  EXPECT_TRUE(SameStore(b_store_, expected_));
}

TEST_F(PredictionTest, DualPrimeInFramePictureAveragesBothParitiesPerField) {
  Configure(CHROMA_420, FRAME_PICTURE, P_PICTURE);
  decoder_state.top_field_first = 1;
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
  ctx.motion_type = MC_DMV;
  ctx.PMV[0][0][0] = 3;
  ctx.PMV[0][0][1] = -6;  // field vector (3, -3)
  Predict_Macroblock(16, 32, ctx);
  // Derived vectors for (3, -3), dmvector (0, 0), top field first:
  // top from bottom (2, -3), bottom from top (5, -4).
  Area(older_, 0, 0, 16, 16, 16, 8, 3, -3, false);
  Area(older_, 1, 0, 16, 16, 16, 8, 2, -3, true);
  Area(older_, 1, 1, 16, 16, 16, 8, 3, -3, false);
  Area(older_, 0, 1, 16, 16, 16, 8, 5, -4, true);
  EXPECT_TRUE(SameStore(newer_, expected_));
}

TEST_F(PredictionTest, PMacroblockWithoutMotionCopiesTheColocatedArea) {
  Configure(CHROMA_420, FRAME_PICTURE, P_PICTURE);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_PATTERN;  // no motion bits; the layer set zero vectors
  ctx.motion_type = MC_FRAME;
  Predict_Macroblock(48, 48, ctx);
  Area(older_, -1, -1, 48, 48, 16, 16, 0, 0, false);
  EXPECT_TRUE(SameStore(newer_, expected_));
}

TEST_F(PredictionTest, BMacroblockWithoutDirectionsLeavesTheStoreAlone) {
  Configure(CHROMA_420, FRAME_PICTURE, B_PICTURE);
  MacroblockContext ctx{};
  ctx.motion_type = MC_FRAME;
  ctx.PMV[0][0][0] = 7;
  Predict_Macroblock(16, 16, ctx);
  EXPECT_TRUE(SameStore(b_store_, expected_));
}

// ---------------------------------------------------------------------------
// Chroma vectors.

struct ChromaCase {
  int chroma_format;
  // Chroma rectangle of the macroblock at luma (16, 16) and the chroma
  // vector for luma (-3, -3), in chroma samples and half samples.
  int x, y, w, h, dx, dy;
};

class ChromaVectorTest : public PredictionTest, public ::testing::WithParamInterface<ChromaCase> {};

TEST_P(ChromaVectorTest, HalvesTowardZeroAsTheFormatSubsamples) {
  const ChromaCase& k = GetParam();
  Configure(k.chroma_format, FRAME_PICTURE, P_PICTURE);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
  ctx.motion_type = MC_FRAME;
  ctx.PMV[0][0][0] = -3;
  ctx.PMV[0][0][1] = -3;
  Predict_Macroblock(16, 16, ctx);
  for (int p = 1; p <= 2; ++p) {
    TestPlane& expected = expected_.plane[p];
    ModelRectangle(expected, -1, older_.plane[p], -1, k.x, k.y, k.w, k.h, k.dx, k.dy, false);
    for (int r = 0; r < k.h; ++r) {
      for (int c = 0; c < k.w; ++c) {
        ASSERT_EQ(newer_.plane[p].At(k.y + r, k.x + c), expected.At(k.y + r, k.x + c))
            << "plane " << p << " row " << r << " column " << c;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ChromaVectorTest,
                         ::testing::Values(ChromaCase{CHROMA_420, 8, 8, 8, 8, -1, -1},
                                           ChromaCase{CHROMA_422, 8, 16, 8, 16, -1, -3},
                                           ChromaCase{CHROMA_444, 16, 16, 16, 16, -3, -3}));

TEST_F(PredictionTest, ChromaOfLumaMinusThreeIn420AveragesFourSamplesUpAndLeft) {
  Configure(CHROMA_420, FRAME_PICTURE, P_PICTURE);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
  ctx.motion_type = MC_FRAME;
  ctx.PMV[0][0][0] = -3;
  ctx.PMV[0][0][1] = -3;
  Predict_Macroblock(16, 16, ctx);
  // Chroma vector (-1, -1): xi = yi = -1 with both half-sample bits set.
  const TestPlane& ref = older_.plane[1];
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 8; ++c) {
      const int y = 8 + r, x = 8 + c;
      const int expected =
          (ref.At(y - 1, x - 1) + ref.At(y - 1, x) + ref.At(y, x - 1) + ref.At(y, x) + 2) >> 2;
      ASSERT_EQ(newer_.plane[1].At(y, x), expected);
    }
  }
}

// ---------------------------------------------------------------------------
// Field pictures.

TEST_F(PredictionTest, SecondFieldOfPFramePredictsOppositeParityFromItsFirstField) {
  Configure(CHROMA_420, BOTTOM_FIELD, P_PICTURE, /*in_second_field=*/1);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
  ctx.motion_type = MC_FIELD;
  ctx.motion_vertical_field_select[0][0] = 0;  // the top field: this frame's first field
  ctx.PMV[0][0][0] = 3;
  ctx.PMV[0][0][1] = -1;
  // The reference is read from the even lines, which the prediction of this
  // bottom field leaves as they are.
  Area(newer_, 0, 1, 16, 16, 16, 16, 3, -1, false);
  Predict_Macroblock(16, 16, ctx);
  EXPECT_TRUE(SameStore(newer_, expected_));

  // The same parity comes from the previous reference frame.
  Configure(CHROMA_420, BOTTOM_FIELD, P_PICTURE, 1);
  ctx.motion_vertical_field_select[0][0] = 1;
  Predict_Macroblock(16, 16, ctx);
  Area(older_, 1, 1, 16, 16, 16, 16, 3, -1, false);
  EXPECT_TRUE(SameStore(newer_, expected_));
}

TEST_F(PredictionTest, FirstFieldAndBFieldsPredictFromTheReferenceStores) {
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
  ctx.motion_type = MC_FIELD;
  ctx.motion_vertical_field_select[0][0] = 1;
  ctx.PMV[0][0][0] = -4;
  ctx.PMV[0][0][1] = 2;

  Configure(CHROMA_420, TOP_FIELD, P_PICTURE, /*in_second_field=*/0);
  Predict_Macroblock(32, 16, ctx);
  Area(older_, 1, 0, 32, 16, 16, 16, -4, 2, false);
  EXPECT_TRUE(SameStore(newer_, expected_));

  // A B picture's second field never predicts from the frame being decoded.
  Configure(CHROMA_420, TOP_FIELD, B_PICTURE, /*in_second_field=*/1);
  Predict_Macroblock(32, 16, ctx);
  Area(older_, 1, 0, 32, 16, 16, 16, -4, 2, false);
  EXPECT_TRUE(SameStore(b_store_, expected_));
}

TEST_F(PredictionTest, BottomFieldPredictionWritesOnlyOddLines) {
  Configure(CHROMA_422, BOTTOM_FIELD, P_PICTURE);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
  ctx.motion_type = MC_FIELD;
  ctx.motion_vertical_field_select[0][0] = 0;
  ctx.PMV[0][0][0] = 1;
  ctx.PMV[0][0][1] = 1;
  const TestStore before = newer_;
  Predict_Macroblock(0, 16, ctx);
  for (int p = 0; p < 3; ++p) {
    for (int r = 0; r < newer_.plane[p].height; r += 2) {
      for (int c = 0; c < newer_.plane[p].width; ++c) {
        ASSERT_EQ(newer_.plane[p].At(r, c), before.plane[p].At(r, c)) << "plane " << p;
      }
    }
  }
  Area(older_, 0, 1, 0, 16, 16, 16, 1, 1, false);
  EXPECT_TRUE(SameStore(newer_, expected_));
}

TEST_F(PredictionTest, Field16x8PredictsUpperAndLowerHalvesSeparately) {
  Configure(CHROMA_420, TOP_FIELD, B_PICTURE);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD | MACROBLOCK_MOTION_BACKWARD;
  ctx.motion_type = MC_16X8;
  ctx.motion_vertical_field_select[0][0] = 1;
  ctx.motion_vertical_field_select[1][0] = 0;
  ctx.motion_vertical_field_select[0][1] = 0;
  ctx.motion_vertical_field_select[1][1] = 1;
  ctx.PMV[0][0][0] = 1;
  ctx.PMV[0][0][1] = 1;
  ctx.PMV[1][0][0] = -2;
  ctx.PMV[1][0][1] = 3;
  ctx.PMV[0][1][0] = 5;
  ctx.PMV[0][1][1] = -1;
  ctx.PMV[1][1][0] = 0;
  ctx.PMV[1][1][1] = -4;
  Predict_Macroblock(16, 0, ctx);
  Area(older_, 1, 0, 16, 0, 16, 8, 1, 1, false);
  Area(older_, 0, 0, 16, 8, 16, 8, -2, 3, false);
  Area(newer_, 0, 0, 16, 0, 16, 8, 5, -1, true);
  Area(newer_, 1, 0, 16, 8, 16, 8, 0, -4, true);
  EXPECT_TRUE(SameStore(b_store_, expected_));
}

TEST_F(PredictionTest, DualPrimeInFieldPictureAveragesSameAndOppositeParity) {
  Configure(CHROMA_420, TOP_FIELD, P_PICTURE, /*in_second_field=*/0);
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
  ctx.motion_type = MC_DMV;
  ctx.PMV[0][0][0] = 4;
  ctx.PMV[0][0][1] = 6;
  ctx.dmvector[0] = 1;
  ctx.dmvector[1] = -1;
  Predict_Macroblock(16, 16, ctx);
  // Top field: opposite-parity vector (2 + 1, 3 - 1 - 1).
  Area(older_, 0, 0, 16, 16, 16, 16, 4, 6, false);
  Area(older_, 1, 0, 16, 16, 16, 16, 3, 1, true);
  EXPECT_TRUE(SameStore(newer_, expected_));

  // Second field (bottom): the opposite parity is this frame's first field
  // (the even lines of the store being decoded), vector (2 + 1, 3 - 1 + 1).
  Configure(CHROMA_420, BOTTOM_FIELD, P_PICTURE, /*in_second_field=*/1);
  Area(older_, 1, 1, 16, 16, 16, 16, 4, 6, false);
  Area(newer_, 0, 1, 16, 16, 16, 16, 3, 3, true);
  Predict_Macroblock(16, 16, ctx);
  EXPECT_TRUE(SameStore(newer_, expected_));
}

// ---------------------------------------------------------------------------
// Invalid motion types.

TEST_F(PredictionTest, InvalidMotionTypeIsReportedAndPredictsNothing) {
  captured_lines.clear();
  Decoder_Set_Diagnostic_Sink(Capture);
  Configure(CHROMA_420, TOP_FIELD, B_PICTURE);
  decoder_state.messages_off = 1;  // reported all the same
  MacroblockContext ctx{};
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD | MACROBLOCK_MOTION_BACKWARD;
  ctx.motion_type = MC_NONE;
  Predict_Macroblock(16, 16, ctx);
  EXPECT_TRUE(SameStore(b_store_, expected_));
  EXPECT_EQ(captured_lines,
            (std::vector<std::string>{"invalid motion_type\n", "invalid motion_type\n"}));

  captured_lines.clear();
  Configure(CHROMA_420, FRAME_PICTURE, P_PICTURE);
  ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
  Predict_Macroblock(16, 16, ctx);
  EXPECT_TRUE(SameStore(newer_, expected_));
  EXPECT_EQ(captured_lines, std::vector<std::string>{"invalid motion_type\n"});
  EXPECT_EQ(decoder_state.decode_error, 0);
  Decoder_Set_Diagnostic_Sink(nullptr);
}

// ---------------------------------------------------------------------------
// Vectors reaching outside the reference.

TEST_F(PredictionTest, VectorsOutsideThePictureRepeatTheEdges) {
  std::mt19937 rng(2024);
  const int structures[] = {FRAME_PICTURE, TOP_FIELD, BOTTOM_FIELD};
  const int formats[] = {CHROMA_420, CHROMA_422, CHROMA_444};
  for (int trial = 0; trial < 600; ++trial) {
    const int structure = structures[rng() % 3];
    const int format = formats[rng() % 3];
    const bool b_picture = rng() % 2;
    // A small picture (3 x 2 macroblocks per picture, frame or field) puts
    // every macroblock at an edge.
    Configure(format, structure, b_picture ? B_PICTURE : P_PICTURE, 0, 3,
              structure == FRAME_PICTURE ? 2 : 4);
    const int bx = 16 * static_cast<int>(rng() % 3);
    const int by = 16 * static_cast<int>(rng() % 2);
    auto vector = [&]() -> int {
      switch (rng() % 8) {
        case 0:
          return static_cast<int>(rng() % 8193) - 4096;  // the largest codable range
        case 1:
          return (rng() % 2 ? 1 : -1) * 1000000000;  // damaged beyond any range
        default:
          return static_cast<int>(rng() % 161) - 80;
      }
    };
    MacroblockContext ctx{};
    ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD | (b_picture ? MACROBLOCK_MOTION_BACKWARD : 0);
    const bool field_motion = structure != FRAME_PICTURE || rng() % 2;
    ctx.motion_type = field_motion ? MC_FIELD : MC_FRAME;
    for (auto& r : ctx.PMV) {
      for (auto& s : r) {
        for (auto& t : s) t = vector();
      }
    }
    for (auto& r : ctx.motion_vertical_field_select) {
      for (auto& s : r) s = static_cast<int>(rng() % 2);
    }
    Predict_Macroblock(bx, by, ctx);

    const int directions = b_picture ? 2 : 1;
    for (int s = 0; s < directions; ++s) {
      const TestStore& ref = s == 0 ? older_ : newer_;
      const bool average = s == 1;
      if (structure != FRAME_PICTURE) {
        Area(ref, ctx.motion_vertical_field_select[0][s], parity_, bx, by, 16, 16, ctx.PMV[0][s][0],
             ctx.PMV[0][s][1], average);
      } else if (!field_motion) {
        Area(ref, -1, -1, bx, by, 16, 16, ctx.PMV[0][s][0], ctx.PMV[0][s][1], average);
      } else {
        for (int f = 0; f < 2; ++f) {
          Area(ref, ctx.motion_vertical_field_select[f][s], f, bx, by / 2, 16, 8, ctx.PMV[f][s][0],
               ctx.PMV[f][s][1] >> 1, average);
        }
      }
    }
    ASSERT_TRUE(SameStore(*target_, expected_))
        << "trial " << trial << " structure " << structure << " format " << format << " at (" << bx
        << ", " << by << ") motion_type " << ctx.motion_type;
  }
}

TEST_F(PredictionTest, DualPrimeFromDamagedPredictorsTakesCornerSamples) {
  // Predictors far beyond the codable range, fed to the dual-prime
  // derivation, must neither overflow nor reach outside the planes: every
  // line of both parities clamps to the same corner of its field.
  for (int structure : {FRAME_PICTURE, TOP_FIELD}) {
    for (int sign : {1, -1}) {
      Configure(CHROMA_420, structure, P_PICTURE, 0, 2, 2);
      MacroblockContext ctx{};
      ctx.macroblock_type = MACROBLOCK_MOTION_FORWARD;
      ctx.motion_type = MC_DMV;
      ctx.PMV[0][0][0] = sign * 2147483647;
      ctx.PMV[0][0][1] = -sign * 2147483647;
      ctx.dmvector[0] = 1;
      ctx.dmvector[1] = 1;
      Predict_Macroblock(16, 0, ctx);
      // Right and top for sign 1, left and bottom for sign -1.
      const TestPlane& ref = older_.plane[0];
      const int column = sign > 0 ? ref.width - 1 : 0;
      const int top_row = sign > 0 ? 0 : ref.height - 2;
      const int corner = (ref.At(top_row, column) + ref.At(top_row + 1, column) + 1) >> 1;
      for (int r = 0; r < 16; ++r) {
        const int row = structure == FRAME_PICTURE ? r : 2 * r;
        for (int c = 16; c < 32; ++c) {
          ASSERT_EQ(newer_.plane[0].At(row, c), corner) << "structure " << structure;
        }
      }
    }
  }
}

}  // namespace
