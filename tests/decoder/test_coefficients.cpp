// DCT coefficient decoding: Tables B-14 and B-15 with their escapes, the scans,
// inverse quantisation and saturation, the DC predictors and the failures of
// the four block decoders. The code lists and the reference formulas below
// are those of ISO/IEC 11172-2 and 13818-2, written out independently of the
// decoder; a small encoder built on them composes random blocks that must
// decode back exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/coefficients.h"
#include "decoder/decoder_state.h"
#include "decoder/diagnostics.h"
#include "decoder/tables.h"
#include "tests/support/memory_input.h"
#include "tests/support/program_stream.h"
#include "tools/synth/bit_writer.h"

namespace {

// ---------------------------------------------------------------------------
// The standard's code lists.

// A run/level code without its sign bit.
struct RunLevelCode {
  int run;
  int level;
  const char* code;
};

// Table B-14 by run and level; run 0, level 1 is "11" except as the first
// code of a non-intra block, where it is "1".
// clang-format off
const RunLevelCode table_b14[111] = {
    {0, 1, "11"}, {0, 2, "0100"}, {0, 3, "0010 1"},
    {0, 4, "0000 110"}, {0, 5, "0010 0110"}, {0, 6, "0010 0001"},
    {0, 7, "0000 0010 10"}, {0, 8, "0000 0001 1101"}, {0, 9, "0000 0001 1000"},
    {0, 10, "0000 0001 0011"}, {0, 11, "0000 0001 0000"}, {0, 12, "0000 0000 1101 0"},
    {0, 13, "0000 0000 1100 1"}, {0, 14, "0000 0000 1100 0"}, {0, 15, "0000 0000 1011 1"},
    {0, 16, "0000 0000 0111 11"}, {0, 17, "0000 0000 0111 10"}, {0, 18, "0000 0000 0111 01"},
    {0, 19, "0000 0000 0111 00"}, {0, 20, "0000 0000 0110 11"}, {0, 21, "0000 0000 0110 10"},
    {0, 22, "0000 0000 0110 01"}, {0, 23, "0000 0000 0110 00"}, {0, 24, "0000 0000 0101 11"},
    {0, 25, "0000 0000 0101 10"}, {0, 26, "0000 0000 0101 01"}, {0, 27, "0000 0000 0101 00"},
    {0, 28, "0000 0000 0100 11"}, {0, 29, "0000 0000 0100 10"}, {0, 30, "0000 0000 0100 01"},
    {0, 31, "0000 0000 0100 00"}, {0, 32, "0000 0000 0011 000"}, {0, 33, "0000 0000 0010 111"},
    {0, 34, "0000 0000 0010 110"}, {0, 35, "0000 0000 0010 101"}, {0, 36, "0000 0000 0010 100"},
    {0, 37, "0000 0000 0010 011"}, {0, 38, "0000 0000 0010 010"}, {0, 39, "0000 0000 0010 001"},
    {0, 40, "0000 0000 0010 000"}, {1, 1, "011"}, {1, 2, "0001 10"},
    {1, 3, "0010 0101"}, {1, 4, "0000 0011 00"}, {1, 5, "0000 0001 1011"},
    {1, 6, "0000 0000 1011 0"}, {1, 7, "0000 0000 1010 1"}, {1, 8, "0000 0000 0011 111"},
    {1, 9, "0000 0000 0011 110"}, {1, 10, "0000 0000 0011 101"}, {1, 11, "0000 0000 0011 100"},
    {1, 12, "0000 0000 0011 011"}, {1, 13, "0000 0000 0011 010"}, {1, 14, "0000 0000 0011 001"},
    {1, 15, "0000 0000 0001 0011"}, {1, 16, "0000 0000 0001 0010"}, {1, 17, "0000 0000 0001 0001"},
    {1, 18, "0000 0000 0001 0000"}, {2, 1, "0101"}, {2, 2, "0000 100"},
    {2, 3, "0000 0010 11"}, {2, 4, "0000 0001 0100"}, {2, 5, "0000 0000 1010 0"},
    {3, 1, "0011 1"}, {3, 2, "0010 0100"}, {3, 3, "0000 0001 1100"},
    {3, 4, "0000 0000 1001 1"}, {4, 1, "0011 0"}, {4, 2, "0000 0011 11"},
    {4, 3, "0000 0001 0010"}, {5, 1, "0001 11"}, {5, 2, "0000 0010 01"},
    {5, 3, "0000 0000 1001 0"}, {6, 1, "0001 01"}, {6, 2, "0000 0001 1110"},
    {6, 3, "0000 0000 0001 0100"}, {7, 1, "0001 00"}, {7, 2, "0000 0001 0101"},
    {8, 1, "0000 111"}, {8, 2, "0000 0001 0001"}, {9, 1, "0000 101"},
    {9, 2, "0000 0000 1000 1"}, {10, 1, "0010 0111"}, {10, 2, "0000 0000 1000 0"},
    {11, 1, "0010 0011"}, {11, 2, "0000 0000 0001 1010"}, {12, 1, "0010 0010"},
    {12, 2, "0000 0000 0001 1001"}, {13, 1, "0010 0000"}, {13, 2, "0000 0000 0001 1000"},
    {14, 1, "0000 0011 10"}, {14, 2, "0000 0000 0001 0111"}, {15, 1, "0000 0011 01"},
    {15, 2, "0000 0000 0001 0110"}, {16, 1, "0000 0010 00"}, {16, 2, "0000 0000 0001 0101"},
    {17, 1, "0000 0001 1111"}, {18, 1, "0000 0001 1010"}, {19, 1, "0000 0001 1001"},
    {20, 1, "0000 0001 0111"}, {21, 1, "0000 0001 0110"}, {22, 1, "0000 0000 1111 1"},
    {23, 1, "0000 0000 1111 0"}, {24, 1, "0000 0000 1110 1"}, {25, 1, "0000 0000 1110 0"},
    {26, 1, "0000 0000 1101 1"}, {27, 1, "0000 0000 0001 1111"}, {28, 1, "0000 0000 0001 1110"},
    {29, 1, "0000 0000 0001 1101"}, {30, 1, "0000 0000 0001 1100"}, {31, 1, "0000 0000 0001 1011"},
};
// clang-format on
const char* const b14_end_of_block = "10";
const char* const b14_first_code = "1";  // run 0, level 1

// Table B-15 by run and level.
// clang-format off
const RunLevelCode table_b15[111] = {
    {0, 1, "10"}, {0, 2, "110"}, {0, 3, "0111"},
    {0, 4, "1110 0"}, {0, 5, "1110 1"}, {0, 6, "0001 01"},
    {0, 7, "0001 00"}, {0, 8, "1111 011"}, {0, 9, "1111 100"},
    {0, 10, "0010 0011"}, {0, 11, "0010 0010"}, {0, 12, "1111 1010"},
    {0, 13, "1111 1011"}, {0, 14, "1111 1110"}, {0, 15, "1111 1111"},
    {0, 16, "0000 0000 0111 11"}, {0, 17, "0000 0000 0111 10"}, {0, 18, "0000 0000 0111 01"},
    {0, 19, "0000 0000 0111 00"}, {0, 20, "0000 0000 0110 11"}, {0, 21, "0000 0000 0110 10"},
    {0, 22, "0000 0000 0110 01"}, {0, 23, "0000 0000 0110 00"}, {0, 24, "0000 0000 0101 11"},
    {0, 25, "0000 0000 0101 10"}, {0, 26, "0000 0000 0101 01"}, {0, 27, "0000 0000 0101 00"},
    {0, 28, "0000 0000 0100 11"}, {0, 29, "0000 0000 0100 10"}, {0, 30, "0000 0000 0100 01"},
    {0, 31, "0000 0000 0100 00"}, {0, 32, "0000 0000 0011 000"}, {0, 33, "0000 0000 0010 111"},
    {0, 34, "0000 0000 0010 110"}, {0, 35, "0000 0000 0010 101"}, {0, 36, "0000 0000 0010 100"},
    {0, 37, "0000 0000 0010 011"}, {0, 38, "0000 0000 0010 010"}, {0, 39, "0000 0000 0010 001"},
    {0, 40, "0000 0000 0010 000"}, {1, 1, "010"}, {1, 2, "0011 0"},
    {1, 3, "1111 001"}, {1, 4, "0010 0111"}, {1, 5, "0010 0000"},
    {1, 6, "0000 0000 1011 0"}, {1, 7, "0000 0000 1010 1"}, {1, 8, "0000 0000 0011 111"},
    {1, 9, "0000 0000 0011 110"}, {1, 10, "0000 0000 0011 101"}, {1, 11, "0000 0000 0011 100"},
    {1, 12, "0000 0000 0011 011"}, {1, 13, "0000 0000 0011 010"}, {1, 14, "0000 0000 0011 001"},
    {1, 15, "0000 0000 0001 0011"}, {1, 16, "0000 0000 0001 0010"}, {1, 17, "0000 0000 0001 0001"},
    {1, 18, "0000 0000 0001 0000"}, {2, 1, "0010 1"}, {2, 2, "0000 111"},
    {2, 3, "1111 1100"}, {2, 4, "0000 0011 00"}, {2, 5, "0000 0000 1010 0"},
    {3, 1, "0011 1"}, {3, 2, "0010 0110"}, {3, 3, "0000 0001 1100"},
    {3, 4, "0000 0000 1001 1"}, {4, 1, "0001 10"}, {4, 2, "1111 1101"},
    {4, 3, "0000 0001 0010"}, {5, 1, "0001 11"}, {5, 2, "0000 0010 0"},
    {5, 3, "0000 0000 1001 0"}, {6, 1, "0000 110"}, {6, 2, "0000 0001 1110"},
    {6, 3, "0000 0000 0001 0100"}, {7, 1, "0000 100"}, {7, 2, "0000 0001 0101"},
    {8, 1, "0000 101"}, {8, 2, "0000 0001 0001"}, {9, 1, "1111 000"},
    {9, 2, "0000 0000 1000 1"}, {10, 1, "1111 010"}, {10, 2, "0000 0000 1000 0"},
    {11, 1, "0010 0001"}, {11, 2, "0000 0000 0001 1010"}, {12, 1, "0010 0101"},
    {12, 2, "0000 0000 0001 1001"}, {13, 1, "0010 0100"}, {13, 2, "0000 0000 0001 1000"},
    {14, 1, "0000 0010 1"}, {14, 2, "0000 0000 0001 0111"}, {15, 1, "0000 0011 1"},
    {15, 2, "0000 0000 0001 0110"}, {16, 1, "0000 0011 01"}, {16, 2, "0000 0000 0001 0101"},
    {17, 1, "0000 0001 1111"}, {18, 1, "0000 0001 1010"}, {19, 1, "0000 0001 1001"},
    {20, 1, "0000 0001 0111"}, {21, 1, "0000 0001 0110"}, {22, 1, "0000 0000 1111 1"},
    {23, 1, "0000 0000 1111 0"}, {24, 1, "0000 0000 1110 1"}, {25, 1, "0000 0000 1110 0"},
    {26, 1, "0000 0000 1101 1"}, {27, 1, "0000 0000 0001 1111"}, {28, 1, "0000 0000 0001 1110"},
    {29, 1, "0000 0000 0001 1101"}, {30, 1, "0000 0000 0001 1100"}, {31, 1, "0000 0000 0001 1011"},
};
// clang-format on
const char* const b15_end_of_block = "0110";

const char* const escape_code = "0000 01";

// Tables B-12 and B-13 by dct_dc_size.
const char* const dc_size_luminance_codes[12] = {
    "100",    "00",      "01",       "101",       "110",         "1110",
    "1111 0", "1111 10", "1111 110", "1111 1110", "1111 1111 0", "1111 1111 1",
};
const char* const dc_size_chrominance_codes[12] = {
    "00",      "01",       "10",        "110",         "1110",         "1111 0",
    "1111 10", "1111 110", "1111 1110", "1111 1111 0", "1111 1111 10", "1111 1111 11",
};

// Colour component of blocks 0..11 in coded order (Y Y Y Y Cb Cr Cb Cr ...).
const int component_of_block[12] = {0, 0, 0, 0, 1, 2, 1, 2, 1, 2, 1, 2};

// ---------------------------------------------------------------------------
// Composing bits.

std::string Without_Spaces(const char* code) {
  std::string bits;
  for (const char* c = code; *c != '\0'; ++c) {
    if (*c != ' ') bits += *c;
  }
  return bits;
}

class Bits {
 public:
  Bits& Add(const char* code) {
    bits_ += Without_Spaces(code);
    return *this;
  }
  Bits& Add_Value(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bits_ += ((value >> i) & 1) ? '1' : '0';
    return *this;
  }
  Bits& Add_Random(int count, std::mt19937& rng) { return Add_Value(rng(), count); }
  // A run/level code and its sign bit.
  Bits& Add_Coefficient(const char* code, bool negative) {
    return Add(code).Add_Value(negative ? 1 : 0, 1);
  }
  size_t Size() const { return bits_.size(); }
  uint32_t Value(size_t position, int count) const {
    return static_cast<uint32_t>(std::stoul(bits_.substr(position, count), nullptr, 2));
  }
  std::vector<uint8_t> Bytes() const {
    BitWriter writer;
    writer.PutCode(bits_);
    return writer.Bytes();
  }

