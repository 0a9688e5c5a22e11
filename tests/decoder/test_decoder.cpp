// The decoder interface, the header loop and the picture driver on small
// composed streams: open results, which pictures are decoded and in which
// order they are shown, field pairs, and the header values other layers use.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/decoder.h"
#include "decoder/diagnostics.h"
#include "decoder/headers.h"
#include "decoder/tables.h"
#include "tests/support/memory_input.h"
#include "tests/support/program_stream.h"
#include "tests/support/stream_builder.h"
#include "tests/support/temp_files.h"

namespace {

// Composes streams of flat intra pictures whose luma level identifies them.
class Composer {
 public:
  Composer(int width, int height, bool mpeg2, int progressive_sequence = 1)
      : mpeg2_(mpeg2), progressive_sequence_(progressive_sequence) {
    sequence_.horizontal_size = width;
    sequence_.vertical_size = height;
    mb_width_ = (width + 15) / 16;
    mb_height_ = mpeg2 && !progressive_sequence ? 2 * ((height + 31) / 32) : (height + 15) / 16;
  }

  Composer& Sequence() {
    Write_Sequence_Header(w_, sequence_);
    if (mpeg2_) {
      SequenceExtensionParams ext;
      ext.progressive_sequence = progressive_sequence_;
      Write_Sequence_Extension(w_, ext);
    }
    return *this;
  }
  Composer& Gop(bool closed = true) {
    Write_Group_Header(w_, closed);
    return *this;
  }
  // A whole picture (or one field) of flat intra macroblocks at `level`;
  // `skip_row` leaves one slice out.
  Composer& Picture(int type, int level, int structure = 3, int skip_row = -1) {
    Write_Picture_Header(w_, type);
    int rows = mb_height_;
    if (mpeg2_) {
      PictureCodingParams pc;
      pc.picture_structure = structure;
      pc.progressive_frame = structure == 3 && progressive_sequence_;
      Write_Picture_Coding_Extension(w_, pc);
      if (structure != 3) rows /= 2;
    }
    bool extension = mpeg2_ && sequence_.vertical_size > 2800;
    for (int row = 0; row < rows; ++row) {
      if (row != skip_row) Write_Flat_Intra_Slice(w_, row, mb_width_, type, level, extension);
    }
    return *this;
  }
  Composer& End() {
    Write_Sequence_End(w_);
    return *this;
  }
  BitWriter& writer() { return w_; }
  std::vector<uint8_t> Bytes() const { return w_.Bytes(); }

 private:
  BitWriter w_;
  SequenceParams sequence_;
  bool mpeg2_;
  int progressive_sequence_;
  int mb_width_;
  int mb_height_;
};

// Opens the files as one stream.
class OpenStream {
 public:
  explicit OpenStream(const std::vector<std::vector<uint8_t>>& files) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < files.size(); ++i) {
      paths.push_back(temp_.Write("part" + std::to_string(i), files[i]));
    }
    list_ = std::make_unique<PathList>(paths);
    result_ = Decoder_Open(list_->get());
  }
  ~OpenStream() { Decoder_Close(); }
  int result() const { return result_; }

  // Decodes to the end and returns the luma sample at (0, row) of every
  // picture shown, in display order.
  std::vector<int> Shown(int row = 0) {
    std::vector<int> levels;
    for (;;) {
      int r = Decoder_Next_Picture();
      FrameStore store;
      int progressive;
      if (Display_Store(r == DECODER_END_OF_SEQUENCE, &store, &progressive)) {
        levels.push_back(store.plane[0][row * decoder_state.coded_width]);
      }
      if (r != DECODER_OK) break;
    }
    return levels;
  }

 private:
  TempFiles temp_;
  std::unique_ptr<PathList> list_;
  int result_;
};

std::vector<std::string> captured;
void Capture(const char* line) {
  captured.emplace_back(line);
}

class DecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    captured.clear();
    Decoder_Set_Diagnostic_Sink(Capture);
  }
  void TearDown() override { Decoder_Set_Diagnostic_Sink(nullptr); }
};

// --- Opening ---------------------------------------------------------------

