#include "decoder/vlc.h"

#include <cstdint>

#include "decoder/bit_reader.h"
#include "decoder/coefficient_tables.h"  // Expand_Vlc_Codes
#include "decoder/decoder_state.h"
#include "decoder/diagnostics.h"

namespace {

// (value, code length); length 0 with value -1 where no code starts.
struct VlcEntry {
  int8_t value;
  uint8_t length = 0;  // filled in by Expand_Vlc_Codes
};

using Code = VlcCode<VlcEntry>;

constexpr VlcEntry invalid = {-1, 0};

template <size_t N>
constexpr std::array<VlcEntry, N> Expand(std::span<const Code> codes, int window_bits, int shift,
                                         uint32_t base) {
  return Expand_Vlc_Codes<VlcEntry, N>({codes}, window_bits, shift, base, invalid);
}

// True when slots from..to-1 of the table, the ones its getter indexes, all
// hold a code.
template <size_t N>
constexpr bool Filled(const std::array<VlcEntry, N>& table, size_t from = 0, size_t to = N) {
  for (size_t k = from; k < to; ++k) {
    if (table[k].length == 0) return false;
  }
  return true;
}

void Invalid_Code(const char* message) {
  Decoder_Message("%s", message);
  decoder_state.decode_error = 1;
}

// ---------------------------------------------------------------------------
// Table B-1, macroblock_address_increment, without code 1 (increment 1),
// macroblock_escape (0000 0001 000) and macroblock_stuffing (0000 0001 111),
// which the getter recognises itself. 11-bit window.
constexpr Code address_increment_codes[] = {
    {"011", {2}},
    {"010", {3}},
    {"0011", {4}},
    {"0010", {5}},
    {"0001 1", {6}},
    {"0001 0", {7}},
    {"0000 111", {8}},
    {"0000 110", {9}},
    {"0000 1011", {10}},
    {"0000 1010", {11}},
    {"0000 1001", {12}},
    {"0000 1000", {13}},
    {"0000 0111", {14}},
    {"0000 0110", {15}},
    {"0000 0101 11", {16}},
    {"0000 0101 10", {17}},
    {"0000 0101 01", {18}},
    {"0000 0101 00", {19}},
    {"0000 0100 11", {20}},
    {"0000 0100 10", {21}},
    {"0000 0100 011", {22}},
    {"0000 0100 010", {23}},
    {"0000 0100 001", {24}},
    {"0000 0100 000", {25}},
    {"0000 0011 111", {26}},
    {"0000 0011 110", {27}},
    {"0000 0011 101", {28}},
    {"0000 0011 100", {29}},
    {"0000 0011 011", {30}},
    {"0000 0011 010", {31}},
    {"0000 0011 001", {32}},
    {"0000 0011 000", {33}},
};
constexpr auto address_increment_128 = Expand<16>(address_increment_codes, 11, 6, 0);
constexpr auto address_increment_24 = Expand<104>(address_increment_codes, 11, 0, 24);
static_assert(Filled(address_increment_128, 2) && Filled(address_increment_24));

constexpr uint32_t MACROBLOCK_ESCAPE = 8;
constexpr uint32_t MACROBLOCK_STUFFING = 15;

// Escapes add 33 each without limit in the syntax. The sum stops growing here,
// far beyond the macroblocks of any picture, so that a damaged stream cannot
// overflow it; the codes are still consumed.
constexpr int MAX_ESCAPED_INCREMENT = 1 << 24;

// ---------------------------------------------------------------------------
// Tables B-2 and B-3, macroblock_type in P and B pictures, as bit sets of
// MACROBLOCK_QUANT (16), _MOTION_FORWARD (8), _MOTION_BACKWARD (4),
// _PATTERN (2) and _INTRA (1). 6-bit window.
constexpr Code p_macroblock_type_codes[] = {
    {"1", {10}},      {"01", {2}},      {"001", {8}},      {"0001 1", {1}},
    {"0001 0", {26}}, {"0000 1", {18}}, {"0000 01", {17}},
};
constexpr auto p_macroblock_type_8 = Expand<8>(p_macroblock_type_codes, 6, 3, 0);
constexpr auto p_macroblock_type_0 = Expand<8>(p_macroblock_type_codes, 6, 0, 0);
static_assert(Filled(p_macroblock_type_8, 1) && Filled(p_macroblock_type_0, 1));

constexpr Code b_macroblock_type_codes[] = {
    {"10", {12}},      {"11", {14}},      {"010", {4}},      {"011", {6}},
    {"0010", {8}},     {"0011", {10}},    {"0001 1", {1}},   {"0001 0", {30}},
    {"0000 11", {26}}, {"0000 10", {22}}, {"0000 01", {17}},
};
constexpr auto b_macroblock_type_8 = Expand<16>(b_macroblock_type_codes, 6, 2, 0);
constexpr auto b_macroblock_type_0 = Expand<8>(b_macroblock_type_codes, 6, 0, 0);
static_assert(Filled(b_macroblock_type_8, 2) && Filled(b_macroblock_type_0, 1));

// ---------------------------------------------------------------------------
// Table B-9, coded_block_pattern (the 4:2:0 pattern; code 0000 0000 1 is
// pattern 0). 9-bit window.
constexpr Code coded_block_pattern_codes[] = {
    {"111", {60}},         {"1101", {4}},         {"1100", {8}},         {"1011", {16}},
    {"1010", {32}},        {"1001 1", {12}},      {"1001 0", {48}},      {"1000 1", {20}},
    {"1000 0", {40}},      {"0111 1", {28}},      {"0111 0", {44}},      {"0110 1", {52}},
    {"0110 0", {56}},      {"0101 1", {1}},       {"0101 0", {61}},      {"0100 1", {2}},
    {"0100 0", {62}},      {"0011 11", {24}},     {"0011 10", {36}},     {"0011 01", {3}},
    {"0011 00", {63}},     {"0010 111", {5}},     {"0010 110", {9}},     {"0010 101", {17}},
    {"0010 100", {33}},    {"0010 011", {6}},     {"0010 010", {10}},    {"0010 001", {18}},
    {"0010 000", {34}},    {"0001 1111", {7}},    {"0001 1110", {11}},   {"0001 1101", {19}},
    {"0001 1100", {35}},   {"0001 1011", {13}},   {"0001 1010", {49}},   {"0001 1001", {21}},
    {"0001 1000", {41}},   {"0001 0111", {14}},   {"0001 0110", {50}},   {"0001 0101", {22}},
    {"0001 0100", {42}},   {"0001 0011", {15}},   {"0001 0010", {51}},   {"0001 0001", {23}},
    {"0001 0000", {43}},   {"0000 1111", {25}},   {"0000 1110", {37}},   {"0000 1101", {26}},
    {"0000 1100", {38}},   {"0000 1011", {29}},   {"0000 1010", {45}},   {"0000 1001", {53}},
    {"0000 1000", {57}},   {"0000 0111", {30}},   {"0000 0110", {46}},   {"0000 0101", {54}},
    {"0000 0100", {58}},   {"0000 0011 1", {31}}, {"0000 0011 0", {47}}, {"0000 0010 1", {55}},
    {"0000 0010 0", {59}}, {"0000 0001 1", {27}}, {"0000 0001 0", {39}}, {"0000 0000 1", {0}},
};
constexpr auto coded_block_pattern_128 = Expand<32>(coded_block_pattern_codes, 9, 4, 0);
constexpr auto coded_block_pattern_8 = Expand<64>(coded_block_pattern_codes, 9, 1, 0);
constexpr auto coded_block_pattern_0 = Expand<8>(coded_block_pattern_codes, 9, 0, 0);
static_assert(Filled(coded_block_pattern_128, 8) && Filled(coded_block_pattern_8, 4) &&
              Filled(coded_block_pattern_0, 1));

// ---------------------------------------------------------------------------
// Table B-10, motion_code magnitudes (the sign bit follows the code). The
// getter reads the first bit itself (1 is motion_code 0) and then peeks 9
// bits, so the 10-bit codes below stand for a 10-bit window whose first bit
// is 0, and their lengths count that bit.
constexpr Code motion_code_codes[] = {
    {"01", {1}},
    {"001", {2}},
    {"0001", {3}},
    {"0000 11", {4}},
    {"0000 101", {5}},
    {"0000 100", {6}},
    {"0000 011", {7}},
    {"0000 0101 1", {8}},
    {"0000 0101 0", {9}},
    {"0000 0100 1", {10}},
    {"0000 0100 01", {11}},
    {"0000 0100 00", {12}},
    {"0000 0011 11", {13}},
    {"0000 0011 10", {14}},
    {"0000 0011 01", {15}},
    {"0000 0011 00", {16}},
};
constexpr auto motion_code_64 = Expand<8>(motion_code_codes, 10, 6, 0);
constexpr auto motion_code_24 = Expand<8>(motion_code_codes, 10, 3, 0);
constexpr auto motion_code_12 = Expand<12>(motion_code_codes, 10, 0, 12);
static_assert(Filled(motion_code_64, 1) && Filled(motion_code_24, 3) && Filled(motion_code_12));

// ---------------------------------------------------------------------------
// Tables B-12 and B-13, dct_dc_size_luminance and dct_dc_size_chrominance.
// A 5-bit window decides all codes but those starting with 11111.
constexpr Code dc_size_luminance_codes[] = {
    {"100", {0}},      {"00", {1}},        {"01", {2}},           {"101", {3}},
    {"110", {4}},      {"1110", {5}},      {"1111 0", {6}},       {"1111 10", {7}},
    {"1111 110", {8}}, {"1111 1110", {9}}, {"1111 1111 0", {10}}, {"1111 1111 1", {11}},
};
constexpr auto dc_size_luminance_0 = Expand<31>(dc_size_luminance_codes, 5, 0, 0);
constexpr auto dc_size_luminance_496 = Expand<16>(dc_size_luminance_codes, 9, 0, 496);
static_assert(Filled(dc_size_luminance_0) && Filled(dc_size_luminance_496));

constexpr Code dc_size_chrominance_codes[] = {
    {"00", {0}},
    {"01", {1}},
    {"10", {2}},
    {"110", {3}},
    {"1110", {4}},
    {"1111 0", {5}},
    {"1111 10", {6}},
    {"1111 110", {7}},
    {"1111 1110", {8}},
    {"1111 1111 0", {9}},
    {"1111 1111 10", {10}},
    {"1111 1111 11", {11}},
};
constexpr auto dc_size_chrominance_0 = Expand<31>(dc_size_chrominance_codes, 5, 0, 0);
constexpr auto dc_size_chrominance_992 = Expand<32>(dc_size_chrominance_codes, 10, 0, 992);
static_assert(Filled(dc_size_chrominance_0) && Filled(dc_size_chrominance_992));

// dct_dc_differential of `size` bits (ISO/IEC 13818-2 7.2.1): a leading 0 bit
// marks a negative value.
int Read_Dc_Differential(int size) {
  if (size == 0) return 0;
  const int bits = static_cast<int>(Read_Bits(size));
  if ((bits >> (size - 1)) == 0) return bits - (1 << size) + 1;
  return bits;
}

// Reads the macroblock_type of an I or a D picture: code 1 is intra; in I
// pictures 01 is intra with quant.
int Intra_Macroblock_Type(bool d_picture) {
  if (Read_Bit()) return MACROBLOCK_INTRA;
  if (d_picture) {
    Invalid_Code("Invalid macroblock_type code\n");
    return MACROBLOCK_INTRA;
  }
  if (!Read_Bit()) Invalid_Code("Invalid macroblock_type code\n");
  return MACROBLOCK_INTRA | MACROBLOCK_QUANT;
}

int Predicted_Macroblock_Type(const VlcEntry& entry) {
  if (entry.length == 0) {
    Invalid_Code("Invalid macroblock_type code\n");
    return 0;
  }
  Skip_Bits(entry.length);
  return entry.value;
}

}  // namespace

