// Damaged input never crashes, hangs or touches memory it does not own: the
// bundled sample is cut, flipped, zeroed and spliced with garbage, and every
// variant must decode to its end. (The sanitizer build makes any bad access
// fatal.)
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/diagnostics.h"
#include "tests/support/temp_files.h"

namespace {

std::vector<uint8_t> Read_File(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

void Ignore(const char*) {}

// Decodes the files to the end; returns the number of frames shown.
int Decode_All(TempFiles& temp, const std::vector<std::vector<uint8_t>>& files) {
  std::vector<std::string> paths;
  for (size_t i = 0; i < files.size(); ++i) {
    paths.push_back(temp.Write("input" + std::to_string(i), files[i]));
  }
  PathList list(paths);
  if (Decoder_Open(list.get()) != DECODER_OK) return -1;
  int shown = 0;
  for (int i = 0; i < 1000; ++i) {
    int r = Decoder_Next_Picture();
    FrameStore store;
    int progressive;
    if (Display_Store(r == DECODER_END_OF_SEQUENCE, &store, &progressive)) ++shown;
    if (r != DECODER_OK) break;
  }
  Decoder_Close();
  return shown;
}

class DamagedStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    sample_ = Read_File(std::string(VIDORLAN_SOURCE_DIR) + "/samples/sample.mpg");
    ASSERT_GT(sample_.size(), 100000u);
    Decoder_Set_Diagnostic_Sink(Ignore);
  }
  void TearDown() override { Decoder_Set_Diagnostic_Sink(nullptr); }

  std::vector<uint8_t> sample_;
  TempFiles temp_;
};

TEST_F(DamagedStreams, TheIntactSampleDecodesEveryFrame) {
  EXPECT_EQ(Decode_All(temp_, {sample_}), 50);
}

TEST_F(DamagedStreams, TruncatedAnywhereEndsCleanly) {
  std::mt19937 rng(1);
  for (int i = 0; i < 12; ++i) {
    size_t cut = rng() % sample_.size();
    std::vector<uint8_t> head(sample_.begin(), sample_.begin() + static_cast<long>(cut));
    int shown = Decode_All(temp_, {head});
    EXPECT_LE(shown, 50);
  }
}

TEST_F(DamagedStreams, CorruptedBytesNeverStopDecoding) {
  std::mt19937 rng(2);
  for (int round = 0; round < 24; ++round) {
    std::vector<uint8_t> bytes = sample_;
    int damage = 1 + static_cast<int>(rng() % 40);
    for (int k = 0; k < damage; ++k) {
      size_t at = 4096 + rng() % (bytes.size() - 4096);
      switch (rng() % 4) {
        case 0:  // flip a bit
          bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
          break;
        case 1:  // a run of zeros
          for (size_t j = at; j < std::min(bytes.size(), at + rng() % 300); ++j) bytes[j] = 0;
          break;
        case 2:  // a run of garbage
          for (size_t j = at; j < std::min(bytes.size(), at + rng() % 300); ++j) {
            bytes[j] = static_cast<uint8_t>(rng());
          }
          break;
        default:  // a run of 0xFF
          for (size_t j = at; j < std::min(bytes.size(), at + rng() % 50); ++j) bytes[j] = 0xFF;
          break;
      }
    }
    int shown = Decode_All(temp_, {bytes});
    EXPECT_GE(shown, 1) << "round " << round;
  }
}

TEST_F(DamagedStreams, GarbageAndOddFilesAreRefusedOrDecoded) {
  std::mt19937 rng(3);
  std::vector<uint8_t> garbage(50000);
  for (auto& b : garbage) b = static_cast<uint8_t>(rng());
  EXPECT_EQ(Decode_All(temp_, {garbage}), -1);
  EXPECT_EQ(Decode_All(temp_, {std::vector<uint8_t>(70000, 0)}), -1);
  // Garbage after a start code prefix, and a stream of start codes only.
  std::vector<uint8_t> prefixed = {0, 0, 1, 0xB3};
  prefixed.insert(prefixed.end(), garbage.begin(), garbage.end());
  EXPECT_LE(Decode_All(temp_, {prefixed}), 1000);
  std::vector<uint8_t> codes;
  for (int i = 0; i < 5000; ++i) codes.insert(codes.end(), {0, 0, 1, static_cast<uint8_t>(i)});
  EXPECT_LE(Decode_All(temp_, {codes}), 1000);
  // Sample pieces with garbage files between them.
  std::vector<uint8_t> a(sample_.begin(), sample_.begin() + 150000);
  std::vector<uint8_t> b(sample_.begin() + 150000, sample_.end());
  std::vector<uint8_t> junk(garbage.begin(), garbage.begin() + 3000);
  EXPECT_GE(Decode_All(temp_, {a, junk, b}), 1);
}

}  // namespace