TEST_F(DecoderTest, OpenTellsStreamKindsApartAndRefusesOthers) {
  std::vector<uint8_t> es = Composer(32, 32, true).Sequence().Picture(1, 100).End().Bytes();
  {
    OpenStream s({es});
    EXPECT_EQ(s.result(), DECODER_OK);
    EXPECT_EQ(Decoder_Stream_Is_Multiplexed(), 0);
  }
  {  // leading bytes before the first start code are allowed
    std::vector<uint8_t> junk = {0x12, 0x34, 0xFF, 0x00, 0x00};
    junk.insert(junk.end(), es.begin(), es.end());
    OpenStream s({junk});
    EXPECT_EQ(s.result(), DECODER_OK);
  }
  {  // a program stream may start with a video packet instead of a pack
    std::vector<uint8_t> ps = {0,
                               0,
                               1,
                               0xE0,
                               static_cast<uint8_t>((es.size() + 1) >> 8),
                               static_cast<uint8_t>((es.size() + 1) & 0xFF),
                               0x0F};
    ps.insert(ps.end(), es.begin(), es.end());
    OpenStream s({ps});
    EXPECT_EQ(s.result(), DECODER_OK);
    EXPECT_EQ(Decoder_Stream_Is_Multiplexed(), 1);
  }
  {  // a transport stream sync byte first, whatever follows
    std::vector<uint8_t> ts = {0x47};
    ts.insert(ts.end(), es.begin(), es.end());
    EXPECT_EQ(OpenStream({ts}).result(), DECODER_TRANSPORT_STREAM);
  }
  EXPECT_EQ(OpenStream({{1, 2, 3, 4, 5, 6, 7, 8}}).result(), DECODER_UNKNOWN_STREAM);
  EXPECT_EQ(OpenStream({std::vector<uint8_t>{}}).result(), DECODER_UNKNOWN_STREAM);
  EXPECT_EQ(OpenStream({{0, 0, 1, 0xB8, 1, 2}}).result(), DECODER_UNKNOWN_STREAM);
  // A stream that ends before its first decodable picture.
  EXPECT_EQ(OpenStream({Composer(32, 32, true).Sequence().Picture(2, 1).End().Bytes()}).result(),
            DECODER_END_OF_SEQUENCE);
  EXPECT_EQ(Decoder_Open(nullptr), DECODER_FILE_ERROR);
  const char* empty_list[] = {nullptr};
  EXPECT_EQ(Decoder_Open(empty_list), DECODER_FILE_ERROR);
  const char* missing[] = {"/nonexistent/file.mpg", nullptr};
  EXPECT_EQ(Decoder_Open(missing), DECODER_FILE_ERROR);
}

TEST_F(DecoderTest, AShortFirstFileIsProbedFromItsOwnBytes) {
  std::vector<uint8_t> es = Composer(32, 32, false).Sequence().Picture(1, 90).End().Bytes();
  // The sequence header starts in the first file and ends in the second.
  std::vector<uint8_t> head(es.begin(), es.begin() + 6), tail(es.begin() + 6, es.end());
  {
    OpenStream s({head, tail});
    EXPECT_EQ(s.result(), DECODER_OK);
    EXPECT_EQ(s.Shown(), std::vector<int>({90}));
  }
  // A first file without a start code is refused even though the next has one.
  EXPECT_EQ(OpenStream({{1, 2, 3}, es}).result(), DECODER_UNKNOWN_STREAM);
}

TEST_F(DecoderTest, UnusableFirstSequenceHeadersAreRefused) {
  Composer zero_width(0, 32, false);
  EXPECT_EQ(OpenStream({zero_width.Sequence().Picture(1, 1).End().Bytes()}).result(),
            DECODER_UNKNOWN_STREAM);
  BitWriter w;
  SequenceParams seq;
  Write_Sequence_Header(w, seq);
  SequenceExtensionParams ext;
  ext.chroma_format = 0;
  Write_Sequence_Extension(w, ext);
  Write_Picture_Header(w, 1);
  Write_Sequence_End(w);
  EXPECT_EQ(OpenStream({w.Bytes()}).result(), DECODER_UNKNOWN_STREAM);
}

// --- Which pictures are decoded and shown ------------------------------------

