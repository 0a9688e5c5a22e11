// The AVI file layer, read back by ffprobe/ffmpeg and by a structure walker:
// frames come back byte for byte with their key-frame flags, in plain AVI
// 1.0 and across OpenDML RIFFs, and every write failure is reported.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/avi_file.h"
#include "tests/platform/avi_file_setup.h"
#include "tests/platform/avi_test_support.h"
#include "tests/platform/riff_reader.h"

namespace {

using avi_test::CreateVideoFile;
using avi_test::Format;
using avi_test::TempDir;
using avi_test::VideoInfo;

// Writes `count` uncompressed frames; returns them concatenated top-down,
// the way a decoder hands them out.
std::vector<uint8_t> WriteUncompressed(AviFile& file, int width, int height, int count) {
  std::vector<uint8_t> expected;
  for (int i = 0; i < count; ++i) {
    std::vector<uint8_t> frame = avi_test::MakeFrame(width, height, i);
    int32_t samples = 0;
    int64_t bytes = 0;
    EXPECT_EQ(file.WriteFrame(frame, true, &samples, &bytes), AVI_OK);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(bytes, static_cast<int64_t>(frame.size()));
    std::vector<uint8_t> top_down = avi_test::TopDown(frame, width, height);
    expected.insert(expected.end(), top_down.begin(), top_down.end());
  }
  return expected;
}

// Payloads of the packets of the stream as ffmpeg reads them, concatenated.
std::vector<uint8_t> CopiedPackets(const std::string& path) {
  avi_test::CommandResult r =
      avi_test::RunCommand({"ffmpeg", "-v", "error", "-nostdin", "-i", path, "-map", "0:v", "-c",
                            "copy", "-f", "data", "-"});
  return std::vector<uint8_t>(r.out.begin(), r.out.end());
}

TEST(AviFilePlain, UncompressedFramesReadBackExactly) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("plain.avi");
  constexpr int kWidth = 48, kHeight = 32, kFrames = 5;
  std::vector<uint8_t> expected;
  {
    AviFile file;
    ASSERT_EQ(file.Create(path), AVI_OK);
    ASSERT_EQ(file.CreateStream(VideoInfo(kWidth, kHeight, 30000, 1001, "Stream name.")), AVI_OK);
    ASSERT_EQ(file.SetFormat(Format(kWidth, kHeight, BI_RGB), {}), AVI_OK);
    expected = WriteUncompressed(file, kWidth, kHeight, kFrames);
    EXPECT_EQ(file.Release(), AVI_OK);
  }
  auto probe = avi_test::ProbeVideoStream(path);
  EXPECT_EQ(probe["codec_name"], "rawvideo");
  EXPECT_EQ(probe["width"], "48");
  EXPECT_EQ(probe["height"], "32");
  EXPECT_EQ(probe["r_frame_rate"], "30000/1001");
  EXPECT_EQ(probe["nb_frames"], "5");
  EXPECT_EQ(probe["TAG:title"], "Stream name.");
  EXPECT_EQ(probe.count("errors"), 0u) << probe["errors"];
  std::string errors;
  EXPECT_EQ(avi_test::DecodeToBgr(path, &errors), expected) << errors;

  avi_test::AviStructure s = avi_test::AviStructureReader(path).Read();
  EXPECT_EQ(s.error, "");
  EXPECT_EQ(s.riff_types, std::vector<std::string>{"AVI "});
  EXPECT_FALSE(s.has_indx);  // plain AVI 1.0: the super index room is JUNK
  EXPECT_EQ(s.avih_total_frames, 5u);
  EXPECT_EQ(s.strh_length, 5u);
  EXPECT_EQ(s.idx1.size(), 5u);
}

// A frame of more than a mebibyte is written in pieces.
TEST(AviFilePlain, LargeFramesReadBackExactly) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("large.avi");
  AviFile file;
  ASSERT_EQ(CreateVideoFile(file, path, 640, 640), AVI_OK);
  const std::vector<uint8_t> expected = WriteUncompressed(file, 640, 640, 2);
  ASSERT_EQ(file.Release(), AVI_OK);
  EXPECT_EQ(avi_test::DecodeToBgr(path), expected);
}

