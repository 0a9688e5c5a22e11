// Picture output: from the decoder's frame stores to rows of B, G, R bytes.
//
// After each Decoder_Next_Picture the frame source calls
// Select_Output_Picture once, then Convert_Row_To_BGR for the rows it needs,
// in any order and any number of times. Both work on decoder_state and run on
// the conversion worker thread only.
#pragma once

#include <cstdint>

#include "decoder/decoder_state.h"

// Chooses the frame store due for display (flush 0 after DECODER_OK, 1 after
// DECODER_END_OF_SEQUENCE), makes it the output picture and brings 4:2:0
// chroma to 4:2:2 in cb_422_plane / cr_422_plane; `stamp` (when given)
// receives the picture's time stamp. Returns 0 when a picture was selected, 1
// when nothing is due (flush without a held reference); the output state and
// `stamp` are then left as they were.
int Select_Output_Picture(int flush, FrameStamp* stamp = nullptr);

// Converts frame row `row` (0 .. coded_height - 1) of the output picture into
// 3 * coded_width bytes B, G, R at `dest`, with the stream's colour matrix.
void Convert_Row_To_BGR(uint8_t* dest, int row);

// Vertical chroma upsampling of a `width` x `height` plane into 2 * `height`
// rows. Interlaced pictures are filtered within each field; a plane without
// two whole fields (odd height) is filtered as progressive.
void Upsample_Chroma_420_To_422(const uint8_t* in, uint8_t* out, int width, int height,
                                bool progressive);

// Horizontal chroma upsampling of `count` samples into 2 * `count`, with the
// chroma siting of MPEG-2 (`mpeg2` set) or MPEG-1.
void Upsample_Chroma_422_To_444(const uint8_t* in, uint8_t* out, int count, bool mpeg2);
