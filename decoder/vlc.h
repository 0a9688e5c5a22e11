// Variable-length codes of the macroblock layer (ISO/IEC 13818-2 Tables B-1
// to B-4 and B-9).
//
// Every getter peeks a fixed window and needs one table look-up. Invalid
// codes set decoder_state.decode_error (with the diagnostic line where one is
// defined).
#pragma once

#include "decoder/bit_reader.h"

// Table B-1, including macroblock_stuffing and macroblock_escape, read from
// decoder_state.bitstream (the slice loop). Returns the increment (1 or
// more); 1 with decode_error set for an invalid code.
int Read_macroblock_address_increment();

// The getters below read through the macroblock's cursor.

// Tables B-2 to B-4 by picture_coding_type; the macroblock_type bit set.
int Get_macroblock_type(BitCursor& bits);

// Table B-9: coded_block_pattern 0..63 (0 with decode_error when invalid).
int Read_coded_block_pattern(BitCursor& bits);
