#include "decoder/reconstruct.h"

#include <algorithm>
#include <cstddef>

#include "decoder/idct.h"
#include "decoder/prediction.h"

namespace {

struct BlockPlace {
  uint8_t* address;
  int stride;
};

// Where block i of the macroblock at luma position (bx, by) goes, and the
// distance between its rows. In a field picture by counts field lines and
// decode_target already points at the picture's first line (one line down
// for a bottom field). With field DCT (dct_type 1) a frame macroblock's luma
// blocks 0 and 1 hold its even lines and blocks 2 and 3 its odd lines; the
// chroma follows only where a chroma block spans 16 lines (4:2:2, 4:4:4).
BlockPlace Place_Block(int i, int bx, int by, int dct_type) {
  const DecoderState& d = decoder_state;
  const bool field_picture = d.picture_structure != FRAME_PICTURE;
  const int lower = (i & 2) ? 1 : 0;  // second block row of the macroblock
  if (i < 4) {
    const std::ptrdiff_t W = d.coded_width;
    const int column = bx + 8 * (i & 1);
    uint8_t* Y = d.decode_target.plane[0];
    if (field_picture) return {Y + 2 * W * (by + 8 * lower) + column, static_cast<int>(2 * W)};
    if (dct_type) return {Y + W * (by + lower) + column, static_cast<int>(2 * W)};
    return {Y + W * (by + 8 * lower) + column, static_cast<int>(W)};
  }
  // The chroma layout follows the plane sizes, i.e. the chroma format the
  // stores were laid out for.
  const bool full_width = d.chroma_width >= d.coded_width;
  const bool full_height = d.chroma_height >= d.coded_height;
  const std::ptrdiff_t CW = d.chroma_width;
  uint8_t* plane = d.decode_target.plane[(i & 1) ? 2 : 1];
  const int cx = (full_width ? bx : bx / 2) + (i & 8);
  const int cy = full_height ? by : by / 2;
  if (field_picture) return {plane + 2 * CW * (cy + 8 * lower) + cx, static_cast<int>(2 * CW)};
  if (dct_type && full_height) return {plane + CW * (cy + lower) + cx, static_cast<int>(2 * CW)};
  return {plane + CW * (cy + 8 * lower) + cx, static_cast<int>(CW)};
}

// Rows of macroblocks in the picture being decoded.
int Macroblock_Rows() {
  const DecoderState& d = decoder_state;
  return d.picture_structure == FRAME_PICTURE ? d.mb_height : d.mb_height / 2;
}

}  // namespace

void Reconstruct_Macroblock(const MacroblockContext& ctx) {
  const DecoderState& d = decoder_state;
  if (d.mb_width <= 0 || ctx.address < 0) return;
  const int mb_row = ctx.address / d.mb_width;
  if (mb_row >= Macroblock_Rows()) return;  // the slice loop never asks; keeps writes inside
  const int bx = 16 * (ctx.address % d.mb_width);
  const int by = 16 * mb_row;

  const bool intra = (ctx.macroblock_type & MACROBLOCK_INTRA) != 0;
  if (!intra) Predict_Macroblock(bx, by, ctx);

  const int blocks = std::clamp(d.blocks_per_macroblock, 0, 12);
  for (int i = 0; i < blocks; ++i) {
    const int16_t* coefficients = d.bitstream.coefficient_blocks[i];
    const int extent = ctx.block_extent[i];
    if (intra) {
      const BlockPlace place = Place_Block(i, bx, by, ctx.dct_type);
      IdctFunction put = extent <= 1 ? idct_kernels.put_dc : idct_kernels.put;
      put(coefficients, place.address, place.stride);
    } else if (ctx.coded_block_pattern & (1 << (blocks - 1 - i))) {
      // An uncoded block is all zero and would leave the prediction as it is.
      const BlockPlace place = Place_Block(i, bx, by, ctx.dct_type);
      IdctFunction add = extent <= 1 ? idct_kernels.add_dc : idct_kernels.add;
      add(coefficients, place.address, place.stride);
    }
  }
}