TEST_F(DecoderTest, PicturesAreShownInDisplayOrder) {
  // Coded order I0 P3 B1 B2 P6 B4 B5: levels are 10 times the display index.
  Composer c(32, 32, true);
  c.Sequence().Gop();
  for (auto [type, index] : {std::pair{1, 0}, {2, 3}, {3, 1}, {3, 2}, {2, 6}, {3, 4}, {3, 5}}) {
    c.Picture(type, 20 + 10 * index);
  }
  OpenStream s({c.End().Bytes()});
  ASSERT_EQ(s.result(), DECODER_OK);
  EXPECT_EQ(s.Shown(), std::vector<int>({20, 30, 40, 50, 60, 70, 80}));
}

TEST_F(DecoderTest, SkipsWhatCannotBeDecoded) {
  // Pictures before the first sequence header, P before any I, B before two
  // references in an open group, and D pictures are passed over. (Only a
  // program stream may start its video with something other than a sequence
  // header.)
  Composer c(32, 32, false);
  c.Gop().Picture(1, 11).Picture(2, 12);
  c.Sequence().Gop(/*closed=*/false).Picture(2, 13).Picture(3, 14).Picture(1, 50).Picture(3, 15);
  c.Picture(4, 16).Picture(2, 80).Picture(3, 70);
  OpenStream s({Program_Stream_Of_Packets(c.End().Bytes(), {1000})});
  ASSERT_EQ(s.result(), DECODER_OK);
  EXPECT_EQ(s.Shown(), std::vector<int>({50, 70, 80}));
}

TEST_F(DecoderTest, AClosedGroupShowsItsLeadingBPictures) {
  // Coded I2 B0 B1 P5 B3 B4: the leading B pictures predict from I2 alone.
  for (bool mpeg2 : {false, true}) {
    Composer c(32, 32, mpeg2);
    c.Sequence().Gop(/*closed=*/true);
    for (auto [type, index] : {std::pair{1, 2}, {3, 0}, {3, 1}, {2, 5}, {3, 3}, {3, 4}}) {
      c.Picture(type, 20 + 10 * index);
    }
    OpenStream s({c.End().Bytes()});
    ASSERT_EQ(s.result(), DECODER_OK);
    EXPECT_EQ(s.Shown(), std::vector<int>({20, 30, 40, 50, 60, 70}));
  }
}

TEST_F(DecoderTest, FieldPairsFillAlternateLines) {
  Composer c(32, 64, true, /*progressive_sequence=*/0);
  c.Sequence().Picture(1, 40, /*structure=*/1).Picture(1, 200, /*structure=*/2);
  c.Picture(2, 60, 2).Picture(2, 90, 1);  // a bottom-first P pair
  OpenStream s({c.End().Bytes()});
  ASSERT_EQ(s.result(), DECODER_OK);
  EXPECT_EQ(s.Shown(0), std::vector<int>({40, 90}));
  OpenStream again({c.Bytes()});
  EXPECT_EQ(again.Shown(1), std::vector<int>({200, 60}));
}

TEST_F(DecoderTest, AMissingSliceShowsTheForwardReference) {
  // I(10) P(20) P(30, last row missing): the store of the third picture last
  // held the first one, but the missing row shows the second.
  Composer c(32, 48, true);
  c.Sequence().Picture(1, 10).Picture(2, 20).Picture(2, 30, 3, /*skip_row=*/2);
  OpenStream s({c.End().Bytes()});
  EXPECT_EQ(s.Shown(32), std::vector<int>({10, 20, 20}));
  // A P field pair whose bottom field lacks its second row: frame row 33
  // lies in it and shows the I frame, row 32 (top field) the new picture.
  Composer f(32, 64, true, /*progressive_sequence=*/0);
  f.Sequence().Picture(1, 10).Picture(2, 20, 1).Picture(2, 30, 2, /*skip_row=*/1);
  OpenStream fields({f.End().Bytes()});
  EXPECT_EQ(fields.Shown(33), std::vector<int>({10, 10}));
  OpenStream again({f.Bytes()});
  EXPECT_EQ(again.Shown(32), std::vector<int>({10, 20}));
  EXPECT_NE(std::find(captured.begin(), captured.end(),
                      std::string("start_of_slice(): Premature end of picture\n")),
            captured.end());
}

TEST_F(DecoderTest, ASequenceEndInTheFirstFileEndsTheStream) {
  auto a = Composer(32, 32, false).Sequence().Picture(1, 30).End().Bytes();
  auto b = Composer(32, 32, false).Sequence().Picture(1, 40).Picture(1, 50).End().Bytes();
  OpenStream s({a, b});
  EXPECT_EQ(s.Shown(), std::vector<int>({30}));
}

