// The variable-length codes of the macroblock layer and the DC sizes. The code
// lists below are ISO/IEC 13818-2 Tables B-1 to B-3 and B-9 to B-13, written
// out independently of the decoder's tables. Every window value of a getter is
// tried: where a code starts, the getter must return its value and consume
// exactly its bits; where none starts, it must report the error.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/coefficients.h"
#include "decoder/decoder_state.h"
#include "decoder/diagnostics.h"
#include "decoder/motion_vectors.h"
#include "decoder/vlc.h"
#include "tests/support/memory_input.h"
#include "tools/synth/bit_writer.h"

namespace {

// ---------------------------------------------------------------------------
// The standard's code lists.

// Table B-1 by increment 1..33.
const char* const address_increment_codes[34] = {
    nullptr,         "1",
    "011",           "010",
    "0011",          "0010",
    "0001 1",        "0001 0",
    "0000 111",      "0000 110",
    "0000 1011",     "0000 1010",
    "0000 1001",     "0000 1000",
    "0000 0111",     "0000 0110",
    "0000 0101 11",  "0000 0101 10",
    "0000 0101 01",  "0000 0101 00",
    "0000 0100 11",  "0000 0100 10",
    "0000 0100 011", "0000 0100 010",
    "0000 0100 001", "0000 0100 000",
    "0000 0011 111", "0000 0011 110",
    "0000 0011 101", "0000 0011 100",
    "0000 0011 011", "0000 0011 010",
    "0000 0011 001", "0000 0011 000",
};
const char* const macroblock_escape = "0000 0001 000";
const char* const macroblock_stuffing = "0000 0001 111";

struct CodeValue {
  const char* code;
  int value;
};

// Tables B-2 and B-3: macroblock_type as quant 16, forward 8, backward 4,
// pattern 2, intra 1.
const std::vector<CodeValue> p_macroblock_types = {
    {"1", 8 | 2},           {"01", 2},          {"001", 8},          {"0001 1", 1},
    {"0001 0", 16 | 8 | 2}, {"0000 1", 16 | 2}, {"0000 01", 16 | 1},
};
const std::vector<CodeValue> b_macroblock_types = {
    {"10", 8 | 4},
    {"11", 8 | 4 | 2},
    {"010", 4},
    {"011", 4 | 2},
    {"0010", 8},
    {"0011", 8 | 2},
    {"0001 1", 1},
    {"0001 0", 16 | 8 | 4 | 2},
    {"0000 11", 16 | 8 | 2},
    {"0000 10", 16 | 4 | 2},
    {"0000 01", 16 | 1},
};

// Table B-9 by coded_block_pattern 0..63.
const char* const coded_block_pattern_codes[64] = {
    "0000 0000 1", "0101 1",      "0100 1",    "0011 01",     "1101",      "0010 111",
    "0010 011",    "0001 1111",   "1100",      "0010 110",    "0010 010",  "0001 1110",
    "1001 1",      "0001 1011",   "0001 0111", "0001 0011",   "1011",      "0010 101",
    "0010 001",    "0001 1101",   "1000 1",    "0001 1001",   "0001 0101", "0001 0001",
    "0011 11",     "0000 1111",   "0000 1101", "0000 0001 1", "0111 1",    "0000 1011",
    "0000 0111",   "0000 0011 1", "1010",      "0010 100",    "0010 000",  "0001 1100",
    "0011 10",     "0000 1110",   "0000 1100", "0000 0001 0", "1000 0",    "0001 1000",
    "0001 0100",   "0001 0000",   "0111 0",    "0000 1010",   "0000 0110", "0000 0011 0",
    "1001 0",      "0001 1010",   "0001 0110", "0001 0010",   "0110 1",    "0000 1001",
    "0000 0101",   "0000 0010 1", "0110 0",    "0000 1000",   "0000 0100", "0000 0010 0",
    "111",         "0101 0",      "0100 0",    "0011 00",
};

// Table B-10 by the magnitude of motion_code 0..16; a sign bit follows every
// code but the first.
const char* const motion_code_codes[17] = {
    "1",
    "01",
    "001",
    "0001",
    "0000 11",
    "0000 101",
    "0000 100",
    "0000 011",
    "0000 0101 1",
    "0000 0101 0",
    "0000 0100 1",
    "0000 0100 01",
    "0000 0100 00",
    "0000 0011 11",
    "0000 0011 10",
    "0000 0011 01",
    "0000 0011 00",
};

// Tables B-12 and B-13 by dct_dc_size 0..11.
const char* const dc_size_luminance_codes[12] = {
    "100",    "00",      "01",       "101",       "110",         "1110",
    "1111 0", "1111 10", "1111 110", "1111 1110", "1111 1111 0", "1111 1111 1",
};
const char* const dc_size_chrominance_codes[12] = {
    "00",      "01",       "10",        "110",         "1110",         "1111 0",
    "1111 10", "1111 110", "1111 1110", "1111 1111 0", "1111 1111 10", "1111 1111 11",
};

std::string Without_Spaces(const char* code) {
  std::string bits;
  for (const char* c = code; *c != '\0'; ++c) {
    if (*c != ' ') bits += *c;
  }
  return bits;
}

std::vector<CodeValue> Indexed(const char* const* codes, int count) {
  std::vector<CodeValue> list;
  for (int value = 0; value < count; ++value) {
    if (codes[value] != nullptr) list.push_back({codes[value], value});
  }
  return list;
}

// The code of `list` that the window's bits begin with, or nullptr.
const CodeValue* Match(const std::vector<CodeValue>& list, const std::string& window) {
  for (const CodeValue& entry : list) {
    if (window.starts_with(Without_Spaces(entry.code))) return &entry;
  }
  return nullptr;
}

std::string Window_Bits(uint32_t window, int bits) {
  std::string text;
  for (int i = bits - 1; i >= 0; --i) text += ((window >> i) & 1) ? '1' : '0';
  return text;
}

// ---------------------------------------------------------------------------
// Running a getter on composed bits.

std::vector<std::string> messages;

void Capture(const char* line) {
  messages.emplace_back(line);
}

// A bit string as '0' and '1' characters, so that the test can say which
// bits follow a code.
class Bits {
 public:
  explicit Bits(std::string bits = "") : bits_(std::move(bits)) {}
  Bits& Add(const char* code) {
    bits_ += Without_Spaces(code);
    return *this;
  }
  Bits& Add(const std::string& bits) {
    bits_ += bits;
    return *this;
  }
  Bits& Add_Value(uint32_t value, int count) { return Add(Window_Bits(value, count)); }
  Bits& Add_Random(int count, std::mt19937& rng) { return Add_Value(rng(), count); }
  // The `count` bits from bit `position` on.
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

// A getter reading through a cursor. The address increment, read by the
// slice loop from the shared state, runs between a store and a reload.
using Getter = int (*)(BitCursor&);

int Address_Increment(BitCursor& bits) {
  bits.Store();
  const int increment = Read_macroblock_address_increment();
  bits = BitCursor();
  return increment;
}

struct Outcome {
  int value;
  bool error;
  uint32_t next_bits;  // the 24 bits after what the getter consumed
};

class VlcTest : public ::testing::Test {
 public:
  void SetUp() override { Decoder_Set_Diagnostic_Sink(Capture); }
  void TearDown() override { Decoder_Set_Diagnostic_Sink(nullptr); }

