// The AVI writer as a job uses it, with every file read back by
// ffprobe/ffmpeg: stream labelling, frames, split naming and counters, the
// choose-compressor hook and the failures a job must see.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/avi_writer.h"
#include "tests/platform/audio_test_support.h"
#include "tests/platform/avi_test_support.h"

namespace {

using avi_test::TempDir;
namespace fs = std::filesystem;

constexpr char kStreamTitle[] = "Written with Vidorlan MPEG.";

// Writes frames first .. first + count - 1; returns them top-down.
std::vector<uint8_t> WriteFrames(AviWriter& writer, int width, int height, int first, int count) {
  std::vector<uint8_t> expected;
  for (int i = first; i < first + count; ++i) {
    std::vector<uint8_t> frame = avi_test::MakeFrame(width, height, i);
    EXPECT_EQ(writer.WriteFrame(frame.data()), 0) << "frame " << i;
    std::vector<uint8_t> top_down = avi_test::TopDown(frame, width, height);
    expected.insert(expected.end(), top_down.begin(), top_down.end());
  }
  return expected;
}

// Installs a hook that records the options it was shown and answers with
// `choice` (or cancels when `confirm` is false).
struct RecordingHook {
  std::vector<CompressOptions> shown;
  CompressOptions choice;
  bool confirm = true;
  void InstallOn(AviWriter& writer) {
    writer.SetChooseCompressorHook([this](CompressOptions& options) {
      shown.push_back(options);
      if (confirm) options = choice;
      return confirm;
    });
  }
};

TEST(AviWriterStream, EveryFrameRateIndexLabelsTheStream) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const struct {
    int index;
    const char* rate;
  } kCases[] = {{0, "24000/1001"}, {1, "24/1"},       {2, "25/1"}, {3, "30000/1001"}, {4, "30/1"},
                {5, "50/1"},       {6, "60000/1001"}, {7, "60/1"}, {8, "25/1"},       {-1, "25/1"}};
  AviWriter writer;
  for (const auto& c : kCases) {
    const std::string path = dir.File("rate" + std::to_string(c.index) + ".avi");
    ASSERT_EQ(writer.Open(path, 32, 16, c.index, false), 0);
    WriteFrames(writer, 32, 16, 0, 3);
    ASSERT_EQ(writer.Close(), 0);
    auto probe = avi_test::ProbeVideoStream(path);
    EXPECT_EQ(probe["r_frame_rate"], c.rate) << "index " << c.index;
    EXPECT_EQ(probe["codec_name"], "rawvideo");
    EXPECT_EQ(probe["width"], "32");
    EXPECT_EQ(probe["height"], "16");
    EXPECT_EQ(probe["nb_frames"], "3");
    EXPECT_EQ(probe["TAG:title"], kStreamTitle);
  }
}

TEST(AviWriterStream, UncompressedFramesComeBackByteForByte) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("frames.avi");
  constexpr int kWidth = 64, kHeight = 48;
  AviWriter writer;
  ASSERT_EQ(writer.Open(path, kWidth, kHeight, 2, false), 0);
  std::vector<uint8_t> expected = WriteFrames(writer, kWidth, kHeight, 0, 6);
  EXPECT_EQ(writer.FramesInFile(), 6);
  EXPECT_EQ(writer.KBytesInFile(), 6 * kWidth * kHeight * 3 / 1024);
  ASSERT_EQ(writer.Close(), 0);
  std::string errors;
  EXPECT_EQ(avi_test::DecodeToBgr(path, &errors), expected) << errors;
  // Without splitting the path is used as it is.
  EXPECT_EQ(writer.Open(dir.File("film.mov"), kWidth, kHeight, 2, false), 0);
  EXPECT_EQ(writer.Close(), 0);
  EXPECT_TRUE(fs::exists(dir.File("film.mov")));
  EXPECT_FALSE(fs::exists(dir.File("film0.avi")));
}

TEST(AviWriterStream, ChosenCompressorDescribesTheStoredFrames) {
  SKIP_WITHOUT_FFMPEG();
  if (!FindCompressor("ffv1", nullptr)) GTEST_SKIP() << "no FFV1 encoder";
  TempDir dir;
  const std::string path = dir.File("ffv1.avi");
  constexpr int kWidth = 48, kHeight = 32;
  AviWriter writer;
  RecordingHook hook;
  hook.choice = CompressOptions{"ffv1", 0, 0, 0};
  hook.InstallOn(writer);
  ASSERT_EQ(writer.Open(path, kWidth, kHeight, 3, false), 0);
  std::vector<uint8_t> expected = WriteFrames(writer, kWidth, kHeight, 0, 4);
  ASSERT_EQ(writer.Close(), 0);
  auto probe = avi_test::ProbeVideoStream(path);
  EXPECT_EQ(probe["codec_name"], "ffv1");
  EXPECT_EQ(probe["codec_tag_string"], "FFV1");
  EXPECT_EQ(probe["r_frame_rate"], "30000/1001");
  EXPECT_EQ(probe["TAG:title"], kStreamTitle);
  EXPECT_EQ(avi_test::DecodeToBgr(path), expected);
}