TEST_F(DecoderTest, AChangedPictureSizeEndsTheStream) {
  Composer first(32, 32, true);
  first.Sequence().Picture(1, 30).Picture(1, 40);
  Composer second(48, 32, true);
  second.Sequence().Picture(1, 50);
  auto bytes = first.Bytes();
  auto more = second.Bytes();
  bytes.insert(bytes.end(), more.begin(), more.end());
  OpenStream s({bytes});
  EXPECT_EQ(s.Shown(), std::vector<int>({30, 40}));
  EXPECT_EQ(Decoder_Horizontal_Size(), 32);
  ASSERT_FALSE(captured.empty());
  EXPECT_EQ(captured.back(), "Picture size or chroma format changed: the stream ends here\n");
}

// --- Header values -------------------------------------------------------------

TEST_F(DecoderTest, TimeStampsReachTheShownFramesAndTheChosenAudio) {
  // Coded I0 P3 B1 B2 P6 B4 B5, each picture in a packet of its own stamped
  // 1000 + 3600 * display index (B2 unstamped), with two audio streams
  // between them; the clock jumps back before P6.
  Composer c(32, 32, true);
  c.Sequence().Gop();
  const std::pair<int, int> coded[] = {{1, 0}, {2, 3}, {3, 1}, {3, 2}, {2, 6}, {3, 4}, {3, 5}};
  for (auto [type, index] : coded) c.Picture(type, 20 + 10 * index);
  const std::vector<uint8_t> es = c.End().Bytes();
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 < es.size(); ++i) {
    if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1 && es[i + 3] == 0) starts.push_back(i);
  }
  ASSERT_EQ(starts.size(), 7u);
  starts[0] = 0;  // the sequence header goes with the first picture
  starts.push_back(es.size());
  std::vector<uint8_t> ps;
  for (size_t k = 0; k < 7; ++k) {
    const int index = coded[k].second;
    Append_Pack_Header(ps, k < 4 ? 1000 + 100 * k : 50 + 100 * k);
    Append_Packet(ps, 0xC0, 500 + k, {0xFF, 0xFD, static_cast<uint8_t>(k)});
    Append_Packet(ps, 0xBD, 700 + k, {0x80, 1, 0, 1, static_cast<uint8_t>(k)});
    Append_Packet(ps, 0xBD, 900 + k, {0x20, 1, 2, 3});  // a subpicture: not audio
    Append_Packet(
        ps, 0xE0, index == 2 ? -1 : 1000 + 3600 * index,
        {es.begin() + static_cast<long>(starts[k]), es.begin() + static_cast<long>(starts[k + 1])});
  }
  ps.insert(ps.end(), {0, 0, 1, 0xB9});
  TempFiles temp;
  PathList list({temp.Write("stamped.mpg", ps)});
  ASSERT_EQ(Decoder_Open(list.get()), DECODER_OK);
  std::vector<int> listed;
  for (const SurveyedAudio& a : Decoder_Audio_Streams()) listed.push_back(a.stream);
  EXPECT_EQ(listed, std::vector<int>({0x80, 0xC0}));
  EXPECT_EQ(Decoder_Audio_Streams()[0].packets[2], std::vector<uint8_t>({0x80, 1, 0, 1, 2}));
  std::vector<std::pair<int64_t, int>> audio;
  Decoder_Select_Audio(
      0x80,
      [](const AudioPesPacket& p, void* to) {
        static_cast<std::vector<std::pair<int64_t, int>>*>(to)->emplace_back(p.pts, p.segment);
      },
      &audio);
  std::vector<FrameStamp> shown;
  for (int r = DECODER_OK; r == DECODER_OK;) {
    r = Decoder_Next_Picture();
    FrameStore store;
    int progressive;
    FrameStamp stamp;
    if (Display_Store(r == DECODER_END_OF_SEQUENCE, &store, &progressive, &stamp)) {
      shown.push_back(stamp);
    }
  }
  Decoder_Close();
  ASSERT_EQ(shown.size(), 7u);
  for (int index = 0; index < 7; ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(shown[index].pts, index == 2 ? -1 : 1000 + 3600 * index);
    EXPECT_EQ(shown[index].segment, index >= 4 ? 1 : 0);  // P6, B4, B5 follow the jump
    EXPECT_EQ(shown[index].fields, 2);
  }
  ASSERT_EQ(audio.size(), 7u);  // the first ones were kept while the stream was opened
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(audio[k].first, 700 + k);
    EXPECT_EQ(audio[k].second, k >= 4 ? 1 : 0);
  }
}

