// Picture output: which frame store is shown, which vertical chroma filter it
// gets, and the colour conversion of its rows. decoder_state and the stores
// are set up directly, as the decoder leaves them after a picture.
#include "convert/picture_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/row_kernels.h"
#include "decoder/decoder_state.h"
#include "decoder/tables.h"
#include "tests/convert/guarded_buffer.h"

namespace {

using Bgr = std::array<uint8_t, 3>;

// The frame stores by their role.
enum Store { NEWER = 0, OLDER = 1, B_STORE = 2 };

// The three frame stores and the upsampling buffers of one stream geometry.
class PictureOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { decoder_state = DecoderState{}; }

  // Lays out stores of width x height luma in `chroma_format`, all samples
  // mid-grey, with the BT.709 colour matrix.
  void Configure(int chroma_format, int width, int height, bool mpeg2 = true) {
    DecoderState& ds = decoder_state;
    ds.bitstream.is_mpeg2 = mpeg2 ? 1 : 0;
    ds.chroma_format = chroma_format;
    ds.allocated_chroma_format = chroma_format;
    ds.mb_width = width / 16;
    ds.mb_height = height / 16;
    ds.coded_width = width;
    ds.coded_height = height;
    ds.chroma_width = chroma_format == CHROMA_444 ? width : width / 2;
    ds.chroma_height = chroma_format == CHROMA_420 ? height / 2 : height;
    ds.colour_coefficients = colour_table[1];
    ds.frame_stores_allocated = 1;
    const size_t luma_size = static_cast<size_t>(width) * height;
    const size_t chroma_size = static_cast<size_t>(ds.chroma_width) * ds.chroma_height;
    for (auto& store : stores_) {
      store[0].assign(luma_size, 128);
      store[1].assign(chroma_size, 128);
      store[2].assign(chroma_size, 128);
    }
    ds.newer_reference = Planes(NEWER);
    ds.older_reference = Planes(OLDER);
    ds.b_picture_store = Planes(B_STORE);
    ds.newer_reference_valid = 1;
    ds.older_reference_valid = 1;
    ds.decode_target = ds.newer_reference;

    cb_422_ = std::make_unique<GuardedBuffer>(static_cast<size_t>(ds.chroma_width) * height);
    cr_422_ = std::make_unique<GuardedBuffer>(static_cast<size_t>(ds.chroma_width) * height);
    cb_444_ = std::make_unique<GuardedBuffer>(width);
    cr_444_ = std::make_unique<GuardedBuffer>(width);
    ds.cb_422_plane = chroma_format == CHROMA_420 ? cb_422_->data() : nullptr;
    ds.cr_422_plane = chroma_format == CHROMA_420 ? cr_422_->data() : nullptr;
  }

  // Row `row` of the selected picture, through the fixture's chroma rows.
  void ConvertRow(uint8_t* dest, int row) {
    uint8_t* const chroma_rows[2] = {cb_444_->data(), cr_444_->data()};
    Convert_Row_To_BGR(Output_Picture(), chroma_rows, dest, row);
  }

  // Makes the state look as after decoding a frame of `picture_coding_type`.
  static void JustDecoded(int picture_coding_type, int progressive_frame) {
    decoder_state.picture_coding_type = picture_coding_type;
    decoder_state.picture_structure = FRAME_PICTURE;
    decoder_state.progressive_frame = progressive_frame;
  }

  bool BuffersIntact() const {
    return cb_422_->GuardsIntact() && cr_422_->GuardsIntact() && cb_444_->GuardsIntact() &&
           cr_444_->GuardsIntact();
  }

  FrameStore Planes(Store s) {
    return FrameStore{{stores_[s][0].data(), stores_[s][1].data(), stores_[s][2].data()}};
  }
  std::vector<uint8_t>& Plane(Store s, int component) { return stores_[s][component]; }

  std::array<std::array<std::vector<uint8_t>, 3>, 3> stores_;
  std::unique_ptr<GuardedBuffer> cb_422_, cr_422_, cb_444_, cr_444_;
};

