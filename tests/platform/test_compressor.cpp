// The compressors, through AVI files that ffmpeg decodes: lossless ones give
// back the exact RGB frames, lossy ones a close picture, one packet per
// frame with the key flags the encoder reported, and the options steer the
// encoders the documented way.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/avi_file.h"
#include "platform/compressor.h"
#include "tests/platform/avi_file_setup.h"
#include "tests/platform/avi_test_support.h"

namespace {

using avi_test::TempDir;

constexpr int kWidth = 96;
constexpr int kHeight = 64;

// The 24-bit RGB frames the compressors take.
BitmapInfoHeader InputFormat(int width, int height) {
  return avi_test::Format(width, height, BI_RGB);
}

struct Written {
  int result = AVI_OK;
  std::vector<bool> reported_keys;
  int64_t packet_bytes = 0;
  std::vector<uint8_t> expected;  // the input frames, top-down
};

// Compresses `count` test frames with `options` into an AVI file at `path`.
Written WriteCompressed(const std::string& path, const CompressOptions& options, int count,
                        uint32_t rate = 25, uint32_t scale = 1) {
  Written w;
  CompressedStream stream;
  w.result = stream.Open(options, InputFormat(kWidth, kHeight), rate, scale);
  if (w.result != AVI_OK) return w;
  AviFile file;
  AviStreamInfo info;
  info.fccType = MakeFourCC("vids");
  info.dwRate = rate;
  info.dwScale = scale;
  info.rcFrame = AviRect{0, 0, kWidth, kHeight};
  if ((w.result = file.Create(path)) != AVI_OK) return w;
  if ((w.result = file.CreateStream(info)) != AVI_OK) return w;
  if ((w.result = file.SetFormat(stream.OutputFormat(), stream.Extradata())) != AVI_OK) return w;
  for (int i = 0; i < count; ++i) {
    std::vector<uint8_t> frame = avi_test::MakeFrame(kWidth, kHeight, i);
    CompressedFrame packet;
    if ((w.result = stream.Compress(frame, &packet)) != AVI_OK) return w;
    EXPECT_FALSE(packet.data.empty());
    w.reported_keys.push_back(packet.key_frame);
    w.packet_bytes += static_cast<int64_t>(packet.data.size());
    if ((w.result = file.WriteFrame(packet.data, packet.key_frame, nullptr, nullptr)) != AVI_OK)
      return w;
    std::vector<uint8_t> top_down = avi_test::TopDown(frame, kWidth, kHeight);
    w.expected.insert(w.expected.end(), top_down.begin(), top_down.end());
  }
  w.result = file.Release();
  return w;
}

// Lowest PSNR over the frames of `decoded` against `expected`.
double WorstPsnr(const std::vector<uint8_t>& decoded, const std::vector<uint8_t>& expected) {
  const size_t frame = size_t{3} * kWidth * kHeight;
  double worst = 99.0;
  for (size_t at = 0; at + frame <= expected.size() && at + frame <= decoded.size(); at += frame)
    worst = std::min(worst, avi_test::Psnr(decoded.data() + at, expected.data() + at, frame));
  return worst;
}

CompressorInfo Info(const std::string& name) {
  CompressorInfo info;
  EXPECT_TRUE(FindCompressor(name, &info)) << name;
  return info;
}

TEST(CompressorList, UncompressedComesFirstAndNamesAreConsistent) {
  std::vector<CompressorInfo> list = AvailableCompressors();
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list[0].name, "uncompressed");
  EXPECT_EQ(list[0].display_name, "Full Frames (Uncompressed)");
  EXPECT_EQ(list[0].fourcc, BI_RGB);
  EXPECT_TRUE(list[0].lossless);