TEST(AviFilePlain, FileWithoutFramesIsReadable) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("empty.avi");
  {
    AviFile file;
    ASSERT_EQ(CreateVideoFile(file, path, 32, 16), AVI_OK);
  }  // released by the destructor
  auto probe = avi_test::ProbeVideoStream(path);
  EXPECT_EQ(probe["width"], "32");
  EXPECT_TRUE(probe["nb_frames"] == "0" || probe["nb_frames"] == "N/A") << probe["nb_frames"];
  EXPECT_EQ(avi_test::CountFrames(path), 0);
}

TEST(AviFilePlain, ReplacesAnExistingFile) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("again.avi");
  for (int frames : {7, 2}) {
    AviFile file;
    ASSERT_EQ(CreateVideoFile(file, path, 16, 16), AVI_OK);
    WriteUncompressed(file, 16, 16, frames);
    ASSERT_EQ(file.Release(), AVI_OK);
  }
  EXPECT_EQ(avi_test::CountFrames(path), 2);
  EXPECT_EQ(avi_test::AviStructureReader(path).Read().error, "");  // no bytes left over
}

// Packets of arbitrary (also odd) sizes with arbitrary key flags, written
// through several RIFFs: ffmpeg must find every payload and flag, via the
// OpenDML indexes, and the first RIFF's idx1 must describe its frames.
TEST(AviFileOpenDml, PacketsAndKeyFlagsSurviveAcrossRiffs) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("odml.avi");
  std::mt19937 rng(5);
  std::vector<uint8_t> payloads;
  std::vector<bool> keys;
  constexpr int kFrames = 90;
  {
    AviFile file(AviFileLimits{16 * 1024, 64});
    ASSERT_EQ(CreateVideoFile(file, path, 32, 32, MakeFourCC("TEST")), AVI_OK);
    for (int i = 0; i < kFrames; ++i) {
      std::vector<uint8_t> packet(1 + rng() % 1500);
      for (auto& b : packet) b = static_cast<uint8_t>(rng());
      const bool key = i % 7 == 0 || rng() % 5 == 0;
      ASSERT_EQ(file.WriteFrame(packet, key, nullptr, nullptr), AVI_OK);
      payloads.insert(payloads.end(), packet.begin(), packet.end());
      keys.push_back(key);
    }
    ASSERT_EQ(file.Release(), AVI_OK);
  }
  EXPECT_EQ(CopiedPackets(path), payloads);
  EXPECT_EQ(avi_test::PacketKeyFlags(path), keys);

  avi_test::AviStructureReader reader(path);
  avi_test::AviStructure s = reader.Read();
  ASSERT_EQ(s.error, "");
  ASSERT_GT(s.riff_types.size(), 2u);
  EXPECT_EQ(s.riff_types[0], "AVI ");
  for (size_t i = 1; i < s.riff_types.size(); ++i) EXPECT_EQ(s.riff_types[i], "AVIX");
  EXPECT_TRUE(s.has_indx);
  EXPECT_EQ(s.super_index.size(), s.riff_types.size());
  EXPECT_TRUE(s.has_dmlh);
  EXPECT_EQ(s.dmlh_lists, "hdrl/odml");  // where OpenDML readers look for it
  EXPECT_EQ(s.dmlh_total_frames, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(s.strh_length, static_cast<uint32_t>(kFrames));
  ASSERT_EQ(s.odml_index.size(), static_cast<size_t>(kFrames));
  EXPECT_EQ(s.avih_total_frames, s.idx1.size());
  EXPECT_EQ(s.super_index[0].duration, s.idx1.size());
  // Every RIFF is kept below the limit (one index of 16 KiB each).
  for (const avi_test::SuperIndexEntry& e : s.super_index) EXPECT_LT(e.duration, 40u);
  for (size_t i = 0; i < s.odml_index.size(); ++i) {
    const avi_test::IndexedChunk& c = s.odml_index[i];
    EXPECT_TRUE(reader.ChunkMatches(c.data_offset, avi_test::Fourcc("00dc"), c.size)) << i;
    EXPECT_EQ(c.key_frame, keys[i]) << i;
    if (i < s.idx1.size()) {
      EXPECT_EQ(s.idx1[i].data_offset, c.data_offset) << i;
      EXPECT_EQ(s.idx1[i].size, c.size) << i;
      EXPECT_EQ(s.idx1[i].key_frame, keys[i]) << i;
    }
  }
}

