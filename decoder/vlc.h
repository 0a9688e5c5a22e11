// Variable-length codes of the macroblock layer (ISO/IEC 13818-2 Tables B-1
// to B-4 and B-9).
//
// Every getter peeks a fixed window and needs one table look-up. Invalid
// codes set decoder_state.decode_error (with the diagnostic line where one is
// defined).
#pragma once

#include <array>
#include <cstdint>

#include "decoder/bit_reader.h"
#include "decoder/coefficient_tables.h"  // VlcEntry
#include "decoder/decoder_state.h"

// Table B-1, including macroblock_stuffing and macroblock_escape, read from
// decoder_state.bitstream (the slice loop). Returns the increment (1 or
// more); 1 with decode_error set for an invalid code.
int Read_macroblock_address_increment();

// The getters below read through the macroblock's cursor. They are inline,
// so that the macroblock layer keeps the cursor in registers.

// Tables B-2 and B-3 by a 6-bit window (length 0 where no code starts), and
// Table B-9 by a 9-bit window c: entry c >> 4 for c >= 128 (codes of up to
// 5 bits), CODED_BLOCK_PATTERN_LONG_CODES + c below.
constexpr int CODED_BLOCK_PATTERN_LONG_CODES = 32;
extern const std::array<VlcEntry, 64> p_macroblock_type;
extern const std::array<VlcEntry, 64> b_macroblock_type;
extern const std::array<VlcEntry, CODED_BLOCK_PATTERN_LONG_CODES + 128> coded_block_pattern;

// Reports an invalid code (the line unless messages are off) and sets
// decoder_state.decode_error.
[[gnu::cold]] void Invalid_Vlc_Code(const char* message);
[[gnu::cold]] void Unrecognized_Picture_Coding_Type();

// Tables B-2 to B-4 by picture_coding_type; the macroblock_type bit set.
inline int Get_macroblock_type(BitCursor& bits) {
  const int type = decoder_state.picture_coding_type;
  if (type == P_PICTURE || type == B_PICTURE) [[likely]] {
    const VlcEntry& entry =
        (type == P_PICTURE ? p_macroblock_type : b_macroblock_type)[bits.Peek(6)];
    if (entry.length == 0) [[unlikely]] {
      Invalid_Vlc_Code("Invalid macroblock_type code\n");
      return 0;
    }
    bits.Skip(entry.length);
    return entry.value;
  }
  if (type == I_PICTURE || type == D_PICTURE) {
    // Code 1 is intra; in I pictures 01 is intra with quant.
    if (bits.ReadBit()) return MACROBLOCK_INTRA;
    if (type == D_PICTURE) {
      Invalid_Vlc_Code("Invalid macroblock_type code\n");
      return MACROBLOCK_INTRA;
    }
    if (!bits.ReadBit()) Invalid_Vlc_Code("Invalid macroblock_type code\n");
    return MACROBLOCK_INTRA | MACROBLOCK_QUANT;
  }
  Unrecognized_Picture_Coding_Type();
  return 0;
}

// Table B-9: coded_block_pattern 0..63 (0 with decode_error when invalid).
inline int Read_coded_block_pattern(BitCursor& bits) {
  const uint32_t window = bits.Peek(9);
  const VlcEntry& entry =
      coded_block_pattern[window >= 128 ? window >> 4 : CODED_BLOCK_PATTERN_LONG_CODES + window];
  if (entry.length == 0) [[unlikely]] {
    Invalid_Vlc_Code("Invalid coded_block_pattern code\n");
    return 0;
  }
  bits.Skip(entry.length);
  return entry.value;
}