 private:
  std::string bits_;
};

// dct_dc_size of a differential and its bits (ISO/IEC 13818-2 7.2.1).
int Differential_Size(int differential) {
  int size = 0;
  for (int magnitude = std::abs(differential); magnitude != 0; magnitude >>= 1) ++size;
  return size;
}

void Add_Dc(Bits& bits, int component, int differential) {
  const int size = Differential_Size(differential);
  bits.Add(component == 0 ? dc_size_luminance_codes[size] : dc_size_chrominance_codes[size]);
  if (size == 0) return;
  const uint32_t mask = (1u << size) - 1;
  bits.Add_Value(differential > 0 ? static_cast<uint32_t>(differential)
                                  : static_cast<uint32_t>(differential - 1) & mask,
                 size);
}

// ---------------------------------------------------------------------------
// The decoders and their reference arithmetic.

enum class Coding { MPEG1_INTRA, MPEG1_NON_INTRA, MPEG2_INTRA, MPEG2_NON_INTRA };
const Coding all_codings[] = {Coding::MPEG1_INTRA, Coding::MPEG1_NON_INTRA, Coding::MPEG2_INTRA,
                              Coding::MPEG2_NON_INTRA};

bool Is_Intra(Coding coding) {
  return coding == Coding::MPEG1_INTRA || coding == Coding::MPEG2_INTRA;
}
bool Is_MPEG2(Coding coding) {
  return coding == Coding::MPEG2_INTRA || coding == Coding::MPEG2_NON_INTRA;
}

std::string Decoder_Name(Coding coding) {
  switch (coding) {
    case Coding::MPEG1_INTRA:
      return "Decode_MPEG1_Intra_Block";
    case Coding::MPEG1_NON_INTRA:
      return "Decode_MPEG1_Non_Intra_Block";
    case Coding::MPEG2_INTRA:
      return "Decode_MPEG2_Intra_Block";
    case Coding::MPEG2_NON_INTRA:
      return "Decode_MPEG2_Non_Intra_Block";
  }
  return "";
}

std::string Out_Of_Bounds_Message(Coding coding) {
  switch (coding) {
    case Coding::MPEG1_INTRA:
      return "DCT coeff index (i) out of bounds (intra)\n";
    case Coding::MPEG1_NON_INTRA:
      return "DCT coeff index (i) out of bounds (inter)\n";
    case Coding::MPEG2_INTRA:
      return "DCT coeff index (i) out of bounds (intra2)\n";
    case Coding::MPEG2_NON_INTRA:
      return "DCT coeff index (i) out of bounds (inter2)\n";
  }
  return "";
}

int Sign(int value) {
  return (value > 0) - (value < 0);
}

// Inverse quantisation of an AC coefficient as the standards write it, with
// division truncating toward zero: ISO/IEC 11172-2 2.4.4 (with its
// oddification) and ISO/IEC 13818-2 7.4.2.3, then saturation (7.4.3).
int Reference_Ac(Coding coding, int level, int weight, int quantiser_scale) {
  int value = 0;
  switch (coding) {
    case Coding::MPEG1_INTRA:
      value = (2 * level * quantiser_scale * weight) / 16;
      break;
    case Coding::MPEG1_NON_INTRA:
      value = ((2 * level + Sign(level)) * quantiser_scale * weight) / 16;
      break;
    case Coding::MPEG2_INTRA:
      value = (2 * level * weight * quantiser_scale) / 32;
      break;
    case Coding::MPEG2_NON_INTRA:
      value = ((2 * level + Sign(level)) * weight * quantiser_scale) / 32;
      break;
  }
  if (!Is_MPEG2(coding) && value % 2 == 0) value -= Sign(value);
  return std::clamp(value, -2048, 2047);
}

// The intra DC from its predictor: MPEG-1 multiplies by 8 in 16 bits,
// MPEG-2 by intra_dc_mult (8, 4, 2, 1) with saturation.
int Reference_Dc(Coding coding, int predictor, int intra_dc_precision) {
  if (!Is_MPEG2(coding)) return static_cast<int16_t>(predictor * 8);
  const int intra_dc_mult[4] = {8, 4, 2, 1};
  return std::clamp(predictor * intra_dc_mult[intra_dc_precision], -2048, 2047);
}

// ---------------------------------------------------------------------------
// Running the decoders.

std::vector<std::string> messages;

void Capture(const char* line) {
  messages.emplace_back(line);
}

std::array<int, 64> Flat(int weight) {
  std::array<int, 64> matrix;
  matrix.fill(weight);
  return matrix;
}

struct BlockSetup {
  Coding coding = Coding::MPEG2_INTRA;
  int quantiser_scale = 1;
  std::array<int, 64> intra_matrix = Flat(16);
  std::array<int, 64> non_intra_matrix = Flat(16);
  std::array<int, 64> chroma_intra_matrix = Flat(16);
  std::array<int, 64> chroma_non_intra_matrix = Flat(16);
  int intra_dc_precision = 3;
  int intra_vlc_format = 0;
  int alternate_scan = 0;
  int picture_coding_type = I_PICTURE;
  int chroma_format = CHROMA_420;
  bool messages_off = false;
  bool earlier_error = false;
  // How the bits reach the decoders: in small program-stream packets, and
  // through the block loop of a macroblock (the listed blocks coded).
  bool small_packets = false;
  bool macroblock_loop = false;
};

int Blocks_Per_Macroblock(int chroma_format) {
  return chroma_format == CHROMA_420 ? 6 : chroma_format == CHROMA_422 ? 8 : 12;
}

// The weighting matrix the standard prescribes for a block.
const std::array<int, 64>& Weights(const BlockSetup& setup, int block) {
  const bool chroma_matrices =
      Is_MPEG2(setup.coding) && setup.chroma_format != CHROMA_420 && component_of_block[block] != 0;
  if (Is_Intra(setup.coding)) {
    return chroma_matrices ? setup.chroma_intra_matrix : setup.intra_matrix;
  }
  return chroma_matrices ? setup.chroma_non_intra_matrix : setup.non_intra_matrix;
}

const uint8_t* Scan(const BlockSetup& setup) {
  return scan_tables[Is_MPEG2(setup.coding) ? setup.alternate_scan : 0];
}

struct BlockResult {
  int extent;
  std::array<int, 64> coefficients;
};

struct Outcome {
  std::vector<BlockResult> blocks;
  bool error;
  std::vector<std::string> messages;
  uint32_t next_bits;  // the 24 bits after the last block
  std::array<int, 3> dc_dct_pred;
};

constexpr int16_t UNTOUCHED = 0x5A5A;

class CoefficientTest : public ::testing::Test {
 public:
  void SetUp() override { Decoder_Set_Diagnostic_Sink(Capture); }
  void TearDown() override { Decoder_Set_Diagnostic_Sink(nullptr); }