// KBytesInFile counts the bytes the compressor handed to the file.
TEST(AviWriterStream, KBytesCountCompressedBytes) {
  SKIP_WITHOUT_FFMPEG();
  if (!FindCompressor("mjpeg", nullptr)) GTEST_SKIP() << "no MJPEG encoder";
  TempDir dir;
  const std::string path = dir.File("mjpeg.avi");
  AviWriter writer;
  writer.SetOptions(CompressOptions{"mjpeg", 0, 0, 0});  // no hook: kept as they are
  ASSERT_EQ(writer.Open(path, 96, 64, 2, false), 0);
  WriteFrames(writer, 96, 64, 0, 20);
  const int64_t kbytes = writer.KBytesInFile();
  ASSERT_EQ(writer.Close(), 0);
  avi_test::CommandResult r = avi_test::RunCommand(
      {"ffprobe", "-v", "error", "-show_entries", "packet=size", "-of", "csv=p=0", path});
  int64_t bytes = 0;
  for (size_t at = 0; at < r.out.size();) {
    size_t end = r.out.find('\n', at);
    if (end == std::string::npos) end = r.out.size();
    if (end > at) bytes += std::stoll(r.out.substr(at, end - at));
    at = end + 1;
  }
  EXPECT_GT(bytes, 20 * 1024);  // several KBytes, so the check below means something
  EXPECT_EQ(kbytes, bytes / 1024);
  EXPECT_EQ(avi_test::ProbeVideoStream(path)["codec_name"], "mjpeg");
}

// Split files: numbered from 0 after the path without its extension, each
// a complete file with the same stream description; counters per file.
TEST(AviWriterSplit, FilesAreNumberedAfterTheBaseName) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  fs::create_directories(dir.File("my.dir"));
  fs::create_directories(dir.File("out"));
  const struct {
    std::string path;
    std::string first, second;
  } kCases[] = {
      {dir.File("my.dir/film"), dir.File("my.dir/film0.avi"), dir.File("my.dir/film1.avi")},
      {dir.File("out/film.avi"), dir.File("out/film0.avi"), dir.File("out/film1.avi")},
      {dir.File("out/clip.part.avi"), dir.File("out/clip.part0.avi"),
       dir.File("out/clip.part1.avi")},
  };
  constexpr int kWidth = 32, kHeight = 32;
  for (const auto& c : kCases) {
    AviWriter writer;
    RecordingHook hook;
    hook.InstallOn(writer);
    ASSERT_EQ(writer.Open(c.path, kWidth, kHeight, 0, true), 0) << c.path;
    std::vector<uint8_t> first = WriteFrames(writer, kWidth, kHeight, 0, 3);
    EXPECT_EQ(writer.FramesInFile(), 3);
    EXPECT_EQ(writer.KBytesInFile(), 3 * kWidth * kHeight * 3 / 1024);
    ASSERT_EQ(writer.NextFile(), 0);
    EXPECT_EQ(writer.FramesInFile(), 0);
    EXPECT_EQ(writer.KBytesInFile(), 0);
    std::vector<uint8_t> second = WriteFrames(writer, kWidth, kHeight, 3, 2);
    EXPECT_EQ(writer.FramesInFile(), 2);
    ASSERT_EQ(writer.Close(), 0);
    EXPECT_EQ(hook.shown.size(), 1u) << "the hook is called once per job";

    EXPECT_FALSE(fs::exists(c.path)) << c.path;
    EXPECT_EQ(avi_test::DecodeToBgr(c.first), first) << c.first;
    EXPECT_EQ(avi_test::DecodeToBgr(c.second), second) << c.second;
    auto a = avi_test::ProbeVideoStream(c.first);
    auto b = avi_test::ProbeVideoStream(c.second);
    for (const char* key : {"codec_name", "width", "height", "r_frame_rate", "TAG:title"})
      EXPECT_EQ(a[key], b[key]) << key;
    EXPECT_EQ(a["r_frame_rate"], "24000/1001");
    EXPECT_EQ(a["TAG:title"], kStreamTitle);
  }
}