  const std::map<std::string, std::string> kFourccs = {{"ffv1", "FFV1"},    {"huffyuv", "HFYU"},
                                                       {"utvideo", "ULRG"}, {"mjpeg", "MJPG"},
                                                       {"mpeg4", "FMP4"},   {"h264", "H264"}};
  std::set<std::string> names;
  for (const CompressorInfo& c : list) {
    EXPECT_TRUE(names.insert(c.name).second) << "duplicate " << c.name;
    EXPECT_FALSE(c.display_name.empty());
    CompressorInfo found;
    EXPECT_TRUE(FindCompressor(c.name, &found));
    EXPECT_EQ(found.fourcc, c.fourcc);
    if (c.name != "uncompressed") {
      ASSERT_TRUE(kFourccs.count(c.name)) << c.name;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(&c.fourcc), 4), kFourccs.at(c.name));
    }
  }
  CompressorInfo empty;
  ASSERT_TRUE(FindCompressor("", &empty));
  EXPECT_EQ(empty.name, "uncompressed");
  EXPECT_FALSE(FindCompressor("no-such-codec", nullptr));
}

class EveryCompressor : public ::testing::TestWithParam<std::string> {};

// Names of the available compressors; with `honours` only those that offer
// the setting it selects.
std::vector<std::string> AvailableNames(bool CompressorInfo::*honours = nullptr) {
  std::vector<std::string> names;
  for (const CompressorInfo& c : AvailableCompressors())
    if (honours == nullptr || c.*honours) names.push_back(c.name);
  return names;
}

TEST_P(EveryCompressor, FramesDecodeBackWithTheReportedKeyFlags) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("c.avi");
  const CompressorInfo info = Info(GetParam());
  constexpr int kFrames = 10;
  Written w = WriteCompressed(path, CompressOptions{GetParam(), 0, 0, 0}, kFrames);
  ASSERT_EQ(w.result, AVI_OK);

  static const std::map<std::string, std::string> kCodecs = {{"uncompressed", "rawvideo"},
                                                             {"ffv1", "ffv1"},
                                                             {"huffyuv", "huffyuv"},
                                                             {"utvideo", "utvideo"},
                                                             {"mjpeg", "mjpeg"},
                                                             {"mpeg4", "mpeg4"},
                                                             {"h264", "h264"}};
  auto probe = avi_test::ProbeVideoStream(path);
  EXPECT_EQ(probe["codec_name"], kCodecs.at(GetParam()));
  if (info.fourcc != BI_RGB) {
    const std::string tag(reinterpret_cast<const char*>(&info.fourcc), 4);
    EXPECT_EQ(probe["codec_tag_string"], tag);
  }
  EXPECT_EQ(probe["width"], std::to_string(kWidth));
  EXPECT_EQ(probe["height"], std::to_string(kHeight));
  EXPECT_EQ(probe["nb_frames"], std::to_string(kFrames));

  std::string errors;
  std::vector<uint8_t> decoded = avi_test::DecodeToBgr(path, &errors);
  EXPECT_EQ(errors, "");
  ASSERT_EQ(decoded.size(), w.expected.size());
  if (info.lossless) {
    EXPECT_TRUE(decoded == w.expected) << "lossless output differs";
  } else {
    // 4:2:0 chroma on the test pattern's saturated edges caps RGB PSNR near
    // 29 dB; an upside-down or garbled picture scores far below 20.
    EXPECT_GT(WorstPsnr(decoded, w.expected), 25.0);
  }

  ASSERT_FALSE(w.reported_keys.empty());
  EXPECT_TRUE(w.reported_keys[0]);
  EXPECT_EQ(avi_test::PacketKeyFlags(path), w.reported_keys);
}

