// YUV4MPEG2 parsing and frame comparison of the y4m comparison tool: every
// header variant that other tools write, and damaged files that must be
// reported rather than read past.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/y4m.h"

namespace {

TEST(Y4mHeader, ChromaTagsGiveThePlaneSizes) {
  struct Case {
    const char* line;
    int chroma_width;
    int chroma_height;
  };
  const Case cases[] = {
      {"YUV4MPEG2 W17 H9", 9, 5},  // no tag: 4:2:0
      {"YUV4MPEG2 W17 H9 C420jpeg", 9, 5},  {"YUV4MPEG2 W17 H9 C420mpeg2 XYSCSS=420MPEG2", 9, 5},
      {"YUV4MPEG2 W17 H9 C420paldv", 9, 5}, {"YUV4MPEG2 W17 H9 C420", 9, 5},
      {"YUV4MPEG2 W17 H9 C422", 9, 9},      {"YUV4MPEG2 W17 H9 C444", 17, 9},
      {"YUV4MPEG2 W17 H9 C411", 5, 9},      {"YUV4MPEG2 W17 H9 Cmono", 0, 0},
  };
  for (const Case& c : cases) {
    y4m::Header h;
    ASSERT_EQ(y4m::ParseHeader(c.line, h), "") << c.line;
    EXPECT_EQ(h.width, 17);
    EXPECT_EQ(h.height, 9);
    EXPECT_EQ(y4m::ChromaWidth(h), c.chroma_width) << c.line;
    EXPECT_EQ(y4m::ChromaHeight(h), c.chroma_height) << c.line;
    EXPECT_EQ(y4m::FrameBytes(h), 17 * 9 + 2 * c.chroma_width * c.chroma_height);
  }
}

TEST(Y4mHeader, OptionalFieldsInAnyOrder) {
  y4m::Header h;
  ASSERT_EQ(
      y4m::ParseHeader(
          "YUV4MPEG2  C422 Ib  F30000:1001 A128:117 W720 XCOLORRANGE=LIMITED H576 Zfuture", h),
      "");
  EXPECT_EQ(h.width, 720);
  EXPECT_EQ(h.height, 576);
  EXPECT_EQ(h.sampling, y4m::Sampling::k422);
  EXPECT_EQ(h.rate_numerator, 30000);
  EXPECT_EQ(h.rate_denominator, 1001);
  EXPECT_EQ(h.aspect_numerator, 128);
  EXPECT_EQ(h.aspect_denominator, 117);
  EXPECT_EQ(h.interlacing, 'b');
  y4m::Header a;
  y4m::Header b;
  ASSERT_EQ(y4m::ParseHeader("YUV4MPEG2 W2 H2 C420jpeg", a), "");
  ASSERT_EQ(y4m::ParseHeader("YUV4MPEG2 W2 H2 C420mpeg2", b), "");
  EXPECT_TRUE(y4m::SameSampling(a, b));
}

TEST(Y4mHeader, MalformedHeadersAreRefused) {
  const char* const bad[] = {
      "",
      "YUV4MPEG",
      "YUV4MPEG2W16 H16",
      "YUV4MPEG2 W16",
      "YUV4MPEG2 H16",
      "YUV4MPEG2 W0 H16",
      "YUV4MPEG2 W-16 H16",
      "YUV4MPEG2 W16x H16",
      "YUV4MPEG2 W99999999999 H16",
      "YUV4MPEG2 W32769 H16",
      "YUV4MPEG2 W32768 H32768 C444",  // 3 GiB a frame
      "YUV4MPEG2 W16 H16 F25",
      "YUV4MPEG2 W16 H16 F:",
      "YUV4MPEG2 W16 H16 Ix",
      "YUV4MPEG2 W16 H16 C420p10",
      "YUV4MPEG2 W16 H16 W",
  };
  for (const char* line : bad) {
    y4m::Header h;
    EXPECT_NE(y4m::ParseHeader(line, h), "") << line;
  }
  EXPECT_EQ(y4m::ParseFrameLine("FRAME"), "");
  EXPECT_EQ(y4m::ParseFrameLine("FRAME Ip XJUNK"), "");
  EXPECT_NE(y4m::ParseFrameLine("FRAMES"), "");
  EXPECT_NE(y4m::ParseFrameLine("frame"), "");
}

class Y4mFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("y4m_test_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".y4m");
  }
  void TearDown() override { std::filesystem::remove(path_); }
  void Write(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  std::filesystem::path path_;
};

TEST_F(Y4mFile, FramesWithParametersAreReadToACleanEnd) {
  const std::string frame(6 + 2 * 2, '\x40');  // 3x2 4:2:0: 6 luma, 2 x 2 chroma
  Write("YUV4MPEG2 W3 H2 F25:1\nFRAME\n" + frame + "FRAME Ip XA=1\n" + frame);
  y4m::Reader reader;
  ASSERT_EQ(reader.Open(path_.string()), "");
  std::vector<uint8_t> data;
  std::string error;
  EXPECT_EQ(reader.ReadFrame(data, error), 1);
  EXPECT_EQ(data.size(), 10u);
  EXPECT_EQ(reader.ReadFrame(data, error), 1);
  EXPECT_EQ(reader.ReadFrame(data, error), 0);
}

TEST_F(Y4mFile, DamagedFilesAreErrorsNotEnds) {
  const std::string frame(10, 'x');
  const std::string header = "YUV4MPEG2 W3 H2\n";
  const std::string damaged[] = {
      header + "FRAME\n" + frame.substr(0, 9),  // short frame data
      header + "FRAME",                         // frame line without newline
      header + "FRAMEX\n" + frame,              // not a frame marker
      header + frame,                           // no marker at all
      header + "FRAME " + std::string(10000, 'p') + "\n" + frame,
  };
  for (const std::string& bytes : damaged) {
    Write(bytes);
    y4m::Reader reader;
    ASSERT_EQ(reader.Open(path_.string()), "");
    std::vector<uint8_t> data;
    std::string error;
    EXPECT_EQ(reader.ReadFrame(data, error), -1) << bytes.substr(0, 30);
    EXPECT_FALSE(error.empty());
  }
  Write("YUV4MPEG2 W3 H2");  // header without newline
  y4m::Reader reader;
  EXPECT_NE(reader.Open(path_.string()), "");
  EXPECT_NE(reader.Open((path_.string() + ".missing")), "");
}

TEST(Y4mCompare, DifferencesArePlacedAndMeasured) {
  y4m::Header h;
  ASSERT_EQ(y4m::ParseHeader("YUV4MPEG2 W4 H2 C420", h), "");  // 8 + 2 + 2 bytes
  std::vector<uint8_t> a(12, 100);
  std::vector<uint8_t> b = a;
  y4m::PlaneDifference d[3];
  y4m::CompareFrame(h, a.data(), b.data(), d);
  for (const auto& plane : d) EXPECT_EQ(plane.max_difference, 0);
  EXPECT_TRUE(std::isinf(y4m::Psnr(d[0].squared_error, d[0].samples)));
  b[6] = 103;  // Y at x 2, y 1
  b[11] = 98;  // Cr
  y4m::CompareFrame(h, a.data(), b.data(), d);
  EXPECT_EQ(d[0].max_difference, 3);
  EXPECT_EQ(d[0].max_x, 2);
  EXPECT_EQ(d[0].max_y, 1);
  EXPECT_EQ(d[0].squared_error, 9u);
  EXPECT_EQ(d[0].samples, 8u);
  EXPECT_EQ(d[1].max_difference, 0);
  EXPECT_EQ(d[2].max_difference, 2);
  EXPECT_EQ(d[2].max_x, 1);
  // MSE 9 / 8: 10 log10(255^2 / 1.125)
  EXPECT_NEAR(y4m::Psnr(9, 8), 47.6193, 1e-3);
}

}  // namespace