// With audio every split file declares the audio stream, and the audio
// chunks count in the file's KBytes (a split by size counts them too).
TEST(AviWriterSplit, EveryFileCarriesTheAudioStreamAndCountsItsBytes) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const AviAudioFormat pcm = PcmAviFormat(48000, 2, 0x3, 16, 16);
  const std::vector<uint8_t> chunk(1920 * 4, 0x11);  // a 25 fps frame's audio
  AviWriter writer;
  EXPECT_EQ(writer.WriteAudio(chunk), AVI_ERROR_STATE);  // nothing open
  ASSERT_EQ(writer.Open(dir.File("film.avi"), 32, 32, 2, true, &pcm), 0);
  for (int file = 0; file < 2; ++file) {
    if (file > 0) {
      ASSERT_EQ(writer.NextFile(), 0);
    }
    for (int i = 0; i < 3; ++i) {
      WriteFrames(writer, 32, 32, i, 1);
      ASSERT_EQ(writer.WriteAudio(chunk), 0);
    }
    EXPECT_EQ(writer.KBytesInFile(), 3 * (32 * 32 * 3 + 1920 * 4) / 1024);
  }
  ASSERT_EQ(writer.Close(), 0);
  for (const char* name : {"film0.avi", "film1.avi"}) {
    const avi_test::CommandResult r = avi_test::RunCommand(
        {"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
         "stream=codec_name,channels,sample_rate", "-of", "csv=p=0", dir.File(name)});
    EXPECT_EQ(r.out, "pcm_s16le,48000,2\n") << name;
    EXPECT_EQ(r.err, "") << name;
    EXPECT_EQ(avi_test::FfmpegAudio(dir.File(name), "s16le"),
              std::vector<uint8_t>(3 * chunk.size(), 0x11));
  }
  // A job without audio writes none.
  ASSERT_EQ(writer.Open(dir.File("silent.avi"), 32, 32, 2, false), 0);
  EXPECT_EQ(writer.WriteAudio(chunk), AVI_ERROR_STATE);
}

TEST(AviWriterSplit, RelativeNameWithoutExtension) {
  TempDir dir;
  const fs::path saved = fs::current_path();
  fs::current_path(dir.path());
  {
    AviWriter writer;
    EXPECT_EQ(writer.Open("film", 16, 16, 2, true), 0);
    WriteFrames(writer, 16, 16, 0, 1);
    EXPECT_EQ(writer.NextFile(), 0);
    EXPECT_EQ(writer.Close(), 0);
  }
  fs::current_path(saved);
  EXPECT_TRUE(fs::exists(dir.File("film0.avi")));
  EXPECT_TRUE(fs::exists(dir.File("film1.avi")));
  EXPECT_FALSE(fs::exists(dir.File("film")));
}

// Every split file starts afresh with a key frame, even when the compressor
// makes delta frames.
TEST(AviWriterSplit, EachFileStartsWithAKeyFrame) {
  SKIP_WITHOUT_FFMPEG();
  if (!FindCompressor("mpeg4", nullptr)) GTEST_SKIP() << "no MPEG-4 encoder";
  TempDir dir;
  AviWriter writer;
  writer.SetOptions(CompressOptions{"mpeg4", 100, 0, 0});
  ASSERT_EQ(writer.Open(dir.File("gop.avi"), 64, 48, 2, true), 0);
  WriteFrames(writer, 64, 48, 0, 5);
  ASSERT_EQ(writer.NextFile(), 0);
  WriteFrames(writer, 64, 48, 5, 5);
  ASSERT_EQ(writer.Close(), 0);
  const std::vector<bool> kOneKeyThenDeltas = {true, false, false, false, false};
  EXPECT_EQ(avi_test::PacketKeyFlags(dir.File("gop0.avi")), kOneKeyThenDeltas);
  EXPECT_EQ(avi_test::PacketKeyFlags(dir.File("gop1.avi")), kOneKeyThenDeltas);
  EXPECT_EQ(avi_test::CountFrames(dir.File("gop1.avi")), 5);
}

TEST(AviWriterHook, OptionsPersistAcrossJobsAndCancelKeepsThem) {
  TempDir dir;
  AviWriter writer;
  RecordingHook hook;
  hook.InstallOn(writer);
  const CompressOptions kChosen{"ffv1", 10, 0, 0};
  if (!FindCompressor("ffv1", nullptr)) GTEST_SKIP() << "no FFV1 encoder";

  hook.choice = kChosen;
  ASSERT_EQ(writer.Open(dir.File("a.avi"), 16, 16, 2, false), 0);
  ASSERT_EQ(hook.shown.size(), 1u);
  EXPECT_EQ(hook.shown[0], CompressOptions{}) << "the first job starts from all zero";
  EXPECT_EQ(writer.Close(), 0);

  // The next job's hook starts from the previous choice; cancelling it ends
  // Open with 2, leaves the writer idle and the options unchanged.
  hook.confirm = false;
  EXPECT_EQ(writer.Open(dir.File("b.avi"), 16, 16, 2, false), 2);
  ASSERT_EQ(hook.shown.size(), 2u);
  EXPECT_EQ(hook.shown[1], kChosen);
  EXPECT_EQ(writer.Options(), kChosen);
  std::vector<uint8_t> frame(16 * 16 * 3);
  EXPECT_NE(writer.WriteFrame(frame.data()), 0);
  EXPECT_NE(writer.NextFile(), 0);

  // A second Open after Close reuses the options.
  hook.confirm = true;
  hook.choice = hook.shown.back();
  writer.SetChooseCompressorHook(nullptr);
  ASSERT_EQ(writer.Open(dir.File("c.avi"), 16, 16, 2, false), 0);
  EXPECT_EQ(writer.WriteFrame(frame.data()), 0);
  EXPECT_EQ(writer.Close(), 0);
  if (avi_test::HaveFfmpegTools()) {
    EXPECT_EQ(avi_test::ProbeVideoStream(dir.File("c.avi"))["codec_name"], "ffv1");
  }
}