TEST(AviFileOpenDml, UncompressedFramesDecodeAcrossRiffs) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("odml_raw.avi");
  constexpr int kWidth = 32, kHeight = 16, kFrames = 40;
  std::vector<uint8_t> expected;
  {
    AviFile file(AviFileLimits{8 * 1024, 64});
    ASSERT_EQ(CreateVideoFile(file, path, kWidth, kHeight), AVI_OK);
    expected = WriteUncompressed(file, kWidth, kHeight, kFrames);
    ASSERT_EQ(file.Release(), AVI_OK);
  }
  std::string errors;
  EXPECT_EQ(avi_test::CountFrames(path, &errors), kFrames) << errors;
  EXPECT_EQ(avi_test::DecodeToBgr(path, &errors), expected) << errors;
  EXPECT_GT(avi_test::AviStructureReader(path).Read().riff_types.size(), 2u);
}

// With the super index full the file refuses further frames, and what was
// written stays readable.
TEST(AviFileOpenDml, FullSuperIndexRefusesFramesAndKeepsTheFile) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("full_index.avi");
  int written = 0;
  {
    AviFile file(AviFileLimits{4 * 1024, 3});
    ASSERT_EQ(CreateVideoFile(file, path, 16, 16), AVI_OK);
    std::vector<uint8_t> frame = avi_test::MakeFrame(16, 16, 0);
    int result = AVI_OK;
    for (int i = 0; i < 100 && result == AVI_OK; ++i) {
      result = file.WriteFrame(frame, true, nullptr, nullptr);
      if (result == AVI_OK) ++written;
    }
    EXPECT_EQ(result, AVI_ERROR_TOO_LARGE);
    EXPECT_EQ(file.Release(), AVI_OK);
  }
  EXPECT_GT(written, 0);
  EXPECT_EQ(avi_test::CountFrames(path), written);
  avi_test::AviStructure s = avi_test::AviStructureReader(path).Read();
  EXPECT_EQ(s.error, "");
  EXPECT_EQ(s.super_index.size(), 3u);
}

TEST(AviFileErrors, CreateFailsWhereNoFileCanBeMade) {
  AviFile file;
  EXPECT_EQ(file.Create("/nonexistent-directory/x.avi"), AVI_ERROR_CREATE);
  EXPECT_FALSE(file.IsOpen());
  // The header is flushed at creation, so a full device shows at once.
  EXPECT_EQ(file.Create("/dev/full"), AVI_ERROR_CREATE);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Release(), AVI_OK);
}