int Read_macroblock_address_increment() {
  int increment = 0;
  for (;;) {
    const uint32_t window = Peek_Bits(11);
    if (window >= 1024) {
      Skip_Bits(1);
      return increment + 1;
    }
    if (window >= 24) {
      const VlcEntry& entry =
          window >= 128 ? address_increment_128[window >> 6] : address_increment_24[window - 24];
      Skip_Bits(entry.length);
      return increment + entry.value;
    }
    if (window == MACROBLOCK_ESCAPE) {
      if (increment < MAX_ESCAPED_INCREMENT) increment += 33;
    } else if (window != MACROBLOCK_STUFFING) {
      Invalid_Code("Invalid macroblock_address_increment code\n");
      return 1;
    }
    Skip_Bits(11);
  }
}

int Get_macroblock_type() {
  switch (decoder_state.picture_coding_type) {
    case I_PICTURE:
      return Intra_Macroblock_Type(false);
    case P_PICTURE: {
      const uint32_t window = Peek_Bits(6);
      return Predicted_Macroblock_Type(window >= 8 ? p_macroblock_type_8[window >> 3]
                                                   : p_macroblock_type_0[window]);
    }
    case B_PICTURE: {
      const uint32_t window = Peek_Bits(6);
      return Predicted_Macroblock_Type(window >= 8 ? b_macroblock_type_8[window >> 2]
                                                   : b_macroblock_type_0[window]);
    }
    case D_PICTURE:
      return Intra_Macroblock_Type(true);
    default:
      Decoder_Message_Always("Get_macroblock_type(): unrecognized picture coding type\n");
      return 0;
  }
}

