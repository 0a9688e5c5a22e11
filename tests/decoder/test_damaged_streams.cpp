// Damaged input never crashes, hangs or touches memory it does not own: the
// bundled sample is cut, flipped, zeroed and spliced with garbage, and every
// variant must decode to its end. (The sanitizer build makes any bad access
// fatal.)
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "decoder/decoder.h"
#include "decoder/diagnostics.h"
#include "tests/support/stream_builder.h"
#include "tests/support/temp_files.h"

namespace {

// Offsets of the first `count` occurrences of start code `code` (the byte
// after the prefix); for slices any code from 0x01 to 0xAF; -1: all codes.
std::vector<size_t> Find_Start_Codes(const std::vector<uint8_t>& bytes, int code, size_t count) {
  std::vector<size_t> found;
  for (size_t i = 0; i + 3 < bytes.size() && found.size() < count; ++i) {
    if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) continue;
    const int c = bytes[i + 3];
    if (c == code || code < 0 || (code == 0x01 && c >= 0x01 && c <= 0xAF)) found.push_back(i);
  }
  return found;
}

// Peak resident memory of this process so far, in MiB.
long Peak_Memory_MiB() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

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

// --- Hostile inputs: each ends with a defined result, within bounded memory --

TEST_F(DamagedStreams, CutInsideEveryLayerOfTheMultiplex) {
  // Pack headers, the system header, video and audio packets, picture
  // headers and slices: cut one to fourteen bytes into an early and a late
  // one.
  for (int code : {0xBA, 0xBB, 0xE0, 0xC0, 0x00, 0x01}) {
    const std::vector<size_t> at = Find_Start_Codes(sample_, code, 40);
    ASSERT_GE(at.size(), 2u) << code;
    for (size_t start : {at[1], at.back()}) {
      for (size_t into : {1, 2, 3, 4, 6, 9, 14}) {
        std::vector<uint8_t> head(sample_.begin(),
                                  sample_.begin() + static_cast<long>(start + into));
        const int shown = Decode_All(temp_, {head});
        EXPECT_LE(shown, 50) << code << " +" << into;
      }
    }
  }
}

TEST_F(DamagedStreams, FlippedBitsInSliceDataCostNoFrame) {
  // Bits after each slice header, and clear of the next start code, so that
  // no picture header is hit.
  std::vector<size_t> places;
  const std::vector<size_t> codes = Find_Start_Codes(sample_, -1, sample_.size());
  for (size_t i = 0; i + 1 < codes.size(); ++i) {
    const int code = sample_[codes[i] + 3];
    if (code < 0x01 || code > 0xAF) continue;
    for (size_t at = codes[i] + 8; at + 8 < codes[i + 1]; ++at) places.push_back(at);
  }
  ASSERT_GT(places.size(), 10000u);
  std::mt19937 rng(4);
  for (int round = 0; round < 8; ++round) {
    std::vector<uint8_t> bytes = sample_;
    for (int k = 0; k < 20; ++k) {
      bytes[places[rng() % places.size()]] ^= static_cast<uint8_t>(1u << (rng() % 8));
    }
    EXPECT_EQ(Decode_All(temp_, {bytes}), 50) << "round " << round;
  }
}

TEST_F(DamagedStreams, EmptyFilesAnywhereInTheListAndSixteenPieces) {
  const std::vector<uint8_t> empty;
  const size_t half = sample_.size() / 2;
  const std::vector<uint8_t> a(sample_.begin(), sample_.begin() + static_cast<long>(half));
  const std::vector<uint8_t> b(sample_.begin() + static_cast<long>(half), sample_.end());
  EXPECT_EQ(Decode_All(temp_, {empty, sample_}), 50);
  EXPECT_EQ(Decode_All(temp_, {empty, empty, a, empty, b, empty}), 50);
  EXPECT_EQ(Decode_All(temp_, {empty}), -1);
  std::vector<std::vector<uint8_t>> pieces;
  for (size_t i = 0; i < 16; ++i) {
    pieces.emplace_back(sample_.begin() + static_cast<long>(i * sample_.size() / 16),
                        sample_.begin() + static_cast<long>((i + 1) * sample_.size() / 16));
  }
  EXPECT_EQ(Decode_All(temp_, pieces), 50);
}

TEST_F(DamagedStreams, ExtremePictureSizesDecodeWithinBoundedMemory) {
  // Flat I and P pictures at the smallest size and at 4095 x 4095 (MPEG-2,
  // so slices beyond row 175 carry the vertical position extension).
  for (int size : {16, 4095}) {
    BitWriter w;
    SequenceParams seq;
    seq.horizontal_size = seq.vertical_size = size;
    Write_Sequence_Header(w, seq);
    Write_Sequence_Extension(w, SequenceExtensionParams{});
    const int macroblocks = (size + 15) / 16;
    for (int type : {1, 2, 2}) {
      Write_Picture_Header(w, type);
      Write_Picture_Coding_Extension(w, PictureCodingParams{});
      for (int row = 0; row < macroblocks; ++row) {
        Write_Flat_Intra_Slice(w, row, macroblocks, type, 60 + 40 * type, size > 2800);
      }
    }
    Write_Sequence_End(w);
    EXPECT_EQ(Decode_All(temp_, {w.Bytes()}), 3) << size;
  }
  // Three 4096 x 4096 stores and the chroma buffers are about 110 MiB.
  EXPECT_LT(Peak_Memory_MiB(), 400);
}

}  // namespace