TEST(AviFileErrors, CallsOutOfOrderAreRefused) {
  TempDir dir;
  AviFile file;
  std::vector<uint8_t> frame(16 * 16 * 3);
  EXPECT_EQ(file.WriteFrame(frame, true, nullptr, nullptr), AVI_ERROR_STATE);
  EXPECT_EQ(file.CreateStream(VideoInfo(16, 16, 25, 1, "")), AVI_ERROR_STATE);
  ASSERT_EQ(file.Create(dir.File("order.avi")), AVI_OK);
  EXPECT_EQ(file.SetFormat(Format(16, 16, BI_RGB), {}), AVI_ERROR_STATE);
  EXPECT_EQ(file.WriteFrame(frame, true, nullptr, nullptr), AVI_ERROR_STATE);

  AviStreamInfo audio = VideoInfo(16, 16, 25, 1, "");
  audio.fccType = MakeFourCC("auds");
  EXPECT_EQ(file.CreateStream(audio), AVI_ERROR_ARGUMENT);
  AviStreamInfo no_rate = VideoInfo(16, 16, 0, 1, "");
  EXPECT_EQ(file.CreateStream(no_rate), AVI_ERROR_ARGUMENT);
  ASSERT_EQ(file.CreateStream(VideoInfo(16, 16, 25, 1, "")), AVI_OK);
  EXPECT_EQ(file.CreateStream(VideoInfo(16, 16, 25, 1, "")), AVI_ERROR_STATE);
  EXPECT_EQ(file.SetFormat(Format(0, 16, BI_RGB), {}), AVI_ERROR_ARGUMENT);
  ASSERT_EQ(file.SetFormat(Format(16, 16, BI_RGB), {}), AVI_OK);
  EXPECT_EQ(file.SetFormat(Format(16, 16, BI_RGB), {}), AVI_ERROR_STATE);
  EXPECT_EQ(file.WriteFrame(frame, true, nullptr, nullptr), AVI_OK);
  EXPECT_EQ(file.Release(), AVI_OK);
}

// A disk that fills up during the job: the failing write is reported, no
// later write claims success, and the release reports the failure too.
TEST(AviFileErrors, FullDiskIsReportedByWriteAndRelease) {
  TempDir dir;
  const std::string path = dir.File("full.avi");
  constexpr int kWidth = 64, kHeight = 48;
  AviFile file;
  ASSERT_EQ(CreateVideoFile(file, path, kWidth, kHeight), AVI_OK);
  std::vector<uint8_t> frame = avi_test::MakeFrame(kWidth, kHeight, 0);
  int first_error = AVI_OK;
  int frames_accepted = 0;
  {
    avi_test::FileSizeLimit limit(600 * 1024);
    for (int i = 0; i < 200; ++i) {
      int32_t samples = -1;
      int64_t bytes = -1;
      const int r = file.WriteFrame(frame, true, &samples, &bytes);
      if (r != AVI_OK) {
        EXPECT_EQ(samples, 0);
        EXPECT_EQ(bytes, 0);
        if (first_error == AVI_OK) first_error = r;
      } else {
        EXPECT_EQ(first_error, AVI_OK) << "a write succeeded after a failure";
        ++frames_accepted;
      }
    }
    EXPECT_EQ(first_error, AVI_ERROR_WRITE);
    EXPECT_EQ(file.Release(), AVI_ERROR_WRITE);
  }
  EXPECT_LT(frames_accepted, 200);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_LE(std::filesystem::file_size(path), 600u * 1024);
}

