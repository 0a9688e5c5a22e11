// Building output frames: the crop band of a decoded picture, converted to
// 24-bit B, G, R, optionally deinterlaced by a vertical 1-2-1 filter,
// stretched or shrunk vertically to the output height by linear
// interpolation, and laid out bottom-up (output row 0, the top of the
// picture, is the last row of the buffer). Rows are 3 * coded width bytes
// without padding.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "convert/picture_output.h"

// Writes converted source row `row` (3 * width bytes) to `dest`.
using RowProducer = std::function<void(uint8_t* dest, int row)>;

struct FrameGeometry {
  int width = 0;           // pixels per row
  int picture_height = 0;  // the producer delivers rows 0 .. picture_height - 1
  int crop_top = 0;        // first source row of the crop band
  int crop_height = 0;     // source rows in the crop band
  int out_height = 0;      // rows of the output frame
  bool deinterlace = false;
};

// Builds one output frame of out_height rows into `dest` from the crop band,
// asking `produce_row` for each source row of the band once, in increasing
// order, and for no row outside it. row_pair (2 rows) and filter_ring (3 rows)
// are work rows of 3 * width bytes each.
//
// Equal crop and output heights copy the band (bit-exact without
// deinterlacing); otherwise output row j samples source position
// crop_top + j * crop_height / out_height, positions past the last crop row
// taking that row. Deinterlacing replaces source row i of the band by
// (S[i-2] + 2 S[i-1] + S[i]) >> 2, S[-2] = S[-1] = S[0].
//
// Nothing is written for out_height <= 0. A crop band that is empty or not
// inside the picture yields a black frame, so no row outside the picture or
// the buffers is ever touched.
void Assemble_Frame(const RowProducer& produce_row, const FrameGeometry& geometry,
                    uint8_t* const row_pair[2], uint8_t* const filter_ring[3], uint8_t* dest);

// Builds output frames from pictures with work rows of its own, so that
// each thread that builds frames has one.
class FrameBuilder {
 public:
  // Work rows for pictures `width` pixels wide; false when out of memory.
  bool Allocate(int width);

  // Builds the frame of out_height rows of 3 * width bytes from `picture`
  // into `dest` (see Assemble_Frame). A picture of another width, or none,
  // gives a black frame.
  void Build(const OutputPicture& picture, int crop_top, int out_height, int crop_height,
             bool deinterlace, uint8_t* dest);

 private:
  int width_ = 0;
  std::vector<uint8_t> rows_;     // all work rows, cut from one block
  uint8_t* row_pair_[2] = {};     // resampling: source rows by row parity
  uint8_t* filter_ring_[3] = {};  // deinterlacing: the last three source rows
  uint8_t* chroma_rows_[2] = {};  // Cb and Cr upsampled to the full width
};
