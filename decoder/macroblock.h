// Macroblock layer: modes, quantiser scale, motion vectors, coded block
// pattern and coefficient blocks of one macroblock, and the state a skipped
// macroblock leaves behind.
#pragma once

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"

// Reads macroblock_type and the motion and DCT modes into the context.
void Read_Macroblock_Modes(BitCursor& bits, MacroblockContext& ctx);

// Decodes one coded macroblock: 1 when decoded, 0 after a syntax error
// (decode_error is then set and the slice is abandoned).
int Read_Macroblock(MacroblockContext& ctx);

// Sets up the context for a skipped macroblock.
void Fill_Skipped_Macroblock(MacroblockContext& ctx);
