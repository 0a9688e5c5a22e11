#include "decoder/picture.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "decoder/bit_reader.h"
#include "decoder/diagnostics.h"
#include "decoder/headers.h"
#include "decoder/macroblock.h"
#include "decoder/prediction.h"
#include "decoder/reconstruct.h"
#include "decoder/start_codes.h"
#include "decoder/vlc.h"

namespace {

// The time stamp the decoded frame is shown with: the first field's, and
// how many fields the frame lasts.
FrameStamp Frame_Stamp() {
  const DecoderState& d = decoder_state;
  FrameStamp stamp = d.picture_stamp;
  stamp.fields = 2;
  if (d.picture_structure == FRAME_PICTURE && d.repeat_first_field) {
    stamp.fields = !d.progressive_sequence ? 3 : d.top_field_first ? 6 : 4;
  }
  return stamp;
}

void Select_Decode_Target() {
  DecoderState& d = decoder_state;
  if (d.picture_coding_type != B_PICTURE && !d.in_second_field) {
    // The previous newer reference becomes the source of forward prediction;
    // the store of the older one is reused for the new picture.
    std::swap(d.older_reference, d.newer_reference);
    std::swap(d.older_reference_valid, d.newer_reference_valid);
    d.older_reference_stamp = d.newer_reference_stamp;
    d.newer_reference_stamp = Frame_Stamp();
  } else if (d.picture_coding_type == B_PICTURE && !d.in_second_field) {
    d.b_picture_stamp = Frame_Stamp();
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
  if (code < FIRST_SLICE_START_CODE || code > LAST_SLICE_START_CODE) {
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
  const int row = static_cast<int>(code & 0xFF) + extension * 128 - 1;
  ctx.address = row * d.mb_width + increment - 1;
  // An increment may reach into the rows below (MPEG-1 slices span rows).
  ctx.column = d.mb_width > 0 ? ctx.address % d.mb_width : 0;
  ctx.row = d.mb_width > 0 ? ctx.address / d.mb_width : 0;
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
    d.macroblock_decoded[ctx.address] = 1;
    ctx.address += 1;
    if (++ctx.column == d.mb_width) {
      ctx.column = 0;
      ctx.row += 1;
    }
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
  std::memset(d.macroblock_decoded, 0, static_cast<size_t>(d.macroblock_count));
  Prepare_Block_Layout();
  Prepare_Prediction_Walks();
  while (Decode_Slice(d.macroblock_count) == 0) {
  }
}

// The picture that macroblocks no slice reached are taken from: the nearest
// reference in display order, i.e. the forward reference of a P or B picture,
// or the backward one of a B picture without a forward reference (a closed
// group's leading B pictures at the start). None for an I picture.
const FrameStore* Concealment_Source() {
  const DecoderState& d = decoder_state;
  if (d.picture_coding_type != P_PICTURE && d.picture_coding_type != B_PICTURE) return nullptr;
  if (d.older_reference_valid) return &d.older_reference;
  if (d.picture_coding_type == B_PICTURE && d.newer_reference_valid) return &d.newer_reference;
  return nullptr;
}

// Copies the area of macroblock `address` of the picture being decoded (a
// frame, or the lines of one field) from `source` into decode_target.
void Copy_Macroblock(const FrameStore& source, int address) {
  const DecoderState& d = decoder_state;
  const bool field_picture = d.picture_structure != FRAME_PICTURE;
  const int line_step = field_picture ? 2 : 1;
  const int bottom = d.picture_structure == BOTTOM_FIELD ? 1 : 0;
  const int x = 16 * (address % d.mb_width);
  const int y = 16 * (address / d.mb_width);
  for (int p = 0; p < 3; ++p) {
    const std::ptrdiff_t stride = p == 0 ? d.coded_width : d.chroma_width;
    const int width = p == 0 || d.chroma_width >= d.coded_width ? 16 : 8;
    const int height = p == 0 || d.chroma_height >= d.coded_height ? 16 : 8;
    const int px = x * width / 16;
    const int py = y * height / 16;
    // decode_target already points at a bottom field's first line.
    const uint8_t* from = source.plane[p] + bottom * stride;
    uint8_t* to = d.decode_target.plane[p];
    for (int r = 0; r < height; ++r) {
      const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(py + r) * line_step * stride + px;
      std::memcpy(to + offset, from + offset, static_cast<size_t>(width));
    }
  }
}

// Damaged or cut pictures: every macroblock no slice reached shows the
// nearest reference instead of what the store held before (a picture two
// references back). A picture without a reference keeps the store's content.
void Conceal_Missing_Macroblocks() {
  const DecoderState& d = decoder_state;
  const FrameStore* source = Concealment_Source();
  if (source == nullptr) return;
  for (int address = 0; address < d.macroblock_count; ++address) {
    if (!d.macroblock_decoded[address]) Copy_Macroblock(*source, address);
  }
}

}  // namespace

void Decode_Coded_Picture() {
  DecoderState& d = decoder_state;
  if (d.picture_structure == FRAME_PICTURE && d.in_second_field) d.in_second_field = 0;
  if (d.picture_structure == FRAME_PICTURE) {
    d.frame_top_field_first = d.top_field_first;
  } else if (!d.in_second_field) {
    d.frame_top_field_first = d.picture_structure == TOP_FIELD;
  }
  Select_Decode_Target();
  Decode_Picture_Slices();
  Conceal_Missing_Macroblocks();
  if (d.picture_coding_type == I_PICTURE || d.picture_coding_type == P_PICTURE) {
    d.newer_reference_valid = 1;
  }
  Update_Reference_Progressive();
  if (d.picture_structure != FRAME_PICTURE) d.in_second_field = !d.in_second_field;
}
