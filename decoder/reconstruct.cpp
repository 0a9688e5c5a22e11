#include "decoder/reconstruct.h"

#include <algorithm>
#include <cstddef>

#include "decoder/idct.h"
#include "decoder/prediction.h"

namespace {

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

// Rows of macroblocks in the picture being decoded.
int Macroblock_Rows() {
  const DecoderState& d = decoder_state;
  return d.picture_structure == FRAME_PICTURE ? d.mb_height : d.mb_height / 2;
}

}  // namespace

void Prepare_Block_Layout() {
  DecoderState& d = decoder_state;
  const bool field_picture = d.picture_structure != FRAME_PICTURE;
  // The chroma layout follows the plane sizes, i.e. the chroma format the
  // stores were laid out for.
  const bool full_width = d.chroma_width >= d.coded_width;
  const bool full_height = d.chroma_height >= d.coded_height;
  for (int field_dct = 0; field_dct < 2; ++field_dct) {
    BlockLayout& layout = d.block_layout[field_dct];
    std::ptrdiff_t row_offsets[3][2];
    for (int p = 0; p < 3; ++p) {
      const std::ptrdiff_t width = p == 0 ? d.coded_width : d.chroma_width;
      const bool luma = p == 0;
      // decode_target already points at a field's first line; its lines lie
      // two frame lines apart. With field DCT (dct_type 1) in a frame
      // picture the upper blocks hold the even lines of the macroblock and
      // the lower blocks its odd lines; the chroma follows only where a
      // chroma block spans 16 lines (4:2:2, 4:4:4).
      const std::ptrdiff_t line = field_picture ? 2 * width : width;
      const bool interleaved = !field_picture && field_dct && (luma || full_height);
      layout.row_bytes[p] = (luma || full_height ? 16 : 8) * line;
      layout.column_bytes[p] = luma || full_width ? 16 : 8;
      row_offsets[p][0] = 0;
      row_offsets[p][1] = interleaved ? width : 8 * line;
      for (int i = 0; i < 12; ++i) {
        if (block_places[i].plane == p)
          layout.stride[i] = static_cast<int>(interleaved ? 2 * width : line);
      }
    }
    for (int i = 0; i < 12; ++i) {
      const BlockPlace& place = block_places[i];
      layout.plane[i] = place.plane;
      layout.offset[i] = place.column + row_offsets[place.plane][place.row];
    }
  }
}

void Reconstruct_Macroblock(const MacroblockContext& ctx) {
  const DecoderState& d = decoder_state;
  // The slice loop never asks for a place outside the picture; this keeps
  // writes inside all the same.
  if (ctx.column < 0 || ctx.column >= d.mb_width || ctx.row < 0 || ctx.row >= Macroblock_Rows()) {
    return;
  }
  const bool intra = (ctx.macroblock_type & MACROBLOCK_INTRA) != 0;
  if (!intra) Predict_Macroblock(16 * ctx.column, 16 * ctx.row, ctx);

  const BlockLayout& layout = d.block_layout[ctx.dct_type != 0 ? 1 : 0];
  uint8_t* origin[3];
  for (int p = 0; p < 3; ++p) {
    origin[p] = d.decode_target.plane[p] + layout.row_bytes[p] * ctx.row +
                static_cast<std::ptrdiff_t>(layout.column_bytes[p]) * ctx.column;
  }
  // Indexed by dc_only.
  const IdctFunction kernels[2] = {intra ? idct_kernels.put : idct_kernels.add,
                                   intra ? idct_kernels.put_dc : idct_kernels.add_dc};
  const IdctPairFunction pair_kernel = intra ? idct_kernels.put_pair : idct_kernels.add_pair;
  const auto& coefficients = d.bitstream.coefficient_blocks;
  auto destination = [&](int i) { return origin[layout.plane[i]] + layout.offset[i]; };
  auto transform = [&](int i) {
    kernels[ctx.block_extent[i] <= 1](coefficients[i], destination(i), layout.stride[i]);
  };

  // Block i is coded when bit (blocks - 1 - i) of the pattern is set; an
  // intra macroblock has all blocks. An uncoded non-intra block is all zero
  // and would leave the prediction as it is.
  const int blocks = std::clamp(d.blocks_per_macroblock, 2, 12) & ~1;
  const unsigned all_blocks = (1u << blocks) - 1;
  const unsigned pattern =
      intra ? all_blocks : static_cast<unsigned>(ctx.coded_block_pattern) & all_blocks;

  // Blocks 2k and 2k + 1 (luma side by side, or Cb and Cr at the same place)
  // share their stride: when both are coded they go through the transform
  // together, unless both are DC only.
  for (int first = 0; first < blocks; first += 2) {
    const unsigned coded = (pattern >> (blocks - 2 - first)) & 3;  // bit 1 for the first block
    if (coded == 3 && (ctx.block_extent[first] > 1 || ctx.block_extent[first + 1] > 1)) {
      pair_kernel(coefficients[first], destination(first), destination(first + 1),
                  layout.stride[first]);
      continue;
    }
    if (coded & 2) transform(first);
    if (coded & 1) transform(first + 1);
  }
}