TEST_F(DecoderTest, EachSequenceHeaderDecidesTheSyntax) {
  // An MPEG-2 file that ends with a bottom field, then an MPEG-1 file of the
  // same size, and the other way round: each part decodes with its own
  // syntax and colour row.
  auto fields = Composer(32, 32, true, /*progressive_sequence=*/0)
                    .Sequence()
                    .Picture(1, 40, /*structure=*/1)
                    .Picture(1, 200, /*structure=*/2)
                    .Bytes();
  auto mpeg1 = Composer(32, 32, false).Sequence().Picture(1, 70).Picture(1, 90).Bytes();
  OpenStream s({fields, mpeg1});
  EXPECT_EQ(s.Shown(1), std::vector<int>({200, 70, 90}));
  EXPECT_EQ(decoder_state.colour_coefficients.cr_to_r, colour_table[5].cr_to_r);
  OpenStream back({mpeg1, fields});
  EXPECT_EQ(back.Shown(1), std::vector<int>({70, 90, 200}));
  EXPECT_EQ(decoder_state.colour_coefficients.cr_to_r, colour_table[0].cr_to_r);
}

TEST_F(DecoderTest, DerivedSizesAndColourRows) {
  struct Case {
    int height;
    bool mpeg2;
    int progressive;
    int mb_height;
  };
  for (Case c : {Case{1080, true, 0, 68},
                 {1080, true, 1, 68},
                 {1090, true, 0, 70},
                 {1090, true, 1, 69},
                 {1090, false, 1, 69}}) {
    SCOPED_TRACE(c.height);
    OpenStream s(
        {Composer(16, c.height, c.mpeg2, c.progressive).Sequence().Picture(1, 9).End().Bytes()});
    ASSERT_EQ(s.result(), DECODER_OK);
    EXPECT_EQ(decoder_state.mb_height, c.mb_height);
    EXPECT_EQ(Decoder_Coded_Height(), 16 * c.mb_height);
  }
  // MPEG-1: progressive, 4:2:0, colour row 5.
  OpenStream mpeg1({Composer(16, 16, false).Sequence().Picture(1, 9).End().Bytes()});
  EXPECT_EQ(Decoder_Progressive_Sequence(), 1);
  EXPECT_EQ(decoder_state.colour_coefficients.cr_to_r, colour_table[5].cr_to_r);
  // MPEG-2 without colour description: row 0 (BT.709 values).
  OpenStream mpeg2({Composer(16, 16, true).Sequence().Picture(1, 9).End().Bytes()});
  EXPECT_EQ(decoder_state.colour_coefficients.cr_to_r, 117504);
}

TEST_F(DecoderTest, ReservedMatrixCoefficientsUseTheUnspecifiedRow) {
  BitWriter w;
  Write_Sequence_Header(w, SequenceParams{});
  Write_Sequence_Extension(w, SequenceExtensionParams{});
  w.StartCode(0xB5);
  w.Put(2, 4);    // sequence_display_extension
  w.Put(5, 3);    // video_format
  w.Put(1, 1);    // colour_description
  w.Put(1, 8);    // colour_primaries
  w.Put(1, 8);    // transfer_characteristics
  w.Put(200, 8);  // matrix_coefficients: reserved
  w.Put(32, 14);  // display_horizontal_size
  w.Put(1, 1);    // marker
  w.Put(32, 14);  // display_vertical_size
  Write_Picture_Header(w, 1);
  Write_Picture_Coding_Extension(w, PictureCodingParams{});
  Write_Flat_Intra_Slice(w, 0, 2, 1, 128);
  Write_Flat_Intra_Slice(w, 1, 2, 1, 128);
  Write_Sequence_End(w);
  OpenStream s({w.Bytes()});
  ASSERT_EQ(s.result(), DECODER_OK);
  EXPECT_EQ(decoder_state.colour_coefficients.cr_to_r, colour_table[2].cr_to_r);
  EXPECT_EQ(decoder_state.colour_coefficients.cb_to_g, colour_table[2].cb_to_g);
}

