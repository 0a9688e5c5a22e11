#include "decoder/reconstruct.h"

#include <algorithm>
#include <bit>
#include <cstddef>

#include "decoder/idct.h"
#include "decoder/prediction.h"

namespace {

// Where the blocks of one plane of a macroblock go: the first block's
// address, the distance between its rows, and the offsets of the two rows of
// blocks.
struct PlaneLayout {
  uint8_t* address;
  int stride;
  std::ptrdiff_t row_offset[2];
};

// The place of each block of a macroblock: its plane (0 Y, 1 Cb, 2 Cr), its
// column offset and its row of blocks. Luma blocks 0..3 fill two rows of two;
// the chroma blocks alternate Cb and Cr, blocks 8..11 in the second column.
struct BlockPlace {
  uint8_t plane;
  uint8_t column;
  uint8_t row;
};
constexpr BlockPlace block_places[12] = {
    {0, 0, 0}, {0, 8, 0}, {0, 0, 1}, {0, 8, 1}, {1, 0, 0}, {2, 0, 0},
    {1, 0, 1}, {2, 0, 1}, {1, 8, 0}, {2, 8, 0}, {1, 8, 1}, {2, 8, 1},
};

// The layout of a plane whose macroblock part starts at column x, line y of
// the frame store (lines of the field in a field picture, where decode_target
// already points at the field's first line, one line down for a bottom
// field). With field DCT (dct_type 1) the upper blocks hold the even lines of
// the macroblock and the lower blocks its odd lines; the chroma follows only
// where a chroma block spans 16 lines (4:2:2, 4:4:4), as `interleaved` says.
PlaneLayout Plane_Layout(uint8_t* plane, std::ptrdiff_t width, int x, int y, bool interleaved) {
  if (decoder_state.picture_structure != FRAME_PICTURE) {
    return {plane + 2 * width * y + x, static_cast<int>(2 * width), {0, 16 * width}};
  }
  if (interleaved) return {plane + width * y + x, static_cast<int>(2 * width), {0, width}};
  return {plane + width * y + x, static_cast<int>(width), {0, 8 * width}};
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

  // The chroma layout follows the plane sizes, i.e. the chroma format the
  // stores were laid out for.
  const bool full_width = d.chroma_width >= d.coded_width;
  const bool full_height = d.chroma_height >= d.coded_height;
  const FrameStore& target = d.decode_target;
  const int cx = full_width ? bx : bx / 2;
  const int cy = full_height ? by : by / 2;
  const bool chroma_interleaved = ctx.dct_type != 0 && full_height;
  const PlaneLayout layouts[3] = {
      Plane_Layout(target.plane[0], d.coded_width, bx, by, ctx.dct_type != 0),
      Plane_Layout(target.plane[1], d.chroma_width, cx, cy, chroma_interleaved),
      Plane_Layout(target.plane[2], d.chroma_width, cx, cy, chroma_interleaved),
  };
  // Indexed by dc_only.
  const IdctFunction kernels[2] = {intra ? idct_kernels.put : idct_kernels.add,
                                   intra ? idct_kernels.put_dc : idct_kernels.add_dc};

  // Block i is coded when bit (blocks - 1 - i) of the pattern is set; an
  // intra macroblock has all blocks. An uncoded non-intra block is all zero
  // and would leave the prediction as it is. Places come from tables rather
  // than branches: the blocks of a macroblock alternate unpredictably.
  const int blocks = std::clamp(d.blocks_per_macroblock, 0, 12);
  const unsigned all_blocks = (1u << blocks) - 1;
  unsigned pattern =
      intra ? all_blocks : static_cast<unsigned>(ctx.coded_block_pattern) & all_blocks;
  while (pattern != 0) {
    const int bit = std::bit_width(pattern) - 1;
    pattern ^= 1u << bit;
    const int i = blocks - 1 - bit;
    const BlockPlace& place = block_places[i];
    const PlaneLayout& layout = layouts[place.plane];
    const int dc_only = ctx.block_extent[i] <= 1;
    kernels[dc_only](d.bitstream.coefficient_blocks[i],
                     layout.address + place.column + layout.row_offset[place.row], layout.stride);
  }
}
