// The survey at open: telling film carried with soft 3:2 pulldown from video
// by the flags of the first pictures.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/survey.h"
#include "tests/support/program_stream.h"
#include "tests/support/stream_builder.h"
#include "tests/support/temp_files.h"

namespace {

// Frames in display order as letters: 'r' progressive with
// repeat_first_field, 'p' progressive, 'i' interlaced, 'f' a field pair;
// returned in the coded order of groups of 12 (I0 P3 B1 B2 P6 B4 B5 ...).
std::vector<SurveyedPicture> Coded(const std::string& display) {
  std::vector<SurveyedPicture> pictures;
  auto add = [&](int index) {
    const char kind = display[static_cast<size_t>(index)];
    const int group = index / 12, reference = index % 12;
    if (kind == 'f') {
      pictures.push_back({group, reference, TOP_FIELD, 0, 0});
      pictures.push_back({group, reference, BOTTOM_FIELD, 0, 0});
    } else {
      pictures.push_back({group, reference, FRAME_PICTURE, kind != 'i', kind == 'r'});
    }
  };
  const int n = static_cast<int>(display.size());
  for (int anchor = 0; anchor < n; anchor += 3) {
    add(anchor);
    for (int b = std::max(anchor - 2, 0); b < anchor; ++b) add(b);
  }
  for (int b = n - (n - 1) % 3; b < n; ++b) add(b);
  return pictures;
}

std::string Repeat(const std::string& unit, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += unit;
  return s;
}

TEST(Survey, TellsFilmFromVideo) {
  struct Case {
    const char* name;
    std::string display;
    bool film;
  };
  const Case cases[] = {
      {"film", Repeat("pr", 24), true},
      {"film with a broken cadence at an edit", Repeat("pr", 10) + "pp" + Repeat("rp", 12), true},
      {"too short to tell", Repeat("pr", 5), false},
      {"interlaced video", Repeat("i", 48), false},
      {"interlaced with an occasional flag", Repeat("iiiiiiiiir", 5), false},
      {"progressive video", Repeat("p", 48), false},
      {"every frame repeating a field", Repeat("r", 48), false},
      {"half film, half video", Repeat("pr", 12) + Repeat("i", 24), false},
      {"field pictures", Repeat("f", 48), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Has_Pulldown_Cadence(Coded(c.display)), c.film);
  }
}

// Flat intra frames of an interlaced 29.97 fps sequence with the given
// flags per picture.
std::vector<uint8_t> Stream(int pictures, const std::function<bool(int)>& repeat,
                            bool progressive) {
  BitWriter w;
  SequenceParams sequence;
  sequence.frame_rate_code = 4;
  Write_Sequence_Header(w, sequence);
  SequenceExtensionParams extension;
  extension.progressive_sequence = 0;
  Write_Sequence_Extension(w, extension);
  Write_Group_Header(w);
  for (int i = 0; i < pictures; ++i) {
    Write_Picture_Header(w, 1);
    PictureCodingParams coding;
    coding.progressive_frame = progressive;
    coding.repeat_first_field = repeat(i);
    Write_Picture_Coding_Extension(w, coding);
    for (int row = 0; row < 2; ++row) Write_Flat_Intra_Slice(w, row, 2, 1, 50);
  }
  Write_Sequence_End(w);
  return w.Bytes();
}

TEST(Survey, ReadsThePicturesOfElementaryAndProgramStreamsAtOpen) {
  const auto film = Stream(
      30, [](int i) { return i % 2 == 1; }, true);
  const auto video = Stream(
      30, [](int) { return false; }, false);
  TempFiles temp;
  for (const auto& [bytes, expected] : {std::pair{film, 1},
                                        {Program_Stream_Of_Packets(film, {1000}), 1},
                                        {video, 0},
                                        {Program_Stream_Of_Packets(video, {1000}), 0}}) {
    PathList list({temp.Write("stream", bytes)});
    ASSERT_EQ(Decoder_Open(list.get()), DECODER_OK);
    EXPECT_EQ(Decoder_Pulldown_Cadence(), expected);
    Decoder_Close();
  }
  const std::vector<SurveyedPicture> pictures = Survey_Stream(film, false).pictures;
  ASSERT_EQ(pictures.size(), 30u);
  EXPECT_EQ(pictures[3].repeat_first_field, 1);
  EXPECT_EQ(pictures[4].repeat_first_field, 0);
  EXPECT_EQ(pictures[4].progressive_frame, 1);
  // Packets of every size cut start codes and the headers after them
  // anywhere; the pictures are those of the whole stream.
  const auto fields = [](const SurveyedPicture& p) {
    return std::tie(p.group, p.temporal_reference, p.picture_structure, p.progressive_frame,
                    p.repeat_first_field);
  };
  for (const std::vector<int>& sizes :
       std::vector<std::vector<int>>{{1000}, {1}, {3, 5, 7}, {8}, {9, 2}, {13, 1, 1, 6}}) {
    const auto cut = Survey_Stream(Program_Stream_Of_Packets(film, sizes), true).pictures;
    ASSERT_EQ(cut.size(), pictures.size()) << sizes[0];
    for (size_t i = 0; i < cut.size(); ++i) {
      EXPECT_EQ(fields(cut[i]), fields(pictures[i]))
          << "packets from " << sizes[0] << ", picture " << i;
    }
  }
}

}  // namespace
