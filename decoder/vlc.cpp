#include "decoder/vlc.h"

#include <cstdint>

#include "decoder/bit_reader.h"
#include "decoder/coefficient_tables.h"  // Expand_Vlc_Table
#include "decoder/decoder_state.h"
#include "decoder/diagnostics.h"

namespace {

using Code = VlcCode<VlcEntry>;

// ---------------------------------------------------------------------------
// Table B-1, macroblock_address_increment, without macroblock_escape
// (0000 0001 000) and macroblock_stuffing (0000 0001 111), which the getter
// recognises itself. 11-bit window: codes of up to 5 bits by window >> 6,
// the others by the window below 128.
constexpr Code address_increment_codes[] = {
    {"1", {1}},
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
constexpr auto address_increment_128 = Expand_Vlc_Table<32>(address_increment_codes, 11, 6, 0);
constexpr auto address_increment_0 = Expand_Vlc_Table<128>(address_increment_codes, 11, 0, 0);
static_assert(Vlc_Table_Filled(address_increment_128, 2) &&
              Vlc_Table_Filled(address_increment_0, 24));

constexpr uint32_t MACROBLOCK_ESCAPE = 8;
constexpr uint32_t MACROBLOCK_STUFFING = 15;

// Escapes add 33 each without limit in the syntax. The sum stops growing here,
// far beyond the macroblocks of any picture, so that a damaged stream cannot
// overflow it; the codes are still consumed.
constexpr int MAX_ESCAPED_INCREMENT = 1 << 24;

// ---------------------------------------------------------------------------
// Tables B-2 and B-3, macroblock_type in P and B pictures, as bit sets of
// MACROBLOCK_QUANT (16), _MOTION_FORWARD (8), _MOTION_BACKWARD (4),
// _PATTERN (2) and _INTRA (1). 6-bit window, one table each.
constexpr Code p_macroblock_type_codes[] = {
    {"1", {10}},      {"01", {2}},      {"001", {8}},      {"0001 1", {1}},
    {"0001 0", {26}}, {"0000 1", {18}}, {"0000 01", {17}},
};
constexpr auto p_macroblock_type_table = Expand_Vlc_Table<64>(p_macroblock_type_codes, 6, 0, 0);
static_assert(Vlc_Table_Filled(p_macroblock_type_table, 1));

constexpr Code b_macroblock_type_codes[] = {
    {"10", {12}},      {"11", {14}},      {"010", {4}},      {"011", {6}},
    {"0010", {8}},     {"0011", {10}},    {"0001 1", {1}},   {"0001 0", {30}},
    {"0000 11", {26}}, {"0000 10", {22}}, {"0000 01", {17}},
};
constexpr auto b_macroblock_type_table = Expand_Vlc_Table<64>(b_macroblock_type_codes, 6, 0, 0);
static_assert(Vlc_Table_Filled(b_macroblock_type_table, 1));

// ---------------------------------------------------------------------------
// Table B-9, coded_block_pattern (the 4:2:0 pattern; code 0000 0000 1 is
// pattern 0). 9-bit window: codes of up to 5 bits by window >> 4, the others
// by the window below 128.
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
constexpr auto coded_block_pattern_short =
    Expand_Vlc_Table<CODED_BLOCK_PATTERN_LONG_CODES>(coded_block_pattern_codes, 9, 4, 0);
constexpr auto coded_block_pattern_long = Expand_Vlc_Table<128>(coded_block_pattern_codes, 9, 0, 0);
static_assert(Vlc_Table_Filled(coded_block_pattern_short, 8) &&
              Vlc_Table_Filled(coded_block_pattern_long, 1));

const VlcEntry& Address_Increment_Entry(uint32_t window) {
  return window >= 128 ? address_increment_128[window >> 6] : address_increment_0[window];
}

// The increment when the window begins no code of Table B-1: escapes and
// stuffing come first, or the code is invalid.
int Escaped_Address_Increment() {
  int increment = 0;
  for (;;) {
    const uint32_t window = Peek_Bits(11);
    const VlcEntry& entry = Address_Increment_Entry(window);
    if (entry.length != 0) {
      Skip_Bits(entry.length);
      return increment + entry.value;
    }
    if (window == MACROBLOCK_ESCAPE) {
      if (increment < MAX_ESCAPED_INCREMENT) increment += 33;
    } else if (window != MACROBLOCK_STUFFING) {
      Invalid_Vlc_Code("Invalid macroblock_address_increment code\n");
      return 1;
    }
    Skip_Bits(11);
  }
}

}  // namespace

int Read_macroblock_address_increment() {
  const VlcEntry& entry = Address_Increment_Entry(Peek_Bits(11));
  if (entry.length == 0) return Escaped_Address_Increment();
  Skip_Bits(entry.length);
  return entry.value;
}

const std::array<VlcEntry, 64> p_macroblock_type = p_macroblock_type_table;
const std::array<VlcEntry, 64> b_macroblock_type = b_macroblock_type_table;
const std::array<VlcEntry, CODED_BLOCK_PATTERN_LONG_CODES + 128> coded_block_pattern =
    Join_Vlc_Tables(coded_block_pattern_short, coded_block_pattern_long);

void Invalid_Vlc_Code(const char* message) {
  Decoder_Message("%s", message);
  decoder_state.decode_error = 1;
}

void Unrecognized_Picture_Coding_Type() {
  Decoder_Message_Always("Get_macroblock_type(): unrecognized picture coding type\n");
}
