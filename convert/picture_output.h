// Picture output: from the decoder's frame stores to rows of B, G, R bytes.
//
// After each Decoder_Next_Picture the frame source calls
// Select_Output_Picture once, which works on decoder_state on the decoding
// thread. Output_Picture then describes the chosen picture; that description,
// or one of a copy of its planes (HeldPicture), is all the upsampling and
// Convert_Row_To_BGR read, so they can run on another thread.
#pragma once

#include <cstdint>

#include "decoder/decoder_state.h"

// Chooses the frame store due for display (flush 0 after DECODER_OK, 1 after
// DECODER_END_OF_SEQUENCE) and makes it the output picture; `stamp` (when
// given) receives the picture's time stamp. Returns 0 when a picture was
// selected, 1 when nothing is due (flush without a held reference); the
// output state and `stamp` are then left as they were.
int Select_Output_Picture(int flush, FrameStamp* stamp = nullptr);

// A picture ready for colour conversion: its planes as decoded and what
// converting them needs.
struct OutputPicture {
  const uint8_t* luma = nullptr;  // width x height
  const uint8_t* cb = nullptr;    // chroma_width x chroma_height
  const uint8_t* cr = nullptr;
  int width = 0;  // coded width and height
  int height = 0;
  int chroma_width = 0;
  int chroma_height = 0;     // height / 2 for 4:2:0, otherwise height
  bool progressive = false;  // 4:2:0 chroma is filtered as one frame, not by field
  bool mpeg2 = false;        // chroma siting for the horizontal upsampling
  ColourCoefficients colour_coefficients{};
};

// The picture the last successful Select_Output_Picture chose, as the
// decoder holds it: valid until the next Decoder_Next_Picture.
OutputPicture Output_Picture();

// `picture` with 4:2:0 chroma brought to 4:2:2 in cb_422 and cr_422
// (chroma_width x height bytes each); other pictures as they are.
OutputPicture Upsampled_Picture(const OutputPicture& picture, uint8_t* cb_422, uint8_t* cr_422);

// Converts row `row` (0 .. height - 1) of `picture`, whose chroma has a row
// for each luma row (4:2:2 or 4:4:4), into 3 * width bytes B, G, R at
// `dest`, with the picture's colour matrix. `chroma_rows` are two work rows
// of `width` bytes for the upsampled chroma (unused for 4:4:4).
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
