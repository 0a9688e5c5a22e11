// Variable-length codes of the macroblock layer and of the DC sizes
// (ISO/IEC 13818-2 Tables B-1 to B-4, B-9 to B-13).
//
// Every getter peeks a fixed window, picks a sub-table by the window's value
// range and needs one table look-up. Invalid codes set decoder_state.decode_error
// (with the diagnostic line where one is defined).
#pragma once

// Table B-1, including macroblock_stuffing and macroblock_escape. Returns the
// increment (1 or more); 1 with decode_error set for an invalid code.
int Read_macroblock_address_increment();

// Tables B-2 to B-4 by picture_coding_type; the macroblock_type bit set.
int Get_macroblock_type();

// Table B-9: coded_block_pattern 0..63 (0 with decode_error when invalid).
int Read_coded_block_pattern();

// Table B-10: motion_code -16..16 (0 with decode_error when invalid).
int Read_motion_code();

// Table B-11: dmvector -1, 0 or 1.
int Read_dmvector();

// Tables B-12 and B-13: dct_dc_differential (size and the differential bits).
int Read_luma_dc_differential();
int Read_chroma_dc_differential();
