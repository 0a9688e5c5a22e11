// The bit reader over the input chain and the program-stream demultiplexer:
// every bit must come out exactly as it went in, across buffer, packet and
// file edges, and the end of the input must read as sequence_end_codes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/input.h"
#include "tests/support/memory_input.h"
#include "tests/support/program_stream.h"
#include "tools/synth/bit_writer.h"

namespace {

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// Bit `i` of `bytes`, most significant first.
int ReferenceBit(const std::vector<uint8_t>& bytes, size_t i) {
  return (bytes[i / 8] >> (7 - i % 8)) & 1;
}

uint32_t ReferenceBits(const std::vector<uint8_t>& bytes, size_t pos, int n) {
  uint32_t v = 0;
  for (int k = 0; k < n; ++k) v = (v << 1) | static_cast<uint32_t>(ReferenceBit(bytes, pos + k));
  return v;
}

// Reads the whole payload with random widths and skips and compares every
// value with the reference; after it the stream must end in end codes.
void ExpectStreamReads(const std::vector<uint8_t>& payload, unsigned seed) {
  std::mt19937 rng(seed);
  size_t pos = 0;
  const size_t end = payload.size() * 8;
  while (end - pos >= 32) {
    if (rng() % 10 == 0) {
      // Only 25 bits are guaranteed in the window before a 32-bit skip.
      ASSERT_EQ(Peek_Bits(25), ReferenceBits(payload, pos, 25)) << "at bit " << pos;
      Skip_Bits32();
      pos += 32;
    } else {
      int n = 1 + static_cast<int>(rng() % 24);
      ASSERT_EQ(Read_Bits(n), ReferenceBits(payload, pos, n)) << "at bit " << pos << " n " << n;
      pos += static_cast<size_t>(n);
    }
    int count = decoder_state.bitstream.bit_count;
    ASSERT_GE(count, 25);
    ASSERT_LE(count, 32);
  }
  while (pos < end) ASSERT_EQ(Read_Bit(), ReferenceBit(payload, pos++));
  next_start_code();
  EXPECT_EQ(Read_Start_Code(), 0x000001B7u);
}

TEST(BitReader, ElementaryStreamReadsEveryBitAcrossBufferEdges) {
  auto bytes = RandomBytes(3 * INPUT_BUFFER_SIZE + 77, 1);
  for (unsigned seed = 0; seed < 8; ++seed) {
    MemoryInput input(bytes);
    ExpectStreamReads(bytes, seed);
  }
}

TEST(BitReader, SkipBits32DropsPartOfTheNextByteWhenTheWindowIsShort) {
  // 29 valid bits after skipping 3: the 32-bit skip takes those 29 bits and
  // the top 3 bits of the following byte.
  std::vector<uint8_t> bytes = {0xFF, 0x00, 0xFF, 0x00, 0b10110011, 0x5A, 0xC3, 0x0F, 0xF0};
  MemoryInput input(bytes);
  Skip_Bits(3);
  ASSERT_EQ(decoder_state.bitstream.bit_count, 29);
  Skip_Bits32();
  EXPECT_EQ(Read_Bits(5), 0b10011u);
  EXPECT_EQ(Read_Bits(8), 0x5Au);
}

TEST(BitReader, NextStartCodeAlignsAndSkipsZeroStuffing) {
  BitWriter w;
  w.Put(0b101, 3);  // a partial byte, then stuffing
  w.AlignZero();
  w.Put(0, 32);
  w.StartCode(0xB3);
  w.Put(0xABCD, 16);
  MemoryInput input(w.Bytes());
  Skip_Bits(3);
  next_start_code();
  EXPECT_EQ(decoder_state.bitstream.bit_count, 32);
  EXPECT_EQ(Read_Start_Code(), 0x000001B3u);
  EXPECT_EQ(Read_Bits(16), 0xABCDu);

  // Already aligned at a start code: nothing is consumed.
  MemoryInput again(std::vector<uint8_t>{0x00, 0x00, 0x01, 0x00, 0x12});
  next_start_code();
  EXPECT_EQ(Peek_Bits(32), 0x00000100u);
}

TEST(BitReader, EndOfInputReadsAsSequenceEndCodesForEver) {
  MemoryInput input(std::vector<uint8_t>{0x12, 0x34, 0x56});
  Skip_Bits(20);
  next_start_code();
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(Read_Start_Code(), 0x000001B7u);
    next_start_code();
  }
  EXPECT_TRUE(Input_Exhausted());