// One pixel converted through a 4:4:4 picture, where chroma is used as is.
Bgr ConvertPixel444(int y, int cb, int cr, const ColourCoefficients& coefficients) {
  std::vector<uint8_t> luma(16, static_cast<uint8_t>(y));
  std::vector<uint8_t> cb_row(16, static_cast<uint8_t>(cb));
  std::vector<uint8_t> cr_row(16, static_cast<uint8_t>(cr));
  DecoderState& ds = decoder_state;
  ds.allocated_chroma_format = CHROMA_444;
  ds.coded_width = 16;
  ds.chroma_width = 16;
  ds.output_luma = luma.data();
  ds.output_cb = cb_row.data();
  ds.output_cr = cr_row.data();
  ds.colour_coefficients = coefficients;
  GuardedBuffer dest(3 * 16);
  uint8_t* const unused_rows[2] = {};
  Convert_Row_To_BGR(Output_Picture(), unused_rows, dest.data(), 0);
  EXPECT_TRUE(dest.GuardsIntact());
  return Bgr{dest[0], dest[1], dest[2]};
}

// One pixel through the colour kernel alone, leaving decoder_state alone.
Bgr ReferencePixel(int y, int cb, int cr) {
  const uint8_t luma = static_cast<uint8_t>(y);
  const uint8_t u = static_cast<uint8_t>(cb);
  const uint8_t v = static_cast<uint8_t>(cr);
  Bgr bgr{};
  portable_colour_convert_kernels.yuv_to_bgr_row(bgr.data(), &luma, &u, &v, 1,
                                                 decoder_state.colour_coefficients);
  return bgr;
}

// ---------------------------------------------------------------------------
// The store shown.

struct DisplayCase {
  const char* name;
  int picture_coding_type;
  int flush;
  Store expected_store;
};

class DisplayOrderTest : public PictureOutputTest,
                         public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(DisplayOrderTest, ShowsTheStoreDueAndItsChroma) {
  const DisplayCase& c = GetParam();
  for (int format : {CHROMA_420, CHROMA_422, CHROMA_444}) {
    SCOPED_TRACE(format);
    Configure(format, 32, 32);
    JustDecoded(c.picture_coding_type, 1);
    ASSERT_EQ(Select_Output_Picture(c.flush), 0);
    const FrameStore shown = Planes(c.expected_store);
    EXPECT_EQ(decoder_state.output_luma, shown.plane[0]);
    if (format == CHROMA_420) {
      EXPECT_EQ(decoder_state.output_cb, decoder_state.cb_422_plane);
      EXPECT_EQ(decoder_state.output_cr, decoder_state.cr_422_plane);
    } else {
      EXPECT_EQ(decoder_state.output_cb, shown.plane[1]);
      EXPECT_EQ(decoder_state.output_cr, shown.plane[2]);
    }
    EXPECT_TRUE(BuffersIntact());
  }
}

