// Block reconstruction: the prediction, then every block of the macroblock
// through the inverse DCT into decode_target.
#pragma once

#include <cstdint>
#include <cstring>

#include "decoder/decoder_state.h"

// Fills decoder_state.block_layout for the picture about to be decoded
// (picture_structure, the plane sizes); call before its first macroblock.
void Prepare_Block_Layout();

// Prediction (unless intra) and all blocks of the macroblock at ctx.column,
// ctx.row, placed by decoder_state.block_layout. ctx.coded_block_pattern and
// ctx.block_extent tell which blocks hold coefficients; an uncoded non-intra
// block leaves the prediction as it is.
void Reconstruct_Macroblock(const MacroblockContext& ctx);

// Sets the 64 coefficients of the block to 0.
inline void Clear_Coefficient_Block(int block) {
  if (block < 0 || block >= 12) return;
  // Eight 16-byte stores: GCC expands a memset of the whole block into
  // `rep stos`, whose start-up costs several times as much.
  int16_t* coefficients = decoder_state.bitstream.coefficient_blocks[block];
#pragma GCC unroll 8
  for (int k = 0; k < 64; k += 8) std::memset(coefficients + k, 0, 8 * sizeof(int16_t));
}