  MemoryInput empty(std::vector<uint8_t>{});
  next_start_code();
  EXPECT_EQ(Peek_Bits(32), 0x000001B7u);
}

// --- Program streams -------------------------------------------------------

// Composes a program stream around `payload`: packs with MPEG-1 and MPEG-2
// headers, video packets of several header forms and sizes, and packets of
// other streams that must be passed over, some longer than the buffer.
std::vector<uint8_t> Multiplex(const std::vector<uint8_t>& payload, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  auto put = [&](std::initializer_list<int> bytes) {
    for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
  };
  auto other_packet = [&](int stream_id, int length) {
    put({0, 0, 1, stream_id, length >> 8, length & 0xFF});
    for (int i = 0; i < length; ++i) out.push_back(static_cast<uint8_t>(rng()));
  };
  size_t taken = 0;
  int packet = 0;
  while (taken < payload.size()) {
    switch (rng() % 3) {
      case 0:  // MPEG-1 pack header
        put({0, 0, 1, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x00, 0x01});
        break;
      case 1:  // MPEG-2 pack header with two stuffing bytes
        put({0, 0, 1, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xFA, 0xFF,
             0xFF});
        break;
      default:
        break;
    }
    if (rng() % 3 == 0) other_packet(0xC0 + static_cast<int>(rng() % 32), 1 + rng() % 6000);
    if (rng() % 4 == 0) other_packet(0xBE, static_cast<int>(rng() % 300));   // padding
    if (rng() % 5 == 0) other_packet(0xE1, static_cast<int>(rng() % 9000));  // video 1
    if (rng() % 5 == 0) other_packet(0xBD, static_cast<int>(rng() % 2000));  // private
    size_t n = std::min<size_t>(payload.size() - taken, 1 + rng() % 5000);
    if (packet % 7 == 3) n = 0;  // a packet without payload
    std::vector<uint8_t> header;
    switch (packet++ % 5) {
      case 0:  // MPEG-1: stuffing, STD buffer fields, PTS and DTS
        header = {0xFF, 0xFF, 0xFF, 0x60, 0xE8, 0x31, 1, 1, 1, 1, 0x11, 1, 1, 1, 1};
        break;
      case 1:  // MPEG-1: PTS only
        header = {0x21, 1, 1, 1, 1};
        break;
      case 2:  // MPEG-1: no time stamps
        header = {0x0F};
        break;
      case 3:  // MPEG-2 PES header with PTS
        header = {0x81, 0x80, 0x05, 0x21, 1, 1, 1, 1};
        break;
      default:  // MPEG-2 PES header without optional fields
        header = {0x80, 0x00, 0x00};
        break;
    }
    size_t length = header.size() + n;
    put({0, 0, 1, 0xE0, static_cast<int>(length >> 8), static_cast<int>(length & 0xFF)});
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), payload.begin() + static_cast<long>(taken),
               payload.begin() + static_cast<long>(taken + n));
    taken += n;
  }
  put({0, 0, 1, 0xB9});
  put({0, 0, 1, 0xE0, 0, 4, 0x0F, 1, 2, 3});  // after the end code: never read
  return out;
}

TEST(Demultiplexer, DeliversTheVideoPayloadOfEveryPacketForm) {
  auto payload = RandomBytes(40000, 7);
  for (unsigned seed = 0; seed < 6; ++seed) {
    auto stream = Multiplex(payload, seed);
    MemoryInput input(stream, /*multiplexed=*/true);
    ExpectStreamReads(payload, seed + 100);
  }
}

TEST(Demultiplexer, VideoPacketEndingOnABufferBoundaryContinuesWithTheNextPacket) {
  // First packet: header of 4 + 2 + 1 bytes; payload fills to exactly 4096.
  std::vector<uint8_t> payload = RandomBytes(INPUT_BUFFER_SIZE, 3);
  std::vector<uint8_t> stream = {0, 0, 1, 0xE0, 0, 0, 0x0F};
  size_t first = INPUT_BUFFER_SIZE - stream.size();
  stream[4] = static_cast<uint8_t>((first + 1) >> 8);
  stream[5] = static_cast<uint8_t>((first + 1) & 0xFF);
  stream.insert(stream.end(), payload.begin(), payload.begin() + static_cast<long>(first));
  ASSERT_EQ(stream.size(), static_cast<size_t>(INPUT_BUFFER_SIZE));
  size_t rest = payload.size() - first;
  stream.insert(stream.end(), {0, 0, 1, 0xE0, 0, static_cast<uint8_t>(rest + 1), 0x0F});
  stream.insert(stream.end(), payload.begin() + static_cast<long>(first), payload.end());
  MemoryInput input(stream, true);
  ExpectStreamReads(payload, 5);
}