TEST_P(EveryCompressor, KeyFrameIntervalIsHonouredWhereOffered) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("k.avi");
  const CompressorInfo info = Info(GetParam());
  constexpr int kFrames = 13, kInterval = 4;
  Written w = WriteCompressed(path, CompressOptions{GetParam(), kInterval, 0, 0}, kFrames);
  ASSERT_EQ(w.result, AVI_OK);
  ASSERT_EQ(w.reported_keys.size(), static_cast<size_t>(kFrames));
  EXPECT_EQ(avi_test::PacketKeyFlags(path), w.reported_keys);
  if (!info.honours_keyframe_every) {
    for (bool key : w.reported_keys) EXPECT_TRUE(key);
    return;
  }
  int since_key = 0;
  for (int i = 0; i < kFrames; ++i) {
    since_key = w.reported_keys[i] ? 0 : since_key + 1;
    EXPECT_LT(since_key, kInterval) << "frame " << i;
    // FFV1 and MPEG-4 place key frames on the interval exactly.
    if (GetParam() == "ffv1" || GetParam() == "mpeg4") {
      EXPECT_EQ(w.reported_keys[i], i % kInterval == 0) << "frame " << i;
    }
  }
}

// Slice threads must not make the bytes depend on timing: the same frames
// give the same file every time.
TEST_P(EveryCompressor, TheSameFramesGiveTheSameBytes) {
  TempDir dir;
  const CompressOptions options{GetParam(), 5, 0, 0};
  ASSERT_EQ(WriteCompressed(dir.File("a.avi"), options, 8).result, AVI_OK);
  ASSERT_EQ(WriteCompressed(dir.File("b.avi"), options, 8).result, AVI_OK);
  EXPECT_TRUE(avi_test::ReadWholeFile(dir.File("a.avi")) ==
              avi_test::ReadWholeFile(dir.File("b.avi")));
}

// The caller's frame may end where the process's memory ends: nothing past
// its last byte is read (the pixel format converter reads ahead of a row),
// and nothing past the read-ahead of a padded frame, which gives the same
// packet.
TEST_P(EveryCompressor, NothingPastTheFrameIsRead) {
  const int width = 96, height = 224;  // a row and a frame of no round size
  const size_t bytes = size_t{3} * width * height;
  const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  const size_t mapped = (bytes + CompressedStream::kReadAhead + page - 1) / page * page;
  void* base =
      ::mmap(nullptr, mapped + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(base, MAP_FAILED);
  auto* memory = static_cast<uint8_t*>(base);
  ASSERT_EQ(::mprotect(memory + mapped, page, PROT_NONE), 0);
  std::vector<uint8_t> packets[2];
  for (bool padded : {false, true}) {
    uint8_t* start = memory + mapped - bytes - (padded ? CompressedStream::kReadAhead : 0);
    for (size_t i = 0; i < bytes; ++i) start[i] = static_cast<uint8_t>(i * 7 / 3);
    std::fill(start + bytes, memory + mapped, uint8_t{0xEE});
    CompressedStream stream;
    CompressedFrame packet;
    ASSERT_EQ(stream.Open(CompressOptions{GetParam(), 0, 0, 0}, InputFormat(width, height), 25, 1),
              AVI_OK);
    EXPECT_EQ(stream.Compress(std::span<const uint8_t>(start, bytes), &packet, padded), AVI_OK);
    packets[padded].assign(packet.data.begin(), packet.data.end());
  }
  EXPECT_EQ(packets[0], packets[1]);
  ::munmap(base, mapped + page);
}

// Frames handed ahead, up to two beyond the one compressed (compressed by
// the second encoder or early on the caller's thread, or converted while the
// encoder codes), give the packets of compressing each in turn; every
// encoder takes them. A packet stays as it was while frames are handed
// ahead, up to the next Compress.
TEST_P(EveryCompressor, FramesCompressedAheadGiveThePacketsInTurn) {
  const int width = 64, height = 48;
  const size_t bytes = size_t{3} * width * height;
  std::mt19937 random(3);
  std::vector<std::vector<uint8_t>> frames(9);
  for (auto& frame : frames) {
    frame.resize(bytes + CompressedStream::kReadAhead);
    for (uint8_t& byte : frame) byte = static_cast<uint8_t>(random() >> 24);
  }
  std::vector<std::vector<uint8_t>> packets[2];
  int taken = 0;
  for (bool ahead : {false, true}) {
    CompressedStream stream;
    ASSERT_EQ(stream.Open(CompressOptions{GetParam(), 0, 0, 0}, InputFormat(width, height), 25, 1),
              AVI_OK);
    size_t handed = 1;  // the first frame not handed ahead
    CompressedFrame packet;
    for (size_t j = 0; j < frames.size(); ++j) {
      handed = std::max(handed, j + 1);
      while (ahead && handed < std::min(j + 3, frames.size()) &&
             stream.CompressAhead(std::span<const uint8_t>(frames[handed].data(), bytes))) {
        ++handed;
        ++taken;
      }
      if (j > 0) {
        EXPECT_TRUE(std::ranges::equal(packet.data, packets[ahead].back())) << j;
      }
      ASSERT_EQ(stream.Compress(std::span<const uint8_t>(frames[j].data(), bytes), &packet, true),
                AVI_OK);
      packets[ahead].emplace_back(packet.data.begin(), packet.data.end());
    }
  }
  EXPECT_EQ(packets[0], packets[1]);
  EXPECT_EQ(taken > 0, GetParam() != "uncompressed" && std::thread::hardware_concurrency() > 1);
}

class QualityCompressor : public ::testing::TestWithParam<std::string> {};
class DataRateCompressor : public ::testing::TestWithParam<std::string> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(QualityCompressor);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DataRateCompressor);