  // Decodes the listed blocks one after another from `bits`. Each block is
  // zeroed first, as the macroblock layer does; all other blocks must stay
  // as they were.
  Outcome Decode(const Bits& bits, const BlockSetup& setup, const std::vector<int>& blocks = {0},
                 std::array<int, 3> predictors = {0, 0, 0}) {
    MemoryInput input(setup.small_packets ? Program_Stream_Of_Packets(bits.Bytes(), {3, 1, 6, 0, 2})
                                          : bits.Bytes(),
                      setup.small_packets);
    DecoderState& d = decoder_state;
    BitstreamState& bs = d.bitstream;
    bs.is_mpeg2 = Is_MPEG2(setup.coding) ? 1 : 0;
    bs.quantiser_scale = setup.quantiser_scale;
    bs.alternate_scan = setup.alternate_scan;
    std::copy(setup.intra_matrix.begin(), setup.intra_matrix.end(), bs.intra_quantiser_matrix);
    std::copy(setup.non_intra_matrix.begin(), setup.non_intra_matrix.end(),
              bs.non_intra_quantiser_matrix);
    std::copy(setup.chroma_intra_matrix.begin(), setup.chroma_intra_matrix.end(),
              bs.chroma_intra_quantiser_matrix);
    std::copy(setup.chroma_non_intra_matrix.begin(), setup.chroma_non_intra_matrix.end(),
              bs.chroma_non_intra_quantiser_matrix);
    Weighting_Matrices_Changed();
    d.intra_dc_precision = setup.intra_dc_precision;
    d.intra_vlc_format = setup.intra_vlc_format;
    d.picture_coding_type = setup.picture_coding_type;
    d.chroma_format = setup.chroma_format;
    d.messages_off = setup.messages_off ? 1 : 0;
    d.decode_error = setup.earlier_error ? 1 : 0;
    messages.clear();

    Outcome outcome;
    int dc_dct_pred[3] = {predictors[0], predictors[1], predictors[2]};
    BitCursor cursor;
    if (setup.macroblock_loop) {
      Decode_Macroblock_Loop(cursor, setup, blocks, dc_dct_pred, outcome);
    }
    for (int block : setup.macroblock_loop ? std::vector<int>{} : blocks) {
      for (auto& other : bs.coefficient_blocks)
        std::fill(std::begin(other), std::end(other), UNTOUCHED);
      std::fill(std::begin(bs.coefficient_blocks[block]), std::end(bs.coefficient_blocks[block]),
                0);
      BlockResult result;
      switch (setup.coding) {
        case Coding::MPEG1_INTRA:
          result.extent = Decode_MPEG1_Intra_Block(cursor, block, dc_dct_pred);
          break;
        case Coding::MPEG1_NON_INTRA:
          result.extent = Decode_MPEG1_Non_Intra_Block(cursor, block);
          break;
        case Coding::MPEG2_INTRA:
          result.extent = Decode_MPEG2_Intra_Block(cursor, block, dc_dct_pred);
          break;
        case Coding::MPEG2_NON_INTRA:
          result.extent = Decode_MPEG2_Non_Intra_Block(cursor, block);
          break;
      }
      std::copy(std::begin(bs.coefficient_blocks[block]), std::end(bs.coefficient_blocks[block]),
                result.coefficients.begin());
      for (int other = 0; other < 12; ++other) {
        if (other == block) continue;
        for (int16_t value : bs.coefficient_blocks[other]) {
          EXPECT_EQ(value, UNTOUCHED) << "block " << other << " written";
        }
      }
      outcome.blocks.push_back(result);
      if (d.decode_error) break;
    }
    cursor.Store();
    outcome.error = d.decode_error != 0;
    outcome.messages = messages;
    outcome.next_bits = Read_Bits(24);
    outcome.dc_dct_pred = {dc_dct_pred[0], dc_dct_pred[1], dc_dct_pred[2]};
    return outcome;
  }

