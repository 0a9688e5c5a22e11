// DCT coefficient decoding: the four block decoders (Tables B-14 and B-15,
// escapes, inverse quantisation) writing coefficient_blocks[block] in raster
// order. The caller has zeroed the block. Failures set decoder_state.decode_error
// and end the block at once.
//
// Each returns the block's extent: one more than the last scan position that
// received a coefficient (0 when none did). An extent of 1 means that only
// the DC (raster index 0) can be non-zero.
#pragma once

int Decode_MPEG1_Intra_Block(int block, int dc_dct_pred[3]);
int Decode_MPEG1_Non_Intra_Block(int block);
int Decode_MPEG2_Intra_Block(int block, int dc_dct_pred[3]);
int Decode_MPEG2_Non_Intra_Block(int block);
