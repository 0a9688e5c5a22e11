#include "decoder/picture.h"

#include <utility>

#include "decoder/bit_reader.h"
#include "decoder/diagnostics.h"
#include "decoder/headers.h"
#include "decoder/macroblock.h"
#include "decoder/reconstruct.h"
#include "decoder/vlc.h"

namespace {

void Select_Decode_Target() {
  DecoderState& d = decoder_state;
  if (d.picture_coding_type != B_PICTURE && !d.in_second_field) {
    // The previous newer reference becomes the source of forward prediction;
    // the store of the older one is reused for the new picture.
    std::swap(d.older_reference, d.newer_reference);
    std::swap(d.older_reference_valid, d.newer_reference_valid);
  }
  d.decode_target = d.picture_coding_type == B_PICTURE ? d.b_picture_store : d.newer_reference;
  if (d.picture_structure == BOTTOM_FIELD) {
    d.decode_target.plane[0] += d.coded_width;
    d.decode_target.plane[1] += d.chroma_width;
    d.decode_target.plane[2] += d.chroma_width;
  }
}

void Update_Reference_Progressive() {
  DecoderState& d = decoder_state;
  bool whole_frame = d.picture_structure == FRAME_PICTURE || d.in_second_field;
  if (whole_frame && (d.picture_coding_type == I_PICTURE || d.picture_coding_type == P_PICTURE)) {
    d.older_reference_progressive = d.newer_reference_progressive;
    d.newer_reference_progressive = d.progressive_frame;
  }
}

// Returns -1 (no further slice in this picture), 0 (this slice failed to
// start) or 1 (the context addresses the slice's first macroblock).
int start_of_slice(MacroblockContext& ctx) {
  DecoderState& d = decoder_state;
  d.decode_error = 0;
  next_start_code();
  uint32_t code = Peek_Bits(32);
  if (code < 0x00000101 || code > 0x000001AF) {
    Decoder_Message("start_of_slice(): Premature end of picture\n");
    return -1;
  }
  Skip_Bits32();
  int extension = Read_Slice_Header();
  int increment = Read_macroblock_address_increment();
  if (d.decode_error) {
    Decoder_Message("start_of_slice(): MBAinc unsuccessful\n");
    return 0;
  }
  int row = static_cast<int>(code & 0xFF) + extension * 128 - 1;
  ctx.address = row * d.mb_width + increment - 1;
  ctx.increment = 1;
  ctx.dc_dct_pred[0] = ctx.dc_dct_pred[1] = ctx.dc_dct_pred[2] = 0;
  for (auto& r : ctx.PMV) {
    for (auto& s : r) s[0] = s[1] = 0;
  }
  return 1;
}

int Decode_Slice(int macroblock_count) {
  DecoderState& d = decoder_state;
  MacroblockContext ctx{};
  int started = start_of_slice(ctx);
  if (started != 1) return started;
  d.decode_error = 0;
  if (ctx.address >= macroblock_count) return -1;
  for (;;) {
    if (ctx.increment == 0) {
      if (Peek_Bits(23) == 0 || d.decode_error) break;  // a start code follows
      ctx.increment = Read_macroblock_address_increment();
      if (d.decode_error) break;
    }
    if (ctx.address >= macroblock_count) {
      Decoder_Message("Too many macroblocks in picture\n");
      return -1;
    }
    if (ctx.increment == 1) {
      if (!Read_Macroblock(ctx)) break;
    } else {
      Fill_Skipped_Macroblock(ctx);
    }
    Reconstruct_Macroblock(ctx);
    ctx.address += 1;
    ctx.increment -= 1;
    if (ctx.address == macroblock_count) return -1;
  }
  // The rest of the slice is skipped by the next start code search.
  d.decode_error = 0;
  return 0;
}

void Decode_Picture_Slices() {
  DecoderState& d = decoder_state;
  d.macroblock_count = d.mb_width * d.mb_height;
  if (d.picture_structure != FRAME_PICTURE) d.macroblock_count >>= 1;
  while (Decode_Slice(d.macroblock_count) == 0) {
  }
}

}  // namespace

void Decode_Coded_Picture() {
  DecoderState& d = decoder_state;
  if (d.picture_structure == FRAME_PICTURE && d.in_second_field) d.in_second_field = 0;
  Select_Decode_Target();
  Decode_Picture_Slices();
  if (d.picture_coding_type == I_PICTURE || d.picture_coding_type == P_PICTURE) {
    d.newer_reference_valid = 1;
  }
  Update_Reference_Progressive();
  if (d.picture_structure != FRAME_PICTURE) d.in_second_field = !d.in_second_field;
}