  // The listed blocks as the coded ones of a macroblock, through its block
  // loop, which zeroes them; the others must stay as they were.
  static void Decode_Macroblock_Loop(BitCursor& cursor, const BlockSetup& setup,
                                     const std::vector<int>& blocks, int dc_dct_pred[3],
                                     Outcome& outcome) {
    BitstreamState& bs = decoder_state.bitstream;
    for (auto& block : bs.coefficient_blocks)
      std::fill(std::begin(block), std::end(block), UNTOUCHED);
    const int block_count = Blocks_Per_Macroblock(setup.chroma_format);
    decoder_state.blocks_per_macroblock = block_count;
    MacroblockContext ctx{};
    ctx.macroblock_type = Is_Intra(setup.coding) ? MACROBLOCK_INTRA : MACROBLOCK_PATTERN;
    for (int block : blocks) ctx.coded_block_pattern |= 1 << (block_count - 1 - block);
    std::copy_n(dc_dct_pred, 3, ctx.dc_dct_pred);
    Decode_Coded_Blocks(cursor, ctx);
    std::copy_n(ctx.dc_dct_pred, 3, dc_dct_pred);
    for (int block = 0; block < 12; ++block) {
      if (std::find(blocks.begin(), blocks.end(), block) == blocks.end()) {
        for (int16_t value : bs.coefficient_blocks[block]) {
          EXPECT_EQ(value, UNTOUCHED) << "block " << block << " written";
        }
        continue;
      }
      BlockResult result{ctx.block_extent[block], {}};
      std::copy(std::begin(bs.coefficient_blocks[block]), std::end(bs.coefficient_blocks[block]),
                result.coefficients.begin());
      outcome.blocks.push_back(result);
    }
  }