  Outcome Run(const Bits& bits, Getter getter, int picture_coding_type = I_PICTURE,
              bool messages_off = false) {
    MemoryInput input(bits.Bytes());
    decoder_state.picture_coding_type = picture_coding_type;
    decoder_state.messages_off = messages_off ? 1 : 0;
    messages.clear();
    BitCursor cursor;
    const int value = getter(cursor);
    cursor.Store();
    return {value, decoder_state.decode_error != 0, Read_Bits(24)};
  }

  // A window followed by random bits, long enough to compare 24 bits after
  // any code and its sign or differential bits.
  Bits Window_Then_Random(uint32_t window, int window_bits) {
    Bits bits;
    bits.Add_Value(window, window_bits).Add_Random(24, rng_).Add_Random(24, rng_);
    return bits;
  }

  std::mt19937 rng_{20240611};
};

// Checks that a getter decodes every code of `list` within a window of
// `window_bits` bits and consumes exactly that code; windows that begin no
// code are handed to `expect_invalid`.
template <typename Invalid>
void Expect_Table(VlcTest& test, const std::vector<CodeValue>& list, int window_bits, Getter getter,
                  int picture_coding_type, Invalid expect_invalid) {
  int matched = 0;
  for (uint32_t window = 0; window < (1u << window_bits); ++window) {
    const std::string text = Window_Bits(window, window_bits);
    const CodeValue* code = Match(list, text);
    const Bits bits = test.Window_Then_Random(window, window_bits);
    const Outcome outcome = test.Run(bits, getter, picture_coding_type);
    if (code == nullptr) {
      expect_invalid(window, outcome);
      continue;
    }
    ++matched;
    const size_t length = Without_Spaces(code->code).size();
    ASSERT_FALSE(outcome.error) << code->code;
    ASSERT_EQ(outcome.value, code->value) << code->code;
    ASSERT_EQ(outcome.next_bits, bits.Value(length, 24)) << code->code << " consumed wrongly";
  }
  EXPECT_GT(matched, 0);
}

// ---------------------------------------------------------------------------
// macroblock_address_increment

TEST_F(VlcTest, AddressIncrementDecodesEveryCodeOfTableB1) {
  std::vector<CodeValue> list = Indexed(address_increment_codes, 34);
  // Escape and stuffing continue with the following code; they are tried on
  // their own below.
  std::vector<CodeValue> with_prefixes = list;
  with_prefixes.push_back({macroblock_escape, -1});
  with_prefixes.push_back({macroblock_stuffing, -1});
  for (uint32_t window = 0; window < 2048; ++window) {
    const std::string text = Window_Bits(window, 11);
    const CodeValue* code = Match(with_prefixes, text);
    if (code != nullptr && code->value < 0) continue;
    const Bits bits = Window_Then_Random(window, 11);
    const Outcome outcome = Run(bits, Address_Increment);
    if (code == nullptr) {
      ASSERT_TRUE(outcome.error) << text;
      ASSERT_EQ(outcome.value, 1) << text;
      ASSERT_EQ(messages, std::vector<std::string>{"Invalid macroblock_address_increment code\n"});
      continue;
    }
    ASSERT_FALSE(outcome.error) << code->code;
    ASSERT_EQ(outcome.value, code->value) << code->code;
    ASSERT_EQ(outcome.next_bits, bits.Value(Without_Spaces(code->code).size(), 24)) << code->code;
  }
}

TEST_F(VlcTest, AddressIncrementEscapesAddThirtyThreeAndStuffingNothing) {
  Bits two_escapes;
  two_escapes.Add(macroblock_escape).Add(macroblock_escape).Add("1").Add_Random(24, rng_);
  Outcome outcome = Run(two_escapes, Address_Increment);
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(outcome.value, 67);
  EXPECT_EQ(outcome.next_bits, two_escapes.Value(23, 24));

  Bits stuffed;
  stuffed.Add(macroblock_stuffing)
      .Add(macroblock_escape)
      .Add(macroblock_stuffing)
      .Add(macroblock_stuffing)
      .Add(macroblock_escape)
      .Add("0000 0011 000")  // 33
      .Add_Random(24, rng_);
  outcome = Run(stuffed, Address_Increment);
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(outcome.value, 99);
  EXPECT_EQ(outcome.next_bits, stuffed.Value(66, 24));

  Bits stuffing_only;
  stuffing_only.Add(macroblock_stuffing).Add("010").Add_Random(24, rng_);
  outcome = Run(stuffing_only, Address_Increment);
  EXPECT_EQ(outcome.value, 3);
  EXPECT_EQ(outcome.next_bits, stuffing_only.Value(14, 24));
}

TEST_F(VlcTest, AddressIncrementInvalidAfterEscapeGivesOne) {
  Bits bits;
  bits.Add(macroblock_escape).Add("0000 0000 001").Add_Random(24, rng_);
  const Outcome outcome = Run(bits, Address_Increment);
  EXPECT_TRUE(outcome.error);
  EXPECT_EQ(outcome.value, 1);
}

TEST_F(VlcTest, InvalidCodesAreSilentWithMessagesOff) {
  Bits bits;
  bits.Add("0000 0000 0000 0000").Add_Random(24, rng_);
  EXPECT_TRUE(Run(bits, Address_Increment, I_PICTURE, true).error);
  EXPECT_TRUE(Run(bits, Read_coded_block_pattern, I_PICTURE, true).error);
  EXPECT_TRUE(Run(bits, Get_macroblock_type, P_PICTURE, true).error);
  EXPECT_TRUE(messages.empty());
}

// ---------------------------------------------------------------------------
// macroblock_type

TEST_F(VlcTest, MacroblockTypeInIPictures) {
  Expect_Table(*this, {{"1", 1}, {"01", 16 | 1}}, 2, Get_macroblock_type, I_PICTURE,
               [](uint32_t window, const Outcome& outcome) {
                 // 00 is no code, yet yields intra with quant.
                 ASSERT_EQ(window, 0u);
                 EXPECT_TRUE(outcome.error);
                 EXPECT_EQ(outcome.value, 16 | 1);
                 EXPECT_EQ(messages, std::vector<std::string>{"Invalid macroblock_type code\n"});
               });
}

TEST_F(VlcTest, MacroblockTypeInPPicturesIsTableB2) {
  Expect_Table(*this, p_macroblock_types, 6, Get_macroblock_type, P_PICTURE,
               [](uint32_t window, const Outcome& outcome) {
                 ASSERT_EQ(window, 0u);
                 EXPECT_TRUE(outcome.error);
                 EXPECT_EQ(outcome.value, 0);
                 EXPECT_EQ(messages, std::vector<std::string>{"Invalid macroblock_type code\n"});
               });
}

TEST_F(VlcTest, MacroblockTypeInBPicturesIsTableB3) {
  Expect_Table(*this, b_macroblock_types, 6, Get_macroblock_type, B_PICTURE,
               [](uint32_t window, const Outcome& outcome) {
                 ASSERT_EQ(window, 0u);
                 EXPECT_TRUE(outcome.error);
                 EXPECT_EQ(outcome.value, 0);
                 EXPECT_EQ(messages, std::vector<std::string>{"Invalid macroblock_type code\n"});
               });
}

TEST_F(VlcTest, MacroblockTypeInDPicturesIsOneBit) {
  Expect_Table(*this, {{"1", 1}}, 1, Get_macroblock_type, D_PICTURE,
               [](uint32_t window, const Outcome& outcome) {
                 // 0 is no code, yet yields intra.
                 ASSERT_EQ(window, 0u);
                 EXPECT_TRUE(outcome.error);
                 EXPECT_EQ(outcome.value, 1);
                 EXPECT_EQ(messages, std::vector<std::string>{"Invalid macroblock_type code\n"});
               });
}

TEST_F(VlcTest, MacroblockTypeOfUnknownPictureTypeIsNothingAndNotAnError) {
  for (int type : {0, 5, 7}) {
    Bits bits;
    bits.Add_Random(24, rng_).Add_Random(24, rng_);
    // The message is printed even with messages off; no bit is consumed.
    const Outcome outcome = Run(bits, Get_macroblock_type, type, true);
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(outcome.value, 0);
    EXPECT_EQ(outcome.next_bits, bits.Value(0, 24));
    EXPECT_EQ(messages, std::vector<std::string>{
                            "Get_macroblock_type(): unrecognized picture coding type\n"});
  }
}

// ---------------------------------------------------------------------------
// coded_block_pattern, motion_code, dmvector

TEST_F(VlcTest, CodedBlockPatternDecodesEveryCodeOfTableB9) {
  Expect_Table(*this, Indexed(coded_block_pattern_codes, 64), 9, Read_coded_block_pattern,
               I_PICTURE, [](uint32_t window, const Outcome& outcome) {
                 ASSERT_EQ(window, 0u);
                 EXPECT_TRUE(outcome.error);
                 EXPECT_EQ(outcome.value, 0);
                 EXPECT_EQ(messages,
                           std::vector<std::string>{"Invalid coded_block_pattern code\n"});
               });
}

TEST_F(VlcTest, MotionCodeDecodesEveryCodeOfTableB10WithItsSign) {
  const std::vector<CodeValue> list = Indexed(motion_code_codes, 17);
  int invalid_windows = 0;
  for (uint32_t window = 0; window < 1024; ++window) {
    const std::string text = Window_Bits(window, 10);
    const CodeValue* code = Match(list, text);
    const Bits bits = Window_Then_Random(window, 10);
    const Outcome outcome = Run(bits, Read_motion_code);
    if (code == nullptr) {
      ++invalid_windows;
      ASSERT_TRUE(outcome.error) << text;
      ASSERT_EQ(outcome.value, 0);
      ASSERT_TRUE(messages.empty());
      continue;
    }
    const size_t length = Without_Spaces(code->code).size();
    int expected = code->value;
    size_t consumed = length;
    if (expected != 0) {
      if (bits.Value(length, 1) == 1) expected = -expected;
      ++consumed;
    }
    ASSERT_FALSE(outcome.error) << text;
    ASSERT_EQ(outcome.value, expected) << text;
    ASSERT_EQ(outcome.next_bits, bits.Value(consumed, 24)) << text;
  }
  // 0000 0010 xx and below.
  EXPECT_EQ(invalid_windows, 12);
}

TEST_F(VlcTest, DmvectorIsTableB11) {
  Expect_Table(*this, {{"0", 0}, {"10", 1}, {"11", -1}}, 2, Read_dmvector, I_PICTURE,
               [](uint32_t, const Outcome&) { FAIL() << "every window starts a code"; });
}

// ---------------------------------------------------------------------------
// dct_dc_size and dct_dc_differential

// The bits of a DC differential of the given size (ISO/IEC 13818-2 7.2.1):
// positive values as they are, negative ones as the ones' complement of the
// magnitude in `size` bits.
uint32_t Differential_Bits(int differential, int size) {
  if (differential > 0) return static_cast<uint32_t>(differential);
  return static_cast<uint32_t>(differential - 1) & ((1u << size) - 1);
}

int Differential_Size(int differential) {
  int size = 0;
  for (int magnitude = differential < 0 ? -differential : differential; magnitude != 0;
       magnitude >>= 1) {
    ++size;
  }
  return size;
}

void Expect_Every_Differential(VlcTest& test, const char* const* size_codes, Getter getter,
                               std::mt19937& rng) {
  for (int differential = -2047; differential <= 2047; ++differential) {
    const int size = Differential_Size(differential);
    Bits bits;
    bits.Add(size_codes[size]);
    if (size > 0) bits.Add_Value(Differential_Bits(differential, size), size);
    bits.Add_Random(24, rng);
    const Outcome outcome = test.Run(bits, getter);
    ASSERT_FALSE(outcome.error);
    ASSERT_EQ(outcome.value, differential);
    ASSERT_EQ(outcome.next_bits,
              bits.Value(Without_Spaces(size_codes[size]).size() + static_cast<size_t>(size), 24))
        << differential;
  }
}

TEST_F(VlcTest, LuminanceDcDifferentialOfEverySize) {
  Expect_Every_Differential(*this, dc_size_luminance_codes, Read_luma_dc_differential, rng_);
}

TEST_F(VlcTest, ChrominanceDcDifferentialOfEverySize) {
  Expect_Every_Differential(*this, dc_size_chrominance_codes, Read_chroma_dc_differential, rng_);
}

// No DC size code is invalid: every window begins one, and the getter
// consumes that code and the differential bits it announces.
TEST_F(VlcTest, EveryWindowBeginsADcSizeCode) {
  struct Table {
    const char* const* codes;
    Getter getter;
    int window_bits;
  };
  for (const Table& table : {Table{dc_size_luminance_codes, Read_luma_dc_differential, 9},
                             Table{dc_size_chrominance_codes, Read_chroma_dc_differential, 10}}) {
    const std::vector<CodeValue> list = Indexed(table.codes, 12);
    for (uint32_t window = 0; window < (1u << table.window_bits); ++window) {
      const std::string text = Window_Bits(window, table.window_bits);
      const CodeValue* code = Match(list, text);
      ASSERT_NE(code, nullptr) << text;
      const Bits bits = Window_Then_Random(window, table.window_bits);
      const Outcome outcome = Run(bits, table.getter);
      ASSERT_FALSE(outcome.error);
      const size_t consumed = Without_Spaces(code->code).size() + static_cast<size_t>(code->value);
      ASSERT_EQ(outcome.next_bits, bits.Value(consumed, 24)) << text;
      ASSERT_EQ(Differential_Size(outcome.value), code->value) << text;
    }
  }
}

}  // namespace