TEST_F(DecoderTest, QuantiserMatricesFollowTheHeaders) {
  uint8_t zigzag_values[64];
  for (int k = 0; k < 64; ++k) zigzag_values[k] = static_cast<uint8_t>(k + 1);
  BitWriter w;
  SequenceParams loaded;
  loaded.intra_matrix = zigzag_values;
  loaded.non_intra_matrix = zigzag_values;
  Write_Sequence_Header(w, loaded);
  Write_Picture_Header(w, 1);
  Write_Sequence_Header(w, SequenceParams{});  // no load flags: the defaults again
  Write_Sequence_Extension(w, SequenceExtensionParams{});
  w.StartCode(0xB5);  // quant_matrix_extension loading the intra matrix only
  w.Put(3, 4);
  w.Put(1, 1);
  for (int k = 0; k < 64; ++k) w.Put(100, 8);
  w.Put(0, 3);
  Write_Picture_Header(w, 1);
  Write_Sequence_End(w);

  MemoryInput input(w.Bytes());
  const BitstreamState& bs = decoder_state.bitstream;
  ASSERT_EQ(Seek_Next_Picture(), DECODER_OK);
  for (int k = 0; k < 64; ++k) {
    ASSERT_EQ(bs.intra_quantiser_matrix[scan_tables[0][k]], k + 1);
    ASSERT_EQ(bs.non_intra_quantiser_matrix[scan_tables[0][k]], k + 1);
    ASSERT_EQ(bs.chroma_intra_quantiser_matrix[scan_tables[0][k]], k + 1);
  }
  // New matrices drop the weights scaled from the old ones.
  decoder_state.bitstream.scaled_weights_made[2] = 1;
  ASSERT_EQ(Seek_Next_Picture(), DECODER_OK);
  EXPECT_EQ(bs.scaled_weights_made[2], 0);
  for (int i = 0; i < 64; ++i) {
    ASSERT_EQ(bs.intra_quantiser_matrix[i], 100);
    ASSERT_EQ(bs.chroma_intra_quantiser_matrix[i], 100);
    ASSERT_EQ(bs.non_intra_quantiser_matrix[i], 16);
    ASSERT_EQ(bs.chroma_non_intra_quantiser_matrix[i], 16);
  }
  Free_Frame_Stores();
  // The default intra matrix, natural order.
  MemoryInput again(Composer(16, 16, false).Sequence().Picture(1, 9).Bytes());
  ASSERT_EQ(Seek_Next_Picture(), DECODER_OK);
  EXPECT_EQ(bs.intra_quantiser_matrix[1], 16);
  EXPECT_EQ(bs.intra_quantiser_matrix[8], 16);
  EXPECT_EQ(bs.intra_quantiser_matrix[63], 83);
  Free_Frame_Stores();
}

TEST_F(DecoderTest, ReservedExtensionIdentifiersAreReported) {
  BitWriter w;
  Write_Sequence_Header(w, SequenceParams{});
  w.StartCode(0xB5);
  w.Put(6, 4);
  w.Put(0xABCDEF, 24);
  Write_Picture_Header(w, 1);
  MemoryInput input(w.Bytes());
  ASSERT_EQ(Seek_Next_Picture(), DECODER_OK);
  EXPECT_EQ(captured, std::vector<std::string>({"reserved extension start code ID 6\n"}));
  Free_Frame_Stores();
}

TEST_F(DecoderTest, SliceHeaderReadsTheVerticalExtensionAndQuantiser) {
  struct Case {
    int vertical_size;
    bool mpeg2;
    int q_scale_type;
    int expected_scale;
  };
  for (Case c : {Case{2801, true, 1, 112}, {2800, true, 0, 62}, {2801, false, 0, 31}}) {
    SCOPED_TRACE(c.vertical_size);
    BitWriter w;
    if (c.vertical_size > 2800 && c.mpeg2) w.Put(5, 3);
    w.Put(31, 5);
    w.Put(0, 1);
    w.Put(0x2AA, 10);
    MemoryInput input(w.Bytes());
    decoder_state.vertical_size = c.vertical_size;
    decoder_state.bitstream.is_mpeg2 = c.mpeg2;
    decoder_state.bitstream.q_scale_type = c.q_scale_type;
    EXPECT_EQ(Read_Slice_Header(), c.vertical_size > 2800 && c.mpeg2 ? 5 : 0);
    EXPECT_EQ(decoder_state.bitstream.quantiser_scale, c.expected_scale);
    EXPECT_EQ(Read_Bits(10), 0x2AAu);
  }
}