TEST_P(QualityCompressor, HigherQualityGivesLargerAndCloserFrames) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  Written low = WriteCompressed(dir.File("low.avi"), CompressOptions{GetParam(), 0, 0, 10}, 6);
  Written high = WriteCompressed(dir.File("high.avi"), CompressOptions{GetParam(), 0, 0, 95}, 6);
  ASSERT_EQ(low.result, AVI_OK);
  ASSERT_EQ(high.result, AVI_OK);
  EXPECT_GT(high.packet_bytes, low.packet_bytes);
  EXPECT_GT(WorstPsnr(avi_test::DecodeToBgr(dir.File("high.avi")), high.expected),
            WorstPsnr(avi_test::DecodeToBgr(dir.File("low.avi")), low.expected) + 3.0);
}

// The data rate is in KB/s of 1024 bytes: one second of video lands near
// data_rate x 1024 bytes.
TEST_P(DataRateCompressor, DataRateSteersTheSize) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  constexpr int kFrames = 25;  // one second at 25 fps
  for (int rate : {8, 32}) {
    Written w =
        WriteCompressed(dir.File("r.avi"), CompressOptions{GetParam(), 0, rate, 0}, kFrames);
    ASSERT_EQ(w.result, AVI_OK);
    EXPECT_GT(w.packet_bytes, rate * 1024 / 2) << rate << " KB/s";
    EXPECT_LT(w.packet_bytes, rate * 1024 * 2) << rate << " KB/s";
    EXPECT_EQ(avi_test::CountFrames(dir.File("r.avi")), kFrames);
  }
}

INSTANTIATE_TEST_SUITE_P(Available, EveryCompressor, ::testing::ValuesIn(AvailableNames()),
                         [](const auto& param) { return param.param; });
INSTANTIATE_TEST_SUITE_P(Available, QualityCompressor,
                         ::testing::ValuesIn(AvailableNames(&CompressorInfo::honours_quality)),
                         [](const auto& param) { return param.param; });
INSTANTIATE_TEST_SUITE_P(Available, DataRateCompressor,
                         ::testing::ValuesIn(AvailableNames(&CompressorInfo::honours_data_rate)),
                         [](const auto& param) { return param.param; });

