// Block reconstruction: the prediction, then every block of the macroblock
// through the inverse DCT into decode_target.
#pragma once

#include "decoder/decoder_state.h"

// Prediction (unless intra) and all blocks of the macroblock at ctx.address.
// ctx.coded_block_pattern and ctx.block_extent tell which blocks hold
// coefficients; an uncoded non-intra block leaves the prediction as it is.
void Reconstruct_Macroblock(const MacroblockContext& ctx);

// Sets the 64 coefficients of the block to 0.
void Clear_Coefficient_Block(int block);