TEST(AviWriterErrors, OpenFailuresReturnOne) {
  TempDir dir;
  AviWriter writer;
  EXPECT_EQ(writer.Open(dir.File("missing/dir/x.avi"), 16, 16, 2, false), 1);
  EXPECT_EQ(writer.Open(dir.File("missing/dir/x"), 16, 16, 2, true), 1);
  EXPECT_FALSE(fs::exists(dir.File("missing")));
  EXPECT_EQ(writer.Open("/dev/full", 16, 16, 2, false), 1);

  RecordingHook hook;
  hook.choice = CompressOptions{"no-such-codec", 0, 0, 0};
  hook.InstallOn(writer);
  EXPECT_EQ(writer.Open(dir.File("bad.avi"), 16, 16, 2, false), 1);
  std::vector<uint8_t> frame(16 * 16 * 3);
  EXPECT_NE(writer.WriteFrame(frame.data()), 0) << "the writer is closed after a failed Open";
  EXPECT_EQ(writer.FramesInFile(), 0);

  // A frame size no compressor takes.
  hook.choice = CompressOptions{};
  EXPECT_EQ(writer.Open(dir.File("empty.avi"), 16, 0, 2, false), 1);
}

TEST(AviWriterErrors, CloseIsSafeAtAnyTime) {
  TempDir dir;
  AviWriter writer;
  EXPECT_EQ(writer.Close(), 0);
  EXPECT_EQ(writer.Close(), 0);
  EXPECT_NE(writer.NextFile(), 0);
  EXPECT_EQ(writer.Open(dir.File("x.avi"), 16, 16, 2, false), 0);
  EXPECT_NE(writer.NextFile(), 0) << "NextFile needs a split job";
  EXPECT_EQ(writer.Close(), 0);
  EXPECT_EQ(writer.Close(), 0);
  EXPECT_EQ(writer.KBytesInFile(), 0);
  EXPECT_EQ(writer.FramesInFile(), 0);
}

// A disk that fills up in the second split file: the writer reports it
// (on a write or at the latest when the file is closed), and the file
// finished before stays complete.
TEST(AviWriterErrors, FullDiskIsReportedAndEarlierFilesStayReadable) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  constexpr int kWidth = 64, kHeight = 48;
  AviWriter writer;
  std::vector<uint8_t> first;
  bool reported = false;
  {
    avi_test::FileSizeLimit limit(400 * 1024);
    ASSERT_EQ(writer.Open(dir.File("part.avi"), kWidth, kHeight, 2, true), 0);
    first = WriteFrames(writer, kWidth, kHeight, 0, 4);
    ASSERT_EQ(writer.NextFile(), 0);
    std::vector<uint8_t> frame = avi_test::MakeFrame(kWidth, kHeight, 9);
    for (int i = 0; i < 100 && !reported; ++i) reported = writer.WriteFrame(frame.data()) != 0;
    if (writer.Close() != 0) reported = true;
  }
  EXPECT_TRUE(reported);
  EXPECT_EQ(avi_test::DecodeToBgr(dir.File("part0.avi")), first);
  EXPECT_EQ(avi_test::CountFrames(dir.File("part0.avi")), 4);
}

// A full disk when the split file is completed makes NextFile fail.
TEST(AviWriterErrors, NextFileReportsAFileThatCouldNotBeCompleted) {
  TempDir dir;
  AviWriter writer;
  ASSERT_EQ(writer.Open(dir.File("n.avi"), 16, 16, 2, true), 0);
  WriteFrames(writer, 16, 16, 0, 2);
  {
    avi_test::FileSizeLimit limit(1);
    EXPECT_NE(writer.NextFile(), 0);
  }
  writer.Close();
  EXPECT_FALSE(fs::exists(dir.File("n1.avi")));
}

}  // namespace