int Read_coded_block_pattern() {
  const uint32_t window = Peek_Bits(9);
  const VlcEntry& entry = window >= 128 ? coded_block_pattern_128[window >> 4]
                          : window >= 8 ? coded_block_pattern_8[window >> 1]
                                        : coded_block_pattern_0[window];
  if (entry.length == 0) {
    Invalid_Code("Invalid coded_block_pattern code\n");
    return 0;
  }
  Skip_Bits(entry.length);
  return entry.value;
}

int Read_motion_code() {
  if (Read_Bit()) return 0;
  const uint32_t window = Peek_Bits(9);
  const VlcEntry& entry = window >= 64   ? motion_code_64[window >> 6]
                          : window >= 24 ? motion_code_24[window >> 3]
                          : window >= 12 ? motion_code_12[window - 12]
                                         : invalid;
  if (entry.length == 0) {
    // No message: the motion vector layer reports nothing for this code.
    decoder_state.decode_error = 1;
    return 0;
  }
  Skip_Bits(entry.length - 1);
  return Read_Bit() ? -entry.value : entry.value;
}

int Read_dmvector() {
  if (!Read_Bit()) return 0;
  return Read_Bit() ? -1 : 1;
}

int Read_luma_dc_differential() {
  const uint32_t window = Peek_Bits(5);
  const VlcEntry& entry =
      window < 31 ? dc_size_luminance_0[window] : dc_size_luminance_496[Peek_Bits(9) - 496];
  Skip_Bits(entry.length);
  return Read_Dc_Differential(entry.value);
}

int Read_chroma_dc_differential() {
  const uint32_t window = Peek_Bits(5);
  const VlcEntry& entry =
      window < 31 ? dc_size_chrominance_0[window] : dc_size_chrominance_992[Peek_Bits(10) - 992];
  Skip_Bits(entry.length);
  return Read_Dc_Differential(entry.value);
}
