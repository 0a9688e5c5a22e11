// Fixed tables of ISO/IEC 13818-2 used above the VLC level.
#pragma once

#include <cstdint>

#include "decoder/decoder_state.h"

// Scan position to raster index: [0] zig-zag (Figure 7-2), [1] alternate
// (Figure 7-3).
extern const uint8_t scan_tables[2][64];

// default_intra_quantiser_matrix (6.3.11), natural order.
extern const uint8_t default_intra_quantiser_matrix[64];

// quantiser_scale for q_scale_type 1, by quantiser_scale_code (Table 7-6).
extern const uint8_t non_linear_quantiser_scale[32];

// Colour conversion coefficients by matrix_coefficients 0..7 (16.16 fixed
// point, scaled for the chroma range 16..240). Row 0 repeats row 1 (BT.709).
extern const ColourCoefficients colour_table[8];

// quantiser_scale for a quantiser_scale_code under the current syntax.
int Quantiser_Scale_From_Code(int code);