TEST(Demultiplexer, DamageBetweenPacketsIsPassedOver) {
  // Each stream holds the payload AA BB, damage, then the payload CC DD: the
  // demultiplexer resynchronises on the next pack or packet start code.
  const std::vector<uint8_t> first = {0, 0, 1, 0xE0, 0, 3, 0x0F, 0xAA, 0xBB};
  const std::vector<uint8_t> second = {0, 0, 1, 0xE0, 0, 3, 0x0F, 0xCC, 0xDD};
  struct Case {
    const char* name;
    std::vector<uint8_t> damage;
    int first_length = 3;  // as the first packet's header claims
  };
  const std::vector<Case> cases = {
      {"video start code outside a packet", {0, 0, 1, 0xB3, 0x11, 0, 0, 1, 0x00, 0x22}},
      {"bad MPEG-1 header byte", {0, 0, 1, 0xE0, 0, 3, 0x05, 0xEE, 0xFF}},
      {"video packet without a header", {0, 0, 1, 0xE0, 0, 0}},
      {"pack header turned into a long audio packet",
       {0, 0, 1, 0xC0, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8}},
      {"MPEG-2 pack header with a wrong stuffing length",
       {0, 0, 1, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xFF, 0xFF}},
      {"garbage", {0x12, 0x00, 0x00, 0x00, 0x01, 0x34, 0x56}},
      {"video packet length too long", {}, 0x0200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> stream = first;
    stream[5] = static_cast<uint8_t>(c.first_length & 0xFF);
    stream[4] = static_cast<uint8_t>(c.first_length >> 8);
    stream.insert(stream.end(), c.damage.begin(), c.damage.end());
    stream.insert(stream.end(), second.begin(), second.end());
    MemoryInput input(stream, true);
    EXPECT_EQ(Read_Bits(16), 0xAABBu);
    EXPECT_EQ(Read_Bits(16), 0xCCDDu);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(Read_Start_Code(), 0x000001B7u);
  }
}

TEST(Demultiplexer, OnlyTheProgramEndCodeOrTheEndOfInputEndsTheStream) {
  const std::vector<std::vector<uint8_t>> streams = {
      {0, 0, 1, 0xE0, 0, 3, 0x0F, 0xAA, 0xBB, 0, 0, 1, 0xB9, 0, 0, 1, 0xE0, 0, 3, 0x0F, 0xCC, 0xDD},
      {0, 0, 1, 0xE0, 0, 3, 0x0F, 0xAA, 0xBB, 0, 0, 1, 0xC0, 0xFF, 0xFF, 1, 2, 3},
      {0, 0, 1, 0xE0, 0, 9, 0x0F, 0xAA, 0xBB},  // cut inside the packet
  };
  for (const auto& stream : streams) {
    MemoryInput input(stream, true);
    EXPECT_EQ(Read_Bits(16), 0xAABBu);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(Read_Start_Code(), 0x000001B7u);
  }
}

// --- The cursor -------------------------------------------------------------

// Reads the whole payload through a cursor that hands over to the shared
// reader and is started anew at random points: every bit must come out as it
// went in, and every store leaves the shared window at 25 to 32 bits.
void ExpectCursorReads(const std::vector<uint8_t>& payload, unsigned seed) {
  std::mt19937 rng(seed);
  size_t pos = 0;
  const size_t end = payload.size() * 8;
  BitCursor bits;
  while (end - pos >= 32) {
    const int n = 1 + static_cast<int>(rng() % 24);
    switch (rng() % 8) {
      case 0:
        bits.Store();
        ASSERT_GE(decoder_state.bitstream.bit_count, 25);
        ASSERT_LE(decoder_state.bitstream.bit_count, 32);
        ASSERT_EQ(Read_Bits(n), ReferenceBits(payload, pos, n)) << "at bit " << pos;
        bits = BitCursor();
        break;
      case 1:  // the sign bit after a code of n - 1 bits
        ASSERT_EQ(bits.BitMaskAt(n - 1), -ReferenceBit(payload, pos + n - 1)) << "at bit " << pos;
        bits.Skip(n);
        break;
      case 2: {  // as the inner loop of coefficient codes skips and peeks
        ASSERT_EQ(bits.Peek(n), ReferenceBits(payload, pos, n)) << "at bit " << pos;
        const uint32_t next = bits.SkipFilling(n);
        if (pos + static_cast<size_t>(n) + 16 <= end) {
          ASSERT_EQ(next, ReferenceBits(payload, pos + static_cast<size_t>(n), 16))
              << "at bit " << pos;
        }
        break;
      }
      default:
        ASSERT_EQ(bits.Read(n), ReferenceBits(payload, pos, n)) << "at bit " << pos << " n " << n;
    }
    pos += static_cast<size_t>(n);
  }
  bits.Store();
  while (pos < end) ASSERT_EQ(Read_Bit(), ReferenceBit(payload, pos++));
  next_start_code();
  EXPECT_EQ(Read_Start_Code(), 0x000001B7u);
}

TEST(BitCursor, ReadsEveryBitAcrossBufferAndPacketEdges) {
  const auto bytes = RandomBytes(3 * INPUT_BUFFER_SIZE + 77, 2);
  for (unsigned seed = 0; seed < 4; ++seed) {
    {
      MemoryInput input(bytes);
      ExpectCursorReads(bytes, seed);
    }
    {
      MemoryInput input(Multiplex(bytes, seed), true);
      ExpectCursorReads(bytes, seed + 10);
    }
    {
      MemoryInput input(Program_Stream_Of_Packets(bytes, {1, 5, 0, 2, 7, 3}), true);
      ExpectCursorReads(bytes, seed + 20);
    }
  }
}

// --- File chains -----------------------------------------------------------

class FileChain {
 public:
  // The file at `missing` (if any) is removed before the chain is opened.
  explicit FileChain(const std::vector<std::vector<uint8_t>>& files, int missing = -1) {
    auto dir = std::filesystem::temp_directory_path();
    for (size_t i = 0; i < files.size(); ++i) {
      paths_.push_back((dir / ("vidorlan_chain_" + std::to_string(::getpid()) + "_" +
                               std::to_string(i) + ".bin"))
                           .string());
      std::FILE* f = std::fopen(paths_.back().c_str(), "wb");
      if (!files[i].empty()) std::fwrite(files[i].data(), 1, files[i].size(), f);
      std::fclose(f);
    }
    for (auto& p : paths_) list_.push_back(p.c_str());
    list_.push_back(nullptr);
    if (missing >= 0) std::filesystem::remove(paths_[static_cast<size_t>(missing)]);
    decoder_state = DecoderState{};
    decoder_state.file_list = list_.data();
    decoder_state.input_file = std::fopen(list_[0], "rb");
    Reset_Input();
  }
  ~FileChain() {
    if (decoder_state.input_file) std::fclose(decoder_state.input_file);
    decoder_state.input_file = nullptr;
    for (auto& p : paths_) std::filesystem::remove(p);
  }

 private:
  std::vector<std::string> paths_;
  std::vector<const char*> list_;
};

TEST(FileChain, FilesCutAnywhereReadAsOneStream) {
  auto bytes = RandomBytes(5 * INPUT_BUFFER_SIZE + 123, 11);
  std::mt19937 rng(5);
  for (int round = 0; round < 10; ++round) {
    std::vector<size_t> cuts = {0, bytes.size()};
    for (int i = 0; i < 5; ++i) cuts.push_back(rng() % bytes.size());
    cuts.push_back(cuts[2]);                                             // an empty file
    cuts.push_back(cuts[3] + 1 < bytes.size() ? cuts[3] + 1 : cuts[3]);  // a one-byte file
    std::sort(cuts.begin(), cuts.end());
    std::vector<std::vector<uint8_t>> files;
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
      files.emplace_back(bytes.begin() + static_cast<long>(cuts[i]),
                         bytes.begin() + static_cast<long>(cuts[i + 1]));
    }
    FileChain chain(files);
    ExpectStreamReads(bytes, static_cast<unsigned>(round));
    EXPECT_EQ(decoder_state.current_file_index, static_cast<int>(files.size()));
  }
}

TEST(FileChain, AFileThatCannotBeOpenedEndsTheInput) {
  auto a = RandomBytes(100, 1);
  FileChain chain({a, {1, 2, 3}, {4, 5, 6}}, /*missing=*/1);
  EXPECT_EQ(Read_Bits(8), a[0]);
  Skip_Bits(24);
  next_start_code();
  EXPECT_EQ(Peek_Bits(32), 0x000001B7u);
  EXPECT_EQ(decoder_state.current_file_index, 1);
}

}  // namespace