// Wherever the disk fills up, the file that remains opens with every frame
// its header reports: when the index finds no room behind the data, the last
// frame gives up its space. A file the layer made and could not complete is
// gone; a file that was there before is never removed.
// Frames of 9 KiB, and of 1.2 MB, which are written a mebibyte at a time.
TEST(AviFileErrors, AFullDiskLeavesAWholeFileOrNone) {
  SKIP_WITHOUT_FFMPEG();
  for (const auto& [kWidth, kHeight] : {std::pair{64, 48}, std::pair{640, 640}}) {
    const uint64_t kChunk = 8 + uint64_t{3} * kWidth * kHeight;
    TempDir dir;
    uint64_t header = 0;  // where the first frame goes: an empty file less its idx1
    {
      AviFile empty;
      ASSERT_EQ(CreateVideoFile(empty, dir.File("empty.avi"), kWidth, kHeight), AVI_OK);
      ASSERT_EQ(empty.Release(), AVI_OK);
      header = std::filesystem::file_size(dir.File("empty.avi")) - 8;
    }
    struct Case {
      const char* name;
      uint64_t room;  // file size limit
      bool existed;
      int frames;  // frames the file keeps; -1: the file cannot be set up
    };
    for (const Case& c : {Case{"room ends inside a frame", header + 6 * kChunk - 1000, false, 5},
                          Case{"room ends at a frame", header + 5 * kChunk, false, 4},
                          Case{"room ends in the first bytes", 50, false, -1},
                          Case{"room ends inside the header", 1000, false, -1},
                          Case{"an existing file stays", 1000, true, -1}}) {
      SCOPED_TRACE(std::string(c.name) + ", width " + std::to_string(kWidth));
      const std::string path = dir.File(std::string(c.name) + ".avi");
      if (c.existed) avi_test::WriteFile(path, "earlier contents");
      std::vector<uint8_t> frame = avi_test::MakeFrame(kWidth, kHeight, 0);
      AviFile file;
      avi_test::FileSizeLimit limit(c.room);
      const int created = CreateVideoFile(file, path, kWidth, kHeight);
      if (c.frames < 0) {
        EXPECT_NE(created, AVI_OK);
        file.Release();
        EXPECT_EQ(std::filesystem::exists(path), c.existed);
        continue;
      }
      ASSERT_EQ(created, AVI_OK);
      int accepted = 0;
      while (accepted < 10 && file.WriteFrame(frame, true, nullptr, nullptr) == AVI_OK) ++accepted;
      EXPECT_EQ(accepted, 5);
      EXPECT_EQ(file.Release(), AVI_ERROR_WRITE);
      avi_test::AviStructure s = avi_test::AviStructureReader(path).Read();
      EXPECT_EQ(s.error, "");
      EXPECT_EQ(s.avih_total_frames, static_cast<uint32_t>(c.frames));
      EXPECT_EQ(s.strh_length, static_cast<uint32_t>(c.frames));
      EXPECT_EQ(s.idx1.size(), static_cast<size_t>(c.frames));
      EXPECT_EQ(avi_test::CountFrames(path), c.frames);
    }
  }
}

// A writer killed at any moment leaves every frame it had written readable,
// in the first RIFF (no index yet) and across OpenDML RIFFs.
TEST(AviFileCrash, AKilledWriterLeavesItsFramesReadable) {
  SKIP_WITHOUT_FFMPEG();
  constexpr int kWidth = 32, kHeight = 16;
  TempDir dir;
  for (const auto& [riff_bytes, frames] : {std::pair<uint64_t, int>{1 << 30, 3}, {8 * 1024, 45}}) {
    SCOPED_TRACE(frames);
    const std::string path = dir.File("killed" + std::to_string(frames) + ".avi");
    std::vector<uint8_t> expected;
    for (int i = 0; i < frames; ++i) {
      std::vector<uint8_t> top_down =
          avi_test::TopDown(avi_test::MakeFrame(kWidth, kHeight, i), kWidth, kHeight);
      expected.insert(expected.end(), top_down.begin(), top_down.end());
    }
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      AviFile file(AviFileLimits{riff_bytes, 64});
      if (CreateVideoFile(file, path, kWidth, kHeight) != AVI_OK) _exit(1);
      for (int i = 0; i < frames; ++i) {
        if (file.WriteFrame(avi_test::MakeFrame(kWidth, kHeight, i), true, nullptr, nullptr) !=
            AVI_OK)
          _exit(1);
      }
      raise(SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    std::string errors;
    EXPECT_EQ(avi_test::CountFrames(path, &errors), frames) << errors;
    EXPECT_EQ(avi_test::DecodeToBgr(path, &errors), expected) << errors;
  }
}

// The index and header are completed by Release: a full disk at that point
// is reported even though every frame went in.
TEST(AviFileErrors, FullDiskAtReleaseIsReported) {
  TempDir dir;
  const std::string path = dir.File("full_at_end.avi");
  AviFile file;
  ASSERT_EQ(CreateVideoFile(file, path, 16, 16), AVI_OK);
  std::vector<uint8_t> frame = avi_test::MakeFrame(16, 16, 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(file.WriteFrame(frame, true, nullptr, nullptr), AVI_OK);
  avi_test::FileSizeLimit limit(1);  // nothing more fits
  EXPECT_EQ(file.Release(), AVI_ERROR_WRITE);
}

}  // namespace
