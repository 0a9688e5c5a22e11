// DCT coefficient decoding: the DC differentials (Tables B-12 and B-13) and
// the four block decoders (Tables B-14 and B-15, escapes, inverse
// quantisation) writing coefficient_blocks[block] in raster order. The caller
// has zeroed the block. Failures set decoder_state.decode_error and end the
// block at once. Everything reads through the caller's cursor.
//
// Each block decoder returns the block's extent: one more than the last scan
// position that received a coefficient (0 when none did). An extent of 1
// means that only the DC (raster index 0) can be non-zero.
#pragma once

#include "decoder/bit_reader.h"
#include "decoder/decoder_state.h"

// To be called whenever any of the four weighting matrices has been written:
// the block decoders dequantise with the matrices scaled once per
// quantiser_scale, and these products are made again.
void Weighting_Matrices_Changed();

// dct_dc_differential: the size code and the differential bits.
int Read_luma_dc_differential(BitCursor& bits);
int Read_chroma_dc_differential(BitCursor& bits);

int Decode_MPEG1_Intra_Block(BitCursor& bits, int block, int dc_dct_pred[3]);
int Decode_MPEG1_Non_Intra_Block(BitCursor& bits, int block);
int Decode_MPEG2_Intra_Block(BitCursor& bits, int block, int dc_dct_pred[3]);
int Decode_MPEG2_Non_Intra_Block(BitCursor& bits, int block);

// The blocks of one macroblock: zeroes and decodes every block that
// ctx.coded_block_pattern marks, with the decoder its macroblock_type and
// the syntax choose, and sets their ctx.block_extent (that of uncoded blocks
// means nothing). Returns 1, or 0 as soon as a block fails.
int Decode_Coded_Blocks(BitCursor& bits, MacroblockContext& ctx);