TEST_F(DecoderTest, TallPicturesAddressSlicesBeyondRow128) {
  // 2816 lines: 176 macroblock rows, the last 48 need the vertical extension.
  Composer c(16, 2816, true);
  OpenStream s({c.Sequence().Picture(1, 77).Picture(1, 99).End().Bytes()});
  ASSERT_EQ(s.result(), DECODER_OK);
  EXPECT_EQ(s.Shown(2815), std::vector<int>({77, 99}));
  EXPECT_TRUE(captured.empty());
}

}  // namespace

namespace {

// --- Forbidden and extreme values -------------------------------------------

// A P picture of macroblocks with forward motion only (no coefficients), each
// vector coded with motion_code +1 in both components.
void Write_Motion_Only_P_Picture(BitWriter& w, int f_code_horizontal, int f_code_vertical,
                                 int mb_width, int mb_height) {
  Write_Picture_Header(w, 2);
  PictureCodingParams pc;
  pc.f_code[0][0] = f_code_horizontal;
  pc.f_code[0][1] = f_code_vertical;
  Write_Picture_Coding_Extension(w, pc);
  auto r_size = [](int f_code) { return f_code < 1 ? 0 : f_code > 9 ? 8 : f_code - 1; };
  for (int row = 0; row < mb_height; ++row) {
    w.StartCode(static_cast<uint8_t>(row + 1));
    w.Put(8, 5);
    w.Put(0, 1);
    for (int mb = 0; mb < mb_width; ++mb) {
      w.PutCode("1");    // address increment 1
      w.PutCode("001");  // forward motion, no pattern
      for (int f : {f_code_horizontal, f_code_vertical}) {
        w.PutCode("010");  // motion_code 1, positive
        if (r_size(f) > 0) w.Put(0xFF, r_size(f));
      }
    }
  }
}

TEST_F(DecoderTest, ForbiddenFCodesDecodeSafely) {
  for (auto [h, v] : {std::pair{0, 0}, {10, 15}, {15, 1}, {0, 12}}) {
    SCOPED_TRACE(h * 100 + v);
    Composer c(64, 48, true);
    c.Sequence().Picture(1, 100);
    Write_Motion_Only_P_Picture(c.writer(), h, v, 4, 3);
    OpenStream s({c.End().Bytes()});
    ASSERT_EQ(s.result(), DECODER_OK);
    EXPECT_EQ(s.Shown().size(), 2u);
  }
}

TEST_F(DecoderTest, ReservedPictureStructureIsNotDecoded) {
  Composer c(32, 32, true);
  c.Sequence();
  Write_Picture_Header(c.writer(), 1);
  PictureCodingParams pc;
  pc.picture_structure = 0;
  Write_Picture_Coding_Extension(c.writer(), pc);
  Write_Flat_Intra_Slice(c.writer(), 0, 2, 1, 50);
  EXPECT_EQ(OpenStream({c.End().Bytes()}).result(), DECODER_END_OF_SEQUENCE);
}

TEST_F(DecoderTest, TheLargestPictureSizeOpens) {
  // 16383 x 16383: the stores are made (and not touched beyond what is
  // decoded); the picture here has no slices.
  BitWriter w;
  SequenceParams seq;
  seq.horizontal_size = 4095;
  seq.vertical_size = 4095;
  Write_Sequence_Header(w, seq);
  SequenceExtensionParams ext;
  ext.horizontal_size_extension = 3;
  ext.vertical_size_extension = 3;
  Write_Sequence_Extension(w, ext);
  Write_Picture_Header(w, 1);
  Write_Picture_Coding_Extension(w, PictureCodingParams{});
  Write_Sequence_End(w);
  OpenStream s({w.Bytes()});
  int result = s.result();
  ASSERT_TRUE(result == DECODER_OK || result == DECODER_NO_MEMORY) << result;
  if (result == DECODER_OK) {
    EXPECT_EQ(Decoder_Horizontal_Size(), 16383);
    EXPECT_EQ(Decoder_Coded_Width(), 16384);
    EXPECT_EQ(Decoder_Coded_Height(), 16384);
    EXPECT_EQ(s.Shown(16383).size(), 1u);
  }
}

}  // namespace