INSTANTIATE_TEST_SUITE_P(PictureOutput, DisplayOrderTest,
                         ::testing::Values(DisplayCase{"BPicture", B_PICTURE, 0, B_STORE},
                                           DisplayCase{"PPicture", P_PICTURE, 0, OLDER},
                                           DisplayCase{"IPicture", I_PICTURE, 0, OLDER},
                                           DisplayCase{"Flush", P_PICTURE, 1, NEWER}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PictureOutputTest, FlushWithoutReferenceChangesNothing) {
  Configure(CHROMA_420, 32, 32);
  JustDecoded(B_PICTURE, 1);
  decoder_state.newer_reference_valid = 0;
  const uint8_t sentinel[3] = {1, 2, 3};
  decoder_state.output_luma = &sentinel[0];
  decoder_state.output_cb = &sentinel[1];
  decoder_state.output_cr = &sentinel[2];
  const std::vector<uint8_t> cb_before = cb_422_->Contents();

  EXPECT_EQ(Select_Output_Picture(1), 1);
  EXPECT_EQ(decoder_state.output_luma, &sentinel[0]);
  EXPECT_EQ(decoder_state.output_cb, &sentinel[1]);
  EXPECT_EQ(decoder_state.output_cr, &sentinel[2]);
  EXPECT_EQ(cb_422_->Contents(), cb_before);
}

// ---------------------------------------------------------------------------
// The vertical chroma filter of a 4:2:0 picture.

struct FilterCase {
  const char* name;
  int progressive_sequence;
  int picture_coding_type;
  int flush;
  int progressive_frame;  // of the picture just decoded
  int older_reference_progressive;
  int newer_reference_progressive;
  bool expect_progressive;
};

class ChromaFilterChoiceTest : public PictureOutputTest,
                               public ::testing::WithParamInterface<FilterCase> {};

TEST_P(ChromaFilterChoiceTest, FollowsTheShownPicturesFlagOrTheSequence) {
  const FilterCase& c = GetParam();
  Configure(CHROMA_420, 32, 32);
  decoder_state.progressive_sequence = c.progressive_sequence;
  decoder_state.older_reference_progressive = c.older_reference_progressive;
  decoder_state.newer_reference_progressive = c.newer_reference_progressive;
  JustDecoded(c.picture_coding_type, c.progressive_frame);
  const Store shown = c.flush ? NEWER : c.picture_coding_type == B_PICTURE ? B_STORE : OLDER;
  // Fields of very different chroma: a field-wise filter keeps them apart,
  // a progressive one mixes them.
  const int cw = decoder_state.chroma_width;
  const int ch = decoder_state.chroma_height;
  for (int r = 0; r < ch; ++r) {
    for (int x = 0; x < cw; ++x) {
      Plane(shown, 1)[r * cw + x] = static_cast<uint8_t>(r % 2 ? 220 : 30 + x);
      Plane(shown, 2)[r * cw + x] = static_cast<uint8_t>(r % 2 ? 16 : 240 - r);
    }
  }

  ASSERT_EQ(Select_Output_Picture(c.flush), 0);

  const auto kernel = c.expect_progressive
                          ? portable_chroma_upsample_kernels.vertical_420_to_422_progressive
                          : portable_chroma_upsample_kernels.vertical_420_to_422_fieldwise;
  for (int component : {1, 2}) {
    std::vector<uint8_t> expected(static_cast<size_t>(cw) * 2 * ch);
    kernel(Plane(shown, component).data(), expected.data(), cw, ch);
    const uint8_t* out = component == 1 ? decoder_state.output_cb : decoder_state.output_cr;
    EXPECT_EQ(std::vector<uint8_t>(out, out + expected.size()), expected)
        << "component " << component;
  }
  EXPECT_TRUE(BuffersIntact());
}

INSTANTIATE_TEST_SUITE_P(
    PictureOutput, ChromaFilterChoiceTest,
    ::testing::Values(
        // A progressive sequence overrides an interlaced picture's flag.
        FilterCase{"ProgressiveSequenceInterlacedB", 1, B_PICTURE, 0, 0, 0, 0, true},
        FilterCase{"ProgressiveSequenceInterlacedReference", 1, P_PICTURE, 0, 0, 0, 0, true},
        FilterCase{"InterlacedB", 0, B_PICTURE, 0, 0, 1, 1, false},
        FilterCase{"ProgressiveB", 0, B_PICTURE, 0, 1, 0, 0, true},
        // A reference is shown one frame late, with its own flag.
        FilterCase{"ShownReferenceProgressive", 0, P_PICTURE, 0, 0, 1, 0, true},
        FilterCase{"ShownReferenceInterlaced", 0, P_PICTURE, 0, 1, 0, 1, false},
        FilterCase{"FlushedReferenceInterlaced", 0, P_PICTURE, 1, 1, 1, 0, false},
        FilterCase{"FlushedReferenceProgressive", 0, P_PICTURE, 1, 0, 0, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PictureOutputTest, UpsampledChromaStartsAndEndsWithInputRows) {
  Configure(CHROMA_420, 32, 32);
  JustDecoded(B_PICTURE, 0);
  std::vector<uint8_t>& cb = Plane(B_STORE, 1);
  for (size_t i = 0; i < cb.size(); ++i) cb[i] = static_cast<uint8_t>(i * 37 + 11);
  const int cw = decoder_state.chroma_width;
  const int ch = decoder_state.chroma_height;
  auto in_row = [&](int r) { return std::vector<uint8_t>(&cb[r * cw], &cb[r * cw] + cw); };
  auto out_row = [&](int r) {
    return std::vector<uint8_t>(decoder_state.output_cb + r * cw,
                                decoder_state.output_cb + (r + 1) * cw);
  };

  ASSERT_EQ(Select_Output_Picture(0), 0);  // interlaced: field-wise
  EXPECT_EQ(out_row(0), in_row(0));
  EXPECT_EQ(out_row(1), in_row(1));
  EXPECT_EQ(out_row(2 * ch - 2), in_row(ch - 2));
  EXPECT_EQ(out_row(2 * ch - 1), in_row(ch - 1));

  JustDecoded(B_PICTURE, 1);
  ASSERT_EQ(Select_Output_Picture(0), 0);  // progressive
  EXPECT_EQ(out_row(0), in_row(0));
  EXPECT_EQ(out_row(2 * ch - 1), in_row(ch - 1));
}

// ---------------------------------------------------------------------------
// Colour conversion.

TEST_F(PictureOutputTest, LumaRangeMapsToFullScaleGrey) {
  for (int format : {CHROMA_420, CHROMA_422, CHROMA_444}) {
    for (bool mpeg2 : {false, true}) {
      SCOPED_TRACE(testing::Message() << "format " << format << " mpeg2 " << mpeg2);
      Configure(format, 32, 32, mpeg2);
      JustDecoded(I_PICTURE, 1);
      std::vector<uint8_t>& luma = Plane(OLDER, 0);
      const uint8_t levels[] = {16, 235, 255, 0};
      const uint8_t expected[] = {0, 255, 255, 0};
      for (size_t i = 0; i < luma.size(); ++i) luma[i] = levels[(i / 32) % 4];  // by row
      ASSERT_EQ(Select_Output_Picture(0), 0);
      for (int row = 0; row < 32; ++row) {
        GuardedBuffer dest(3 * 32);
        ConvertRow(dest.data(), row);
        ASSERT_TRUE(dest.GuardsIntact());
        for (size_t i = 0; i < dest.size(); ++i) {
          ASSERT_EQ(dest[i], expected[row % 4]) << "row " << row << " byte " << i;
        }
      }
      EXPECT_TRUE(BuffersIntact());
    }
  }
}

struct MatrixCase {
  int matrix_coefficients;
  Bgr orange;      // Y 128, Cb 100, Cr 180
  Bgr red;         // Y 82, Cb 90, Cr 240: R clamps high, B low
  Bgr blue_green;  // Y 60, Cb 200, Cr 70: R clamps low
};

class ColourMatrixTest : public PictureOutputTest,
                         public ::testing::WithParamInterface<MatrixCase> {};

TEST_P(ColourMatrixTest, ConvertsWithTheStreamsMatrixInBgrOrder) {
  const MatrixCase& c = GetParam();
  const ColourCoefficients& coefficients = colour_table[c.matrix_coefficients];
  EXPECT_EQ(ConvertPixel444(128, 100, 180, coefficients), c.orange);
  EXPECT_EQ(ConvertPixel444(82, 90, 240, coefficients), c.red);
  EXPECT_EQ(ConvertPixel444(60, 200, 70, coefficients), c.blue_green);
}

INSTANTIATE_TEST_SUITE_P(
    PictureOutput, ColourMatrixTest,
    ::testing::Values(MatrixCase{0, {71, 109, 224}, {0, 25, 255}, {203, 67, 0}},  // as BT.709
                      MatrixCase{1, {71, 109, 224}, {0, 25, 255}, {203, 67, 0}},  // BT.709
                      MatrixCase{2, {74, 99, 213}, {0, 1, 255}, {196, 70, 0}},
                      MatrixCase{3, {74, 99, 213}, {0, 1, 255}, {196, 70, 0}},
                      MatrixCase{4, {74, 99, 213}, {0, 0, 255}, {197, 71, 0}},     // FCC
                      MatrixCase{5, {74, 99, 213}, {0, 1, 255}, {196, 70, 0}},     // BT.470 B, G
                      MatrixCase{6, {74, 99, 213}, {0, 1, 255}, {196, 70, 0}},     // SMPTE 170M
                      MatrixCase{7, {72, 109, 224}, {0, 26, 255}, {201, 64, 0}}),  // SMPTE 240M
    [](const auto& info) { return "Matrix" + std::to_string(info.param.matrix_coefficients); });

// A 4:2:2 row converts like a 4:4:4 row holding the horizontally upsampled
// chroma of the siting the stream's syntax implies.
TEST_F(PictureOutputTest, HorizontalChromaSitingFollowsTheSyntax) {
  const std::vector<uint8_t> chroma = {240, 240, 16, 16, 16, 16, 16, 16};
  const std::vector<uint8_t> mpeg1 = {240, 240, 255, 184, 72, 0,  16, 16,
                                      16,  16,  16,  16,  16, 16, 16, 16};
  const std::vector<uint8_t> mpeg2 = {240, 240, 240, 128, 16, 16, 16, 16,
                                      16,  16,  16,  16,  16, 16, 16, 16};
  for (bool is_mpeg2 : {false, true}) {
    SCOPED_TRACE(is_mpeg2 ? "MPEG-2" : "MPEG-1");
    const std::vector<uint8_t>& upsampled = is_mpeg2 ? mpeg2 : mpeg1;
    Configure(CHROMA_422, 16, 16, is_mpeg2);
    JustDecoded(B_PICTURE, 1);
    for (int component : {1, 2}) {
      for (int r = 0; r < 16; ++r) {
        std::copy(chroma.begin(), chroma.end(), Plane(B_STORE, component).begin() + r * 8);
      }
    }
    ASSERT_EQ(Select_Output_Picture(0), 0);
    GuardedBuffer dest(3 * 16);
    ConvertRow(dest.data(), 5);
    EXPECT_TRUE(dest.GuardsIntact());
    EXPECT_TRUE(BuffersIntact());

    std::vector<uint8_t> expected(3 * 16);
    const std::vector<uint8_t> luma(16, 128);
    portable_colour_convert_kernels.yuv_to_bgr_row(expected.data(), luma.data(), upsampled.data(),
                                                   upsampled.data(), 16, colour_table[1]);
    EXPECT_EQ(dest.Contents(), expected);
  }
}

// Every layout takes row `row` of luma and of the (4:2:2 or 4:4:4) chroma,
// whose line lengths differ.
TEST_F(PictureOutputTest, EachRowUsesItsOwnLumaAndChromaRows) {
  for (int format : {CHROMA_420, CHROMA_422, CHROMA_444}) {
    SCOPED_TRACE(format);
    Configure(format, 32, 32);
    JustDecoded(B_PICTURE, 1);
    const int cw = decoder_state.chroma_width;
    const int ch = decoder_state.chroma_height;
    // Rows constant along x; chroma rising linearly down the picture.
    for (int r = 0; r < 32; ++r) std::fill_n(Plane(B_STORE, 0).begin() + r * 32, 32, 20 + 6 * r);
    for (int r = 0; r < ch; ++r) {
      const int step = format == CHROMA_420 ? 8 : 4;
      std::fill_n(Plane(B_STORE, 1).begin() + r * cw, cw, 40 + step * r);
      std::fill_n(Plane(B_STORE, 2).begin() + r * cw, cw, 200 - step * r);
    }
    ASSERT_EQ(Select_Output_Picture(0), 0);
    for (int row = 0; row < 32; ++row) {
      // For 4:2:0 the progressive filter of a linear ramp gives 4 per output
      // row, offset by a quarter row, except at the plane's first and last rows.
      int cb = 40 + 4 * row;
      int cr = 200 - 4 * row;
      if (format == CHROMA_420) {
        const int r = row / 2;
        const int pos4 = row == 0 ? 0 : row == 31 ? 4 * 15 : (row % 2 ? 4 * r + 1 : 4 * r - 1);
        cb = 40 + 2 * pos4;
        cr = 200 - 2 * pos4;
      }
      GuardedBuffer dest(3 * 32);
      ConvertRow(dest.data(), row);
      ASSERT_TRUE(dest.GuardsIntact());
      const Bgr expected = ReferencePixel(20 + 6 * row, cb, cr);
      for (int x = 0; x < 32; ++x) {
        ASSERT_EQ((Bgr{dest[3 * x], dest[3 * x + 1], dest[3 * x + 2]}), expected)
            << "row " << row << " x " << x;
      }
    }
    EXPECT_TRUE(BuffersIntact());
  }
}

}  // namespace
