// Picture output: from the decoder's frame stores to rows of B, G, R bytes.
//
// After each Decoder_Next_Picture the frame source calls
// Select_Output_Picture once, which works on decoder_state on the decoding
// thread. Output_Picture then describes the chosen picture; that description,
// or one of a copy of its planes (HeldPicture), is all Convert_Row_To_BGR
// reads, so rows can be converted on another thread.
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

// A picture ready for colour conversion: its planes and what converting
// them needs.
struct OutputPicture {
  const uint8_t* luma = nullptr;  // width x height
  const uint8_t* cb = nullptr;    // chroma_width x height: 4:2:2 or 4:4:4 rows
  const uint8_t* cr = nullptr;
  int width = 0;  // coded width and height
  int height = 0;
  int chroma_width = 0;
  bool chroma_444 = false;
  bool mpeg2 = false;  // chroma siting for the horizontal upsampling
  ColourCoefficients colour_coefficients{};
};

// The picture the last successful Select_Output_Picture chose, as the
// decoder holds it: valid until the next Decoder_Next_Picture.
OutputPicture Output_Picture();

// Converts row `row` (0 .. height - 1) of `picture` into 3 * width bytes B,
// G, R at `dest`, with the picture's colour matrix. `chroma_rows` are two
// work rows of `width` bytes for the upsampled chroma (unused for 4:4:4).
void Convert_Row_To_BGR(const OutputPicture& picture, uint8_t* const chroma_rows[2], uint8_t* dest,
                        int row);

// Vertical chroma upsampling of a `width` x `height` plane into 2 * `height`
// rows. Interlaced pictures are filtered within each field; a plane without
// two whole fields (odd height) is filtered as progressive.
void Upsample_Chroma_420_To_422(const uint8_t* in, uint8_t* out, int width, int height,
                                bool progressive);

// Horizontal chroma upsampling of `count` samples into 2 * `count`, with the
// chroma siting of MPEG-2 (`mpeg2` set) or MPEG-1.
void Upsample_Chroma_422_To_444(const uint8_t* in, uint8_t* out, int count, bool mpeg2);
