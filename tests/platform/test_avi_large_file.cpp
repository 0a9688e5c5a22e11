// A file far past the AVI 1.0 size: 1800 uncompressed 720x576 frames
// (2.2 GB) through the AviWriter. Readers must find every frame through the
// OpenDML indexes, byte for byte, and the counters must not wrap at 2 GiB.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/avi_writer.h"
#include "tests/platform/avi_test_support.h"
#include "tests/platform/riff_reader.h"

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr int kFrames = 1800;
constexpr size_t kFrameBytes = size_t{3} * kWidth * kHeight;

// Frame `index` (bottom-up): a fixed picture with the index stamped into
// its first and last rows, so that every frame differs and a lost, repeated
// or reordered frame shows.
void StampFrame(const std::vector<uint8_t>& base, int index, std::vector<uint8_t>* frame) {
  *frame = base;
  const size_t row = size_t{3} * kWidth;
  for (size_t at : {size_t{0}, kFrameBytes - row}) {
    for (int k = 0; k < 4; ++k) (*frame)[at + k] = static_cast<uint8_t>(index >> (8 * k));
    std::memset(frame->data() + at + 4, index & 0xFF, 64);
  }
}

TEST(AviLargeFile, OpenDmlFilePastTwoGigabytes) {
  SKIP_WITHOUT_FFMPEG();
  avi_test::TempDir dir;
  std::error_code error;
  auto space = std::filesystem::space(dir.File(""), error);
  if (error || space.available < (uint64_t{3} << 30)) GTEST_SKIP() << "needs 3 GB of free disk";
  const std::string path = dir.File("large.avi");
  const std::vector<uint8_t> base = avi_test::MakeFrame(kWidth, kHeight, 0);
  std::vector<uint8_t> frame;
  {
    AviWriter writer;
    ASSERT_EQ(writer.Open(path, kWidth, kHeight, 2, false), 0);
    for (int i = 0; i < kFrames; ++i) {
      StampFrame(base, i, &frame);
      ASSERT_EQ(writer.WriteFrame(frame.data()), 0) << "frame " << i;
    }
    EXPECT_EQ(writer.FramesInFile(), kFrames);
    EXPECT_EQ(writer.KBytesInFile(), static_cast<int64_t>(kFrames * kFrameBytes / 1024));
    EXPECT_GT(writer.KBytesInFile(), int64_t{2} * 1024 * 1024);  // past 2 GiB
    ASSERT_EQ(writer.Close(), 0);
  }

  avi_test::AviStructureReader reader(path);
  avi_test::AviStructure s = reader.Read();
  ASSERT_EQ(s.error, "");
  ASSERT_EQ(s.riff_types.size(), 3u);
  EXPECT_EQ(s.riff_types[0], "AVI ");
  EXPECT_EQ(s.riff_types[1], "AVIX");
  EXPECT_EQ(s.riff_types[2], "AVIX");
  EXPECT_TRUE(s.has_dmlh);
  EXPECT_EQ(s.dmlh_total_frames, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(s.strh_length, static_cast<uint32_t>(kFrames));
  ASSERT_EQ(s.super_index.size(), 3u);
  EXPECT_EQ(s.odml_index.size(), static_cast<size_t>(kFrames));
  EXPECT_EQ(s.avih_total_frames, s.idx1.size());
  EXPECT_EQ(s.super_index[0].duration, s.idx1.size());
  EXPECT_GT(s.idx1.size(), 800u);  // the first RIFF holds about 1 GiB
  for (size_t i = 0; i < s.odml_index.size(); i += 97) {
    EXPECT_TRUE(reader.ChunkMatches(s.odml_index[i].data_offset, avi_test::Fourcc("00db"),
                                    static_cast<uint32_t>(kFrameBytes)))
        << i;
  }

  std::string errors;
  EXPECT_EQ(avi_test::CountFrames(path, &errors), kFrames);
  EXPECT_EQ(errors, "");

  int64_t mismatches = 0;
  std::vector<uint8_t> expected;
  const int64_t decoded =
      avi_test::ForEachDecodedFrame(path, kFrameBytes, [&](int64_t index, const uint8_t* data) {
        StampFrame(base, static_cast<int>(index), &frame);
        expected = avi_test::TopDown(frame, kWidth, kHeight);
        if (std::memcmp(expected.data(), data, kFrameBytes) != 0) ++mismatches;
      });
  EXPECT_EQ(decoded, kFrames);
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