  std::mt19937 rng{7031};
};

// Expects a block that is zero but for the given raster positions.
void Expect_Block(const BlockResult& block, const std::map<int, int>& non_zero,
                  const std::string& context = "") {
  for (int raster = 0; raster < 64; ++raster) {
    const auto it = non_zero.find(raster);
    ASSERT_EQ(block.coefficients[raster], it == non_zero.end() ? 0 : it->second)
        << "raster " << raster << " " << context;
  }
}

// The start of a block up to its first AC code: an intra block with a zero
// DC differential, or a non-intra block with a first coefficient of run 0,
// level +1 when `lead` is set.
int Start_Block(Bits& bits, Coding coding, bool lead) {
  if (Is_Intra(coding)) {
    Add_Dc(bits, 0, 0);
    return 1;
  }
  if (!lead) return 0;
  bits.Add_Coefficient(b14_first_code, false);
  return 1;
}

// ---------------------------------------------------------------------------
// Tables B-14 and B-15.

// Every code of Table B-14 in each decoder: as the first code of a non-intra
// block and after another coefficient, with both signs; the coefficient
// lands at its scan position, the code and its sign bit are consumed exactly.
TEST_F(CoefficientTest, EveryCodeOfTableB14InEveryDecoder) {
  for (Coding coding : all_codings) {
    for (const bool lead : {false, true}) {
      if (Is_Intra(coding) && !lead) continue;
      for (const RunLevelCode& entry : table_b14) {
        for (const bool negative : {false, true}) {
          BlockSetup setup;
          setup.coding = coding;
          setup.quantiser_scale = 3;
          Bits bits;
          const int start = Start_Block(bits, coding, lead);
          const bool first = start == 0;
          const bool first_form = first && entry.run == 0 && entry.level == 1;
          bits.Add_Coefficient(first_form ? b14_first_code : entry.code, negative)
              .Add(b14_end_of_block)
              .Add_Random(24, rng);
          const size_t end = bits.Size() - 24;
          const Outcome outcome = Decode(bits, setup);
          const std::string context = Decoder_Name(coding) + " " + entry.code;
          ASSERT_FALSE(outcome.error) << context;
          const int position = start + entry.run;
          std::map<int, int> expected;
          if (start == 1 && !Is_Intra(coding)) expected[0] = Reference_Ac(coding, 1, 16, 3);
          const int level = negative ? -entry.level : entry.level;
          expected[scan_tables[0][position]] = Reference_Ac(coding, level, 16, 3);
          Expect_Block(outcome.blocks[0], expected, context);
          ASSERT_EQ(outcome.blocks[0].extent, position + 1) << context;
          ASSERT_EQ(outcome.next_bits, bits.Value(end, 24)) << context;
        }
      }
    }
  }
}

TEST_F(CoefficientTest, EveryCodeOfTableB15WithIntraVlcFormat1) {
  for (const RunLevelCode& entry : table_b15) {
    for (const bool negative : {false, true}) {
      BlockSetup setup;
      setup.intra_vlc_format = 1;
      Bits bits;
      Add_Dc(bits, 0, 0);
      bits.Add_Coefficient(entry.code, negative).Add(b15_end_of_block).Add_Random(24, rng);
      const size_t end = bits.Size() - 24;
      const Outcome outcome = Decode(bits, setup);
      ASSERT_FALSE(outcome.error) << entry.code;
      // Flat matrix 16 and quantiser_scale 1 reproduce the level.
      Expect_Block(outcome.blocks[0],
                   {{scan_tables[0][1 + entry.run], negative ? -entry.level : entry.level}},
                   entry.code);
      ASSERT_EQ(outcome.blocks[0].extent, entry.run + 2) << entry.code;
      ASSERT_EQ(outcome.next_bits, bits.Value(end, 24)) << entry.code;
    }
  }
}

// 16-bit windows of a table at which none of its codes starts.
std::vector<uint32_t> Windows_Without_Code(const RunLevelCode* table,
                                           const std::vector<const char*>& others) {
  std::vector<std::string> codes;
  for (int i = 0; i < 111; ++i) codes.push_back(Without_Spaces(table[i].code));
  for (const char* code : others) codes.push_back(Without_Spaces(code));
  std::vector<uint32_t> windows;
  for (uint32_t window = 0; window < 65536; ++window) {
    bool starts = false;
    for (const std::string& code : codes) {
      const int length = static_cast<int>(code.size());
      if ((window >> (16 - length)) == std::stoul(code, nullptr, 2)) {
        starts = true;
        break;
      }
    }
    if (!starts) windows.push_back(window);
  }
  return windows;
}

// Where no code starts the block ends with an error; what was decoded stays.
TEST_F(CoefficientTest, WindowsWithoutACodeEndTheBlock) {
  const std::vector<uint32_t> b14_invalid =
      Windows_Without_Code(table_b14, {b14_end_of_block, escape_code});
  const std::vector<uint32_t> b15_invalid =
      Windows_Without_Code(table_b15, {b15_end_of_block, escape_code});
  // Table B-14 leaves only twelve leading zeros; Table B-15 also leaves the
  // 12- and 13-bit codes of Table B-14 that it does not use.
  ASSERT_EQ(b14_invalid.size(), 16u);
  ASSERT_EQ(b15_invalid.size(), 16u + 128u);

  struct Case {
    Coding coding;
    int intra_vlc_format;
    bool lead;
    const std::vector<uint32_t>* windows;
  };
  const Case cases[] = {
      {Coding::MPEG1_INTRA, 0, true, &b14_invalid},
      {Coding::MPEG1_NON_INTRA, 0, false, &b14_invalid},
      {Coding::MPEG1_NON_INTRA, 0, true, &b14_invalid},
      {Coding::MPEG2_INTRA, 0, true, &b14_invalid},
      {Coding::MPEG2_INTRA, 1, true, &b15_invalid},
      {Coding::MPEG2_NON_INTRA, 0, false, &b14_invalid},
      {Coding::MPEG2_NON_INTRA, 0, true, &b14_invalid},
  };
  for (const Case& c : cases) {
    for (uint32_t window : *c.windows) {
      BlockSetup setup;
      setup.coding = c.coding;
      setup.intra_vlc_format = c.intra_vlc_format;
      Bits bits;
      const int start = Start_Block(bits, c.coding, c.lead);
      bits.Add_Value(window, 16).Add_Random(24, rng);
      const Outcome outcome = Decode(bits, setup);
      const std::string context = Decoder_Name(c.coding) + " window " + std::to_string(window);
      ASSERT_TRUE(outcome.error) << context;
      ASSERT_EQ(outcome.messages, std::vector<std::string>{"invalid Huffman code in " +
                                                           Decoder_Name(c.coding) + "()\n"})
          << context;
      ASSERT_EQ(outcome.blocks[0].extent, start) << context;
      if (start == 1 && !Is_Intra(c.coding)) {
        ASSERT_EQ(outcome.blocks[0].coefficients[0], Reference_Ac(c.coding, 1, 16, 1));
      }
    }
  }
}

TEST_F(CoefficientTest, ErrorsAreSilentWithMessagesOff) {
  BlockSetup setup;
  setup.messages_off = true;
  Bits bits;
  Add_Dc(bits, 0, 0);
  bits.Add_Value(0, 16).Add_Random(24, rng);
  const Outcome outcome = Decode(bits, setup);
  EXPECT_TRUE(outcome.error);
  EXPECT_TRUE(outcome.messages.empty());
}

// ---------------------------------------------------------------------------
// The first coefficient of a non-intra block.

// 1s is run 0, level 1 only as the first code of a non-intra block; later in
// the block 11s is, and 10 ends the block.
TEST_F(CoefficientTest, FirstCodeOneIsACoefficientLaterTenEndsTheBlock) {
  for (Coding coding : {Coding::MPEG1_NON_INTRA, Coding::MPEG2_NON_INTRA}) {
    BlockSetup setup;
    setup.coding = coding;
    Bits bits;
    bits.Add("1 0").Add("11 1").Add("10").Add_Random(24, rng);
    const Outcome outcome = Decode(bits, setup);
    ASSERT_FALSE(outcome.error);
    Expect_Block(outcome.blocks[0], {{0, Reference_Ac(coding, 1, 16, 1)},
                                     {scan_tables[0][1], Reference_Ac(coding, -1, 16, 1)}});
    EXPECT_EQ(outcome.blocks[0].extent, 2);
    EXPECT_EQ(outcome.next_bits, bits.Value(7, 24));

    // "1 0" then "10": a coefficient, then the end of the block.
    Bits short_block;
    short_block.Add("1 0").Add("10").Add_Random(24, rng);
    const Outcome single = Decode(short_block, setup);
    Expect_Block(single.blocks[0], {{0, Reference_Ac(coding, 1, 16, 1)}});
    EXPECT_EQ(single.blocks[0].extent, 1);
    EXPECT_EQ(single.next_bits, short_block.Value(4, 24));
  }
}

TEST_F(CoefficientTest, IntraBlocksEndAtOnceOnTen) {
  for (Coding coding : {Coding::MPEG1_INTRA, Coding::MPEG2_INTRA}) {
    BlockSetup setup;
    setup.coding = coding;
    Bits bits;
    Add_Dc(bits, 0, 5);
    bits.Add("10").Add("10").Add_Random(24, rng);
    const Outcome outcome = Decode(bits, setup);
    ASSERT_FALSE(outcome.error);
    EXPECT_EQ(outcome.blocks[0].extent, 1);
    Expect_Block(outcome.blocks[0], {{0, Reference_Dc(coding, 5, 3)}});
    // Only the first 10 is consumed.
    EXPECT_EQ(outcome.next_bits, bits.Value(3 + 3 + 2, 24));
  }
}

// Table B-15 belongs to intra blocks only: non-intra blocks keep Table B-14.
TEST_F(CoefficientTest, NonIntraBlocksIgnoreIntraVlcFormat) {
  BlockSetup setup;
  setup.coding = Coding::MPEG2_NON_INTRA;
  setup.intra_vlc_format = 1;
  Bits bits;
  bits.Add("1 1").Add("10").Add_Random(24, rng);
  const Outcome outcome = Decode(bits, setup);
  ASSERT_FALSE(outcome.error);
  Expect_Block(outcome.blocks[0], {{0, -1}});
  EXPECT_EQ(outcome.next_bits, bits.Value(4, 24));
}

// ---------------------------------------------------------------------------
// Escapes.

TEST_F(CoefficientTest, MPEG1EscapesOfEightAndSixteenBits) {
  struct Case {
    uint32_t level_bits;
    int level_bit_count;
    int level;
  };
  const Case cases[] = {
      {5, 8, 5},         {251, 8, -5},       {127, 8, 127},     {129, 8, -127},
      {200, 16, 200},    {0x8038, 16, -200}, {0x00FF, 16, 255}, {0x8001, 16, -255},
      {0x0080, 16, 128}, {0x8080, 16, -128},
  };
  for (Coding coding : {Coding::MPEG1_INTRA, Coding::MPEG1_NON_INTRA}) {
    for (const Case& c : cases) {
      BlockSetup setup;
      setup.coding = coding;
      setup.quantiser_scale = 1;
      setup.intra_matrix = setup.non_intra_matrix = Flat(8);
      Bits bits;
      const int start = Start_Block(bits, coding, false);
      bits.Add(escape_code).Add_Value(9, 6).Add_Value(c.level_bits, c.level_bit_count);
      bits.Add(b14_end_of_block).Add_Random(24, rng);
      const Outcome outcome = Decode(bits, setup);
      ASSERT_FALSE(outcome.error) << c.level;
      Expect_Block(outcome.blocks[0],
                   {{scan_tables[0][start + 9], Reference_Ac(coding, c.level, 8, 1)}},
                   std::to_string(c.level));
      EXPECT_EQ(outcome.blocks[0].extent, start + 10);
      EXPECT_EQ(outcome.next_bits, bits.Value(bits.Size() - 24, 24));
    }
  }
}

TEST_F(CoefficientTest, MPEG2EscapesOfTwelveBits) {
  struct Case {
    uint32_t value;
    int level;
  };
  const Case cases[] = {{1, 1}, {2047, 2047}, {2049, -2047}, {4095, -1}, {100, 100}};
  for (Coding coding : {Coding::MPEG2_INTRA, Coding::MPEG2_NON_INTRA}) {
    for (const Case& c : cases) {
      BlockSetup setup;
      setup.coding = coding;
      Bits bits;
      const int start = Start_Block(bits, coding, false);
      bits.Add(escape_code).Add_Value(3, 6).Add_Value(c.value, 12);
      bits.Add(b14_end_of_block).Add_Random(24, rng);
      const Outcome outcome = Decode(bits, setup);
      ASSERT_FALSE(outcome.error) << c.value;
      Expect_Block(outcome.blocks[0],
                   {{scan_tables[0][start + 3], Reference_Ac(coding, c.level, 16, 1)}},
                   std::to_string(c.value));
      EXPECT_EQ(outcome.next_bits, bits.Value(bits.Size() - 24, 24));
    }
  }
}

// Levels 0 and -2048 cannot be coded; such an escape ends the block.
TEST_F(CoefficientTest, MPEG2EscapesOfZeroAnd2048AreRejected) {
  for (Coding coding : {Coding::MPEG2_INTRA, Coding::MPEG2_NON_INTRA}) {
    for (uint32_t value : {0u, 2048u}) {
      BlockSetup setup;
      setup.coding = coding;
      Bits bits;
      const int start = Start_Block(bits, coding, true);
      bits.Add(escape_code).Add_Value(0, 6).Add_Value(value, 12).Add_Random(24, rng);
      const Outcome outcome = Decode(bits, setup);
      EXPECT_TRUE(outcome.error);
      EXPECT_EQ(outcome.messages,
                std::vector<std::string>{"invalid escape in " + Decoder_Name(coding) + "()\n"});
      EXPECT_EQ(outcome.blocks[0].extent, start);
      if (Is_Intra(coding)) {
        Expect_Block(outcome.blocks[0], {});
      } else {
        Expect_Block(outcome.blocks[0], {{0, Reference_Ac(coding, 1, 16, 1)}});
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Inverse quantisation and saturation.

TEST_F(CoefficientTest, MPEG1SaturatesTo2047AndMinus2048) {
  for (Coding coding : {Coding::MPEG1_INTRA, Coding::MPEG1_NON_INTRA}) {
    for (const bool negative : {false, true}) {
      BlockSetup setup;
      setup.coding = coding;
      setup.quantiser_scale = 31;
      setup.intra_matrix = setup.non_intra_matrix = Flat(255);
      Bits bits;
      const int start = Start_Block(bits, coding, false);
      // Level 255: 0 then 255; level -255: 128 then 1.
      bits.Add(escape_code).Add_Value(0, 6).Add_Value(negative ? 0x8001 : 0x00FF, 16);
      bits.Add(b14_end_of_block).Add_Random(24, rng);
      const Outcome outcome = Decode(bits, setup);
      ASSERT_FALSE(outcome.error);
      EXPECT_EQ(outcome.blocks[0].coefficients[scan_tables[0][start]], negative ? -2048 : 2047);
    }
  }
}

// MPEG-2 values beyond the 16-bit range must saturate, not wrap: 65536 would
// wrap to 0.
TEST_F(CoefficientTest, MPEG2SaturatesWithoutSixteenBitWrap) {
  for (Coding coding : {Coding::MPEG2_INTRA, Coding::MPEG2_NON_INTRA}) {
    for (const bool negative : {false, true}) {
      BlockSetup setup;
      setup.coding = coding;
      setup.quantiser_scale = 64;
      Bits bits;
      const int start = Start_Block(bits, coding, false);
      bits.Add(escape_code).Add_Value(0, 6).Add_Value(negative ? 4096 - 1024 : 1024, 12);
      bits.Add(b14_end_of_block).Add_Random(24, rng);
      const Outcome outcome = Decode(bits, setup);
      ASSERT_FALSE(outcome.error);
      EXPECT_EQ(outcome.blocks[0].coefficients[scan_tables[0][start]], negative ? -2048 : 2047);
    }
  }
}

TEST_F(CoefficientTest, MPEG1OddifiesEveryCoefficient) {
  // Intra: 2 * 3 * 2 * 16 / 16 = 12 becomes 11; non-intra: 7 * 2 * 16 / 16 = 14 becomes 13.
  for (Coding coding : {Coding::MPEG1_INTRA, Coding::MPEG1_NON_INTRA}) {
    for (const bool negative : {false, true}) {
      BlockSetup setup;
      setup.coding = coding;
      setup.quantiser_scale = 2;
      Bits bits;
      const int start = Start_Block(bits, coding, false);
      bits.Add_Coefficient("0010 1", negative).Add(b14_end_of_block);  // run 0, level 3
      const Outcome outcome = Decode(bits, setup);
      const int expected = Is_Intra(coding) ? 11 : 13;
      EXPECT_EQ(outcome.blocks[0].coefficients[scan_tables[0][start]],
                negative ? -expected : expected);
    }
  }
}

// Y blocks weigh with the intra or non-intra matrix; Cb and Cr blocks too in
// 4:2:0, but with the chroma matrices in 4:2:2 and 4:4:4.
TEST_F(CoefficientTest, ChromaMatricesWeighChromaBlocksBeyond420) {
  for (Coding coding : {Coding::MPEG2_INTRA, Coding::MPEG2_NON_INTRA}) {
    for (int chroma_format : {CHROMA_420, CHROMA_422, CHROMA_444}) {
      for (int block : {0, 3, 4, 5, 7, 10, 11}) {
        if (block >= 6 && chroma_format == CHROMA_420) continue;
        if (block >= 8 && chroma_format == CHROMA_422) continue;
        BlockSetup setup;
        setup.coding = coding;
        setup.chroma_format = chroma_format;
        setup.intra_matrix = Flat(16);
        setup.non_intra_matrix = Flat(32);
        setup.chroma_intra_matrix = Flat(48);
        setup.chroma_non_intra_matrix = Flat(64);
        Bits bits;
        int start = 0;
        if (Is_Intra(coding)) {
          Add_Dc(bits, component_of_block[block], 0);
          start = 1;
        }
        bits.Add_Coefficient(start == 0 ? b14_first_code : "11", false).Add(b14_end_of_block);
        const Outcome outcome = Decode(bits, setup, {block});
        const bool chroma = block >= 4 && chroma_format != CHROMA_420;
        const int weight = Is_Intra(coding) ? (chroma ? 48 : 16) : (chroma ? 64 : 32);
        EXPECT_EQ(outcome.blocks[0].coefficients[scan_tables[0][start]],
                  Reference_Ac(coding, 1, weight, 1))
            << "block " << block << " chroma_format " << chroma_format;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Scans.

TEST_F(CoefficientTest, AlternateScanPutsTheSecondPositionAtRaster8) {
  for (Coding coding : all_codings) {
    BlockSetup setup;
    setup.coding = coding;
    setup.alternate_scan = 1;
    Bits bits;
    Start_Block(bits, coding, true);
    bits.Add_Coefficient("11", true).Add(b14_end_of_block);
    const Outcome outcome = Decode(bits, setup);
    ASSERT_FALSE(outcome.error);
    // MPEG-1 blocks keep the zig-zag scan whatever alternate_scan holds.
    const int raster = Is_MPEG2(coding) ? 8 : 1;
    EXPECT_EQ(outcome.blocks[0].coefficients[raster], Reference_Ac(coding, -1, 16, 1))
        << Decoder_Name(coding);
    EXPECT_EQ(outcome.blocks[0].extent, 2);
  }
}

// ---------------------------------------------------------------------------
// Positions.

// Runs may reach position 63 but not beyond; beyond it the block ends with
// an error and what was decoded stays.
TEST_F(CoefficientTest, PositionsEndAt63) {
  for (Coding coding : all_codings) {
    for (int alternate_scan : {0, 1}) {
      BlockSetup setup;
      setup.coding = coding;
      setup.alternate_scan = alternate_scan;
      Bits bits;
      const int start = Start_Block(bits, coding, true);
      bits.Add(escape_code).Add_Value(static_cast<uint32_t>(63 - start), 6);
      bits.Add_Value(2, Is_MPEG2(coding) ? 12 : 8);
      bits.Add(b14_end_of_block).Add_Random(24, rng);
      const Outcome outcome = Decode(bits, setup);
      ASSERT_FALSE(outcome.error);
      EXPECT_EQ(outcome.blocks[0].extent, 64);
      EXPECT_EQ(outcome.blocks[0].coefficients[63], Reference_Ac(coding, 2, 16, 1));
    }

    BlockSetup setup;
    setup.coding = coding;
    Bits bits;
    const int start = Start_Block(bits, coding, true);
    // Position 1 + 30 = 31, then 32 + 32 = 64.
    bits.Add(escape_code).Add_Value(30, 6).Add_Value(5, Is_MPEG2(coding) ? 12 : 8);
    bits.Add(escape_code).Add_Value(32, 6).Add_Value(6, Is_MPEG2(coding) ? 12 : 8);
    bits.Add(b14_end_of_block).Add_Random(24, rng);
    const Outcome outcome = Decode(bits, setup);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.messages, std::vector<std::string>{Out_Of_Bounds_Message(coding)});
    EXPECT_EQ(outcome.blocks[0].extent, start + 31);
    std::map<int, int> kept = {{scan_tables[0][start + 30], Reference_Ac(coding, 5, 16, 1)}};
    if (!Is_Intra(coding)) kept[0] = Reference_Ac(coding, 1, 16, 1);
    Expect_Block(outcome.blocks[0], kept, Decoder_Name(coding));
  }
}

// ---------------------------------------------------------------------------
// DC coefficients and predictors.

TEST_F(CoefficientTest, MPEG2DcFollowsIntraDcPrecision) {
  for (int precision = 0; precision < 4; ++precision) {
    BlockSetup setup;
    setup.intra_dc_precision = precision;
    Bits bits;
    Add_Dc(bits, 0, 100);
    bits.Add(b14_end_of_block);
    const Outcome outcome = Decode(bits, setup, {0}, {-7, 0, 0});
    EXPECT_EQ(outcome.dc_dct_pred[0], 93);
    // intra_dc_precision 3 stores the predictor unshifted.
    EXPECT_EQ(outcome.blocks[0].coefficients[0], 93 << (3 - precision));
  }
}

TEST_F(CoefficientTest, MPEG2DcSaturates) {
  BlockSetup setup;
  setup.intra_dc_precision = 0;
  Bits bits;
  Add_Dc(bits, 0, 0);
  bits.Add(b14_end_of_block);
  EXPECT_EQ(Decode(bits, setup, {0}, {300, 0, 0}).blocks[0].coefficients[0], 2047);
  EXPECT_EQ(Decode(bits, setup, {0}, {-300, 0, 0}).blocks[0].coefficients[0], -2048);
  EXPECT_EQ(Decode(bits, setup, {0}, {-256, 0, 0}).blocks[0].coefficients[0], -2048);
}

TEST_F(CoefficientTest, MPEG1DcIsThePredictorTimesEight) {
  BlockSetup setup;
  setup.coding = Coding::MPEG1_INTRA;
  Bits bits;
  Add_Dc(bits, 0, -37);
  bits.Add(b14_end_of_block);
  const Outcome outcome = Decode(bits, setup, {0}, {3, 0, 0});
  EXPECT_EQ(outcome.dc_dct_pred[0], -34);
  EXPECT_EQ(outcome.blocks[0].coefficients[0], -272);
}

// Damaged streams can push a predictor anywhere; it wraps in 16 bits.
TEST_F(CoefficientTest, DcPredictorsWrapInSixteenBits) {
  struct Case {
    int predictor;
    int differential;
    int wrapped;
  };
  for (const Case& c :
       {Case{32767, 1, -32768}, Case{-32768, -1, 32767}, Case{32000, 2047, -31489}}) {
    for (Coding coding : {Coding::MPEG1_INTRA, Coding::MPEG2_INTRA}) {
      BlockSetup setup;
      setup.coding = coding;
      setup.intra_dc_precision = 0;
      Bits bits;
      Add_Dc(bits, 0, c.differential);
      bits.Add(b14_end_of_block);
      const Outcome outcome = Decode(bits, setup, {0}, {c.predictor, 0, 0});
      EXPECT_EQ(outcome.dc_dct_pred[0], c.wrapped);
      EXPECT_EQ(outcome.blocks[0].coefficients[0], Reference_Dc(coding, c.wrapped, 0));
    }
  }
}

// Y blocks read luminance sizes into predictor 0; Cb and Cr blocks read
// chrominance sizes into predictors 1 and 2, in 4:2:2 alternating.
TEST_F(CoefficientTest, EachComponentHasItsSizeTableAndPredictor) {
  BlockSetup setup;
  setup.chroma_format = CHROMA_422;
  const int differentials[8] = {5, -3, 100, -1000, 7, -9, 300, 2047};
  Bits bits;
  std::vector<int> blocks;
  for (int block = 0; block < 8; ++block) {
    Add_Dc(bits, component_of_block[block], differentials[block]);
    bits.Add(b14_end_of_block);
    blocks.push_back(block);
  }
  bits.Add_Random(24, rng);
  const Outcome outcome = Decode(bits, setup, blocks, {1, 2, 3});
  ASSERT_FALSE(outcome.error);
  EXPECT_EQ(outcome.dc_dct_pred[0], 1 + 5 - 3 + 100 - 1000);
  EXPECT_EQ(outcome.dc_dct_pred[1], 2 + 7 + 300);
  EXPECT_EQ(outcome.dc_dct_pred[2], 3 - 9 + 2047);
  EXPECT_EQ(outcome.blocks[6].coefficients[0], 2 + 7 + 300);
  EXPECT_EQ(outcome.next_bits, bits.Value(bits.Size() - 24, 24));
}

// In D pictures, and after an earlier error, intra blocks hold only the DC:
// nothing after it is read.
TEST_F(CoefficientTest, IntraBlocksStopAfterTheDcInDPicturesAndAfterErrors) {
  for (Coding coding : {Coding::MPEG1_INTRA, Coding::MPEG2_INTRA}) {
    for (const bool d_picture : {true, false}) {
      BlockSetup setup;
      setup.coding = coding;
      setup.picture_coding_type = d_picture ? D_PICTURE : I_PICTURE;
      setup.earlier_error = !d_picture;
      Bits bits;
      Add_Dc(bits, 0, 12);
      const size_t after_dc = bits.Size();
      bits.Add_Coefficient("11", false).Add(b14_end_of_block).Add_Random(24, rng);
      const Outcome outcome = Decode(bits, setup);
      EXPECT_EQ(outcome.blocks[0].extent, 1);
      Expect_Block(outcome.blocks[0], {{0, Reference_Dc(coding, 12, 3)}});
      EXPECT_EQ(outcome.next_bits, bits.Value(after_dc, 24));
    }
  }
}

// ---------------------------------------------------------------------------
// Random blocks.

struct Coefficient {
  int position;
  int level;  // signed
};

const RunLevelCode* Find_Code(const RunLevelCode* table, int run, int level) {
  for (int i = 0; i < 111; ++i) {
    if (table[i].run == run && table[i].level == level) return &table[i];
  }
  return nullptr;
}

// A minimal encoder: the run/level code where the table has one (or, now and
// then, an escape anyway), the escape of the standard in use otherwise.
void Encode_Ac(Bits& bits, Coding coding, bool b15, int start,
               const std::vector<Coefficient>& coefficients, std::mt19937& rng) {
  int position = start;
  for (const Coefficient& c : coefficients) {
    const int run = c.position - position;
    const int magnitude = std::abs(c.level);
    const bool negative = c.level < 0;
    const RunLevelCode* code = Find_Code(b15 ? table_b15 : table_b14, run, magnitude);
    if (position == 0 && run == 0 && magnitude == 1) {
      bits.Add_Coefficient(b14_first_code, negative);
    } else if (code != nullptr && rng() % 8 != 0) {
      bits.Add_Coefficient(code->code, negative);
    } else {
      bits.Add(escape_code).Add_Value(static_cast<uint32_t>(run), 6);
      if (Is_MPEG2(coding)) {
        bits.Add_Value(static_cast<uint32_t>(c.level) & 4095, 12);
      } else if (magnitude < 128) {
        bits.Add_Value(static_cast<uint32_t>(c.level) & 255, 8);
      } else if (!negative) {
        bits.Add_Value(0, 8).Add_Value(static_cast<uint32_t>(c.level), 8);
      } else {
        bits.Add_Value(128, 8).Add_Value(static_cast<uint32_t>(c.level + 256), 8);
      }
    }
    position = c.position + 1;
  }
  bits.Add(b15 ? b15_end_of_block : b14_end_of_block);
}

int Random_Level(Coding coding, std::mt19937& rng) {
  const int roll = static_cast<int>(rng() % 10);
  const int largest = Is_MPEG2(coding) ? 2047 : 255;
  const int magnitude = roll < 6   ? 1 + static_cast<int>(rng() % 3)
                        : roll < 9 ? 1 + static_cast<int>(rng() % 40)
                                   : 1 + static_cast<int>(rng() % largest);
  return rng() % 2 ? -magnitude : magnitude;
}

std::vector<Coefficient> Random_Coefficients(Coding coding, int start, std::mt19937& rng) {
  const int available = 64 - start;
  int count = static_cast<int>(rng() % 4 == 0 ? rng() % (available + 1) : rng() % 8);
  if (!Is_Intra(coding) && count == 0) count = 1;
  std::vector<int> positions(available);
  for (int i = 0; i < available; ++i) positions[i] = start + i;
  std::shuffle(positions.begin(), positions.end(), rng);
  positions.resize(count);
  std::sort(positions.begin(), positions.end());
  std::vector<Coefficient> coefficients;
  for (int position : positions) coefficients.push_back({position, Random_Level(coding, rng)});
  return coefficients;
}

std::array<int, 64> Random_Matrix(std::mt19937& rng) {
  std::array<int, 64> matrix;
  for (int& weight : matrix) weight = 1 + static_cast<int>(rng() % 255);
  return matrix;
}

// Whole macroblocks of random blocks under random parameters, composed by the
// encoder above, must decode to the reference values, block after block from
// one stream, with the predictors carried along: block by block and through
// the macroblock's block loop, from an elementary stream and from packets of
// a few bytes that end anywhere in a code.
TEST_F(CoefficientTest, RandomMacroblocksDecodeToTheReference) {
  for (int trial = 0; trial < 600; ++trial) {
    BlockSetup setup;
    setup.coding = all_codings[rng() % 4];
    const bool mpeg2 = Is_MPEG2(setup.coding);
    const bool intra = Is_Intra(setup.coding);
    setup.quantiser_scale = 1 + static_cast<int>(rng() % (mpeg2 ? 112 : 31));
    setup.intra_matrix = Random_Matrix(rng);
    setup.non_intra_matrix = Random_Matrix(rng);
    setup.chroma_intra_matrix = Random_Matrix(rng);
    setup.chroma_non_intra_matrix = Random_Matrix(rng);
    setup.intra_dc_precision = static_cast<int>(rng() % 4);
    setup.intra_vlc_format = mpeg2 ? static_cast<int>(rng() % 2) : 0;
    setup.alternate_scan = mpeg2 ? static_cast<int>(rng() % 2) : 0;
    setup.chroma_format = mpeg2 ? 1 + static_cast<int>(rng() % 3) : CHROMA_420;
    setup.small_packets = trial % 2 == 1;
    setup.macroblock_loop = trial % 4 >= 2;
    const int block_count = Blocks_Per_Macroblock(setup.chroma_format);
    const bool b15 = intra && setup.intra_vlc_format == 1;
    const uint8_t* scan = Scan(setup);

    std::array<int, 3> predictors;
    for (int& p : predictors) p = static_cast<int>(rng() % 65536) - 32768;
    std::array<int, 3> predictor = predictors;
    Bits bits;
    std::vector<int> blocks;
    std::vector<std::map<int, int>> expected_blocks;
    std::vector<int> expected_extents;
    for (int block = 0; block < block_count; ++block) {
      // The block loop of a non-intra macroblock passes over uncoded blocks.
      if (setup.macroblock_loop && !intra && rng() % 3 == 0) continue;
      std::map<int, int> expected;
      const int start = intra ? 1 : 0;
      if (intra) {
        const int component = component_of_block[block];
        const int differential = static_cast<int>(rng() % 4095) - 2047;
        Add_Dc(bits, component, differential);
        predictor[component] = static_cast<int16_t>(predictor[component] + differential);
        expected[0] = Reference_Dc(setup.coding, predictor[component], setup.intra_dc_precision);
      }
      const std::vector<Coefficient> coefficients = Random_Coefficients(setup.coding, start, rng);
      Encode_Ac(bits, setup.coding, b15, start, coefficients, rng);
      const std::array<int, 64>& weights = Weights(setup, block);
      for (const Coefficient& c : coefficients) {
        const int raster = scan[c.position];
        expected[raster] =
            Reference_Ac(setup.coding, c.level, weights[raster], setup.quantiser_scale);
      }
      blocks.push_back(block);
      expected_blocks.push_back(expected);
      expected_extents.push_back(coefficients.empty() ? start : coefficients.back().position + 1);
    }
    bits.Add_Random(24, rng);

    const Outcome outcome = Decode(bits, setup, blocks, predictors);
    ASSERT_FALSE(outcome.error) << "trial " << trial;
    ASSERT_TRUE(outcome.messages.empty());
    ASSERT_EQ(outcome.blocks.size(), blocks.size());
    for (size_t k = 0; k < blocks.size(); ++k) {
      std::map<int, int> non_zero;
      for (const auto& [raster, value] : expected_blocks[k]) {
        if (value != 0) non_zero[raster] = value;
      }
      Expect_Block(outcome.blocks[k], non_zero,
                   "trial " + std::to_string(trial) + " block " + std::to_string(blocks[k]));
      ASSERT_EQ(outcome.blocks[k].extent, expected_extents[k]) << "trial " << trial;
    }
    if (intra) {
      EXPECT_EQ(outcome.dc_dct_pred, predictor);
    }
    ASSERT_EQ(outcome.next_bits, bits.Value(bits.Size() - 24, 24)) << "trial " << trial;
  }
}

}  // namespace
