#include "decoder/macroblock.h"

#include "decoder/bit_reader.h"
#include "decoder/coefficients.h"
#include "decoder/motion_vectors.h"
#include "decoder/tables.h"
#include "decoder/vlc.h"

void Read_Macroblock_Modes(BitCursor& bits, MacroblockContext& ctx) {
  const DecoderState& d = decoder_state;
  ctx.macroblock_type = Get_macroblock_type(bits);
  if (d.decode_error) return;
  const bool frame_picture = d.picture_structure == FRAME_PICTURE;
  const int type = ctx.macroblock_type;
  if (type & (MACROBLOCK_MOTION_FORWARD | MACROBLOCK_MOTION_BACKWARD)) {
    if (frame_picture && d.frame_pred_frame_dct) {
      ctx.motion_type = MC_FRAME;
    } else {
      ctx.motion_type = static_cast<int>(bits.Read(2));
    }
  } else if ((type & MACROBLOCK_INTRA) && d.concealment_motion_vectors) {
    ctx.motion_type = frame_picture ? MC_FRAME : MC_FIELD;
  } else {
    ctx.motion_type = MC_NONE;
  }
  if (frame_picture) {
    ctx.mv_format = ctx.motion_type == MC_FRAME ? 1 : 0;
    ctx.motion_vector_count = ctx.motion_type == MC_FIELD ? 2 : 1;
  } else {
    ctx.mv_format = 0;
    ctx.motion_vector_count = ctx.motion_type == MC_16X8 ? 2 : 1;
  }
  ctx.dmv = ctx.motion_type == MC_DMV ? 1 : 0;
  ctx.mv_field_in_frame = ctx.mv_format == 0 && frame_picture ? 1 : 0;
  ctx.dct_type = 0;
  if (frame_picture && !d.frame_pred_frame_dct &&
      (type & (MACROBLOCK_INTRA | MACROBLOCK_PATTERN))) {
    ctx.dct_type = bits.ReadBit();
  }
}

namespace {

// Forward (s = 0) or backward (s = 1) vectors of the macroblock.
void Read_Vectors(BitCursor& bits, MacroblockContext& ctx, int s) {
  const DecoderState& d = decoder_state;
  if (d.bitstream.is_mpeg2) {
    int dmv = ctx.dmv;
    if (s == 1) ctx.dmv = 0;
    Read_Motion_Vectors(bits, ctx, s, R_Size_From_F_Code(d.f_code[s][0]),
                        R_Size_From_F_Code(d.f_code[s][1]));
    ctx.dmv = dmv;
  } else {
    int r_size = R_Size_From_F_Code(s == 0 ? d.forward_f_code : d.backward_f_code);
    int full_pel = s == 0 ? d.full_pel_forward_vector : d.full_pel_backward_vector;
    Read_Motion_Vector(bits, ctx.PMV[0][s], r_size, r_size, 0, 0, full_pel, ctx.dmvector);
  }
}

int Read_Block_Pattern(BitCursor& bits, const MacroblockContext& ctx) {
  const DecoderState& d = decoder_state;
  if (ctx.macroblock_type & MACROBLOCK_PATTERN) {
    int pattern = Read_coded_block_pattern(bits);
    if (d.chroma_format == CHROMA_422) {
      pattern = (pattern << 2) | static_cast<int>(bits.Read(2));
    } else if (d.chroma_format == CHROMA_444) {
      pattern = (pattern << 6) | static_cast<int>(bits.Read(6));
    }
    return pattern;
  }
  if (ctx.macroblock_type & MACROBLOCK_INTRA) return (1 << d.blocks_per_macroblock) - 1;
  return 0;
}

// Read_Macroblock through the macroblock's cursor.
int Read_Macroblock_Layer(BitCursor& bits, MacroblockContext& ctx) {
  DecoderState& d = decoder_state;
  BitstreamState& bs = d.bitstream;
  Read_Macroblock_Modes(bits, ctx);
  if (d.decode_error) return 0;
  const int type = ctx.macroblock_type;
  const bool intra = (type & MACROBLOCK_INTRA) != 0;

  if (type & MACROBLOCK_QUANT) {
    bs.quantiser_scale = Quantiser_Scale_From_Code(static_cast<int>(bits.Read(5)));
  }

  const bool concealment = intra && d.concealment_motion_vectors;
  if ((type & MACROBLOCK_MOTION_FORWARD) || concealment) {
    Read_Vectors(bits, ctx, 0);
    if (d.decode_error) return 0;
  }
  if (type & MACROBLOCK_MOTION_BACKWARD) {
    Read_Vectors(bits, ctx, 1);
    if (d.decode_error) return 0;
  }
  if (concealment) bits.Skip(1);  // marker_bit

  const int pattern = Read_Block_Pattern(bits, ctx);
  if (d.decode_error) return 0;
  ctx.coded_block_pattern = pattern;

  // Only coded blocks are cleared and decoded: the reconstruction reads no
  // other block (an uncoded non-intra block leaves the prediction as it is).
  if (!Decode_Coded_Blocks(bits, ctx)) return 0;

  if (d.picture_coding_type == D_PICTURE) bits.Skip(1);  // end_of_macroblock

  if (!intra) ctx.dc_dct_pred[0] = ctx.dc_dct_pred[1] = ctx.dc_dct_pred[2] = 0;
  if (intra && !d.concealment_motion_vectors) {
    for (auto& r : ctx.PMV) {
      for (auto& s : r) s[0] = s[1] = 0;
    }
  }
  if (d.picture_coding_type == P_PICTURE && !intra && !(type & MACROBLOCK_MOTION_FORWARD)) {
    // No motion compensation: zero vector from the field of the same parity.
    ctx.PMV[0][0][0] = ctx.PMV[0][0][1] = 0;
    ctx.PMV[1][0][0] = ctx.PMV[1][0][1] = 0;
    if (d.picture_structure == FRAME_PICTURE) {
      ctx.motion_type = MC_FRAME;
    } else {
      ctx.motion_type = MC_FIELD;
      ctx.motion_vertical_field_select[0][0] = d.picture_structure == BOTTOM_FIELD ? 1 : 0;
    }
  }
  return 1;
}

}  // namespace

// Everything but the blocks is inlined, so that the cursor stays in
// registers up to them.
[[gnu::flatten]] int Read_Macroblock(MacroblockContext& ctx) {
  BitCursor bits;
  const int decoded = Read_Macroblock_Layer(bits, ctx);
  bits.Store();
  return decoded;
}

void Fill_Skipped_Macroblock(MacroblockContext& ctx) {
  const DecoderState& d = decoder_state;
  ctx.coded_block_pattern = 0;
  ctx.dc_dct_pred[0] = ctx.dc_dct_pred[1] = ctx.dc_dct_pred[2] = 0;
  if (d.picture_coding_type == P_PICTURE) {
    ctx.PMV[0][0][0] = ctx.PMV[0][0][1] = 0;
    ctx.PMV[1][0][0] = ctx.PMV[1][0][1] = 0;
  }
  if (d.picture_structure == FRAME_PICTURE) {
    ctx.motion_type = MC_FRAME;
  } else {
    ctx.motion_type = MC_FIELD;
    int select = d.picture_structure == BOTTOM_FIELD ? 1 : 0;
    ctx.motion_vertical_field_select[0][0] = select;
    ctx.motion_vertical_field_select[0][1] = select;
  }
  ctx.macroblock_type &= ~MACROBLOCK_INTRA;
}