TEST(CompressedStreamErrors, RefusalsAreResultsNotCrashes) {
  CompressedStream stream;
  CompressedFrame packet;
  std::vector<uint8_t> frame(size_t{3} * kWidth * kHeight);
  EXPECT_EQ(stream.Compress(frame, &packet), AVI_ERROR_STATE);

  EXPECT_EQ(
      stream.Open(CompressOptions{"no-such-codec", 0, 0, 0}, InputFormat(kWidth, kHeight), 25, 1),
      AVI_ERROR_COMPRESSOR);
  EXPECT_FALSE(stream.IsOpen());

  BitmapInfoHeader rgb32 = InputFormat(kWidth, kHeight);
  rgb32.biBitCount = 32;
  EXPECT_EQ(stream.Open(CompressOptions{}, rgb32, 25, 1), AVI_ERROR_ARGUMENT);
  EXPECT_EQ(stream.Open(CompressOptions{}, InputFormat(kWidth, -kHeight), 25, 1),
            AVI_ERROR_ARGUMENT);
  EXPECT_EQ(stream.Open(CompressOptions{}, InputFormat(kWidth, kHeight), 0, 1), AVI_ERROR_ARGUMENT);

  if (FindCompressor("mpeg4", nullptr)) {
    // MPEG-4 Part 2 cannot express a time base denominator above 65535:
    // the encoder refuses to open.
    EXPECT_EQ(
        stream.Open(CompressOptions{"mpeg4", 0, 0, 0}, InputFormat(kWidth, kHeight), 100000, 1001),
        AVI_ERROR_COMPRESSOR);
    EXPECT_FALSE(stream.IsOpen());
  }

  // After refusals the same object opens normally.
  ASSERT_EQ(stream.Open(CompressOptions{}, InputFormat(kWidth, kHeight), 25, 1), AVI_OK);
  EXPECT_EQ(stream.FrameBytes(), frame.size());
  std::vector<uint8_t> short_frame(frame.size() - 1);
  EXPECT_EQ(stream.Compress(short_frame, &packet), AVI_ERROR_ARGUMENT);
  ASSERT_EQ(stream.Compress(frame, &packet), AVI_OK);
  EXPECT_EQ(packet.data.size(), frame.size());
  EXPECT_TRUE(packet.key_frame);
}

// FFV1 cuts frames into slices for its threads (version 3, which keeps its
// configuration in the extra data); a picture one column wide has room for
// one slice only and is coded without.
TEST(CompressedStreamFormat, Ffv1IsSlicedWhereThePictureAllows) {
  if (!FindCompressor("ffv1", nullptr)) GTEST_SKIP() << "no FFV1 encoder";
  for (int width : {kWidth, 1}) {
    SCOPED_TRACE(width);
    CompressedStream stream;
    ASSERT_EQ(stream.Open(CompressOptions{"ffv1"}, InputFormat(width, kHeight), 25, 1), AVI_OK);
    EXPECT_EQ(stream.Extradata().empty(), width == 1);
    std::vector<uint8_t> frame(stream.FrameBytes(), 0x5A);
    CompressedFrame packet;
    ASSERT_EQ(stream.Compress(frame, &packet), AVI_OK);
    EXPECT_FALSE(packet.data.empty());
  }
}

TEST(CompressedStreamFormat, StoredFormatDescribesTheCompressedFrames) {
  if (!FindCompressor("huffyuv", nullptr)) GTEST_SKIP() << "no HuffYUV encoder";
  CompressedStream stream;
  ASSERT_EQ(stream.Open(CompressOptions{"huffyuv", 0, 0, 0}, InputFormat(kWidth, kHeight), 25, 1),
            AVI_OK);
  const BitmapInfoHeader& f = stream.OutputFormat();
  EXPECT_EQ(f.biCompression, MakeFourCC("HFYU"));
  EXPECT_EQ(f.biWidth, kWidth);
  EXPECT_EQ(f.biHeight, kHeight);
  EXPECT_EQ(f.biBitCount, 24);
  EXPECT_EQ(f.biSizeImage, static_cast<uint32_t>(3 * kWidth * kHeight));
  EXPECT_FALSE(stream.Extradata().empty());  // HuffYUV's tables travel in strf
}

}  // namespace
