#include "convert/picture_output.h"

#include <cstddef>

#include "convert/row_kernels.h"
#include "decoder/decoder.h"
#include "decoder/decoder_state.h"

// The chroma layout follows allocated_chroma_format, the format the stores and
// upsampling buffers were sized for: a later sequence header cannot make this
// stage read or write outside them.

int Select_Output_Picture(int flush, FrameStamp* stamp) {
  FrameStore store{};
  int progressive_frame = 0;
  if (!Display_Store(flush, &store, &progressive_frame, stamp)) return 1;

  DecoderState& ds = decoder_state;
  const bool progressive = progressive_frame != 0 || ds.progressive_sequence != 0;
  ds.output_luma = store.plane[0];
  if (ds.allocated_chroma_format == CHROMA_422 || ds.allocated_chroma_format == CHROMA_444) {
    ds.output_cb = store.plane[1];
    ds.output_cr = store.plane[2];
  } else {
    Upsample_Chroma_420_To_422(store.plane[1], ds.cb_422_plane, ds.chroma_width, ds.chroma_height,
                               progressive);
    Upsample_Chroma_420_To_422(store.plane[2], ds.cr_422_plane, ds.chroma_width, ds.chroma_height,
                               progressive);
    ds.output_cb = ds.cb_422_plane;
    ds.output_cr = ds.cr_422_plane;
  }
  return 0;
}

OutputPicture Output_Picture() {
  const DecoderState& ds = decoder_state;
  OutputPicture picture;
  picture.luma = ds.output_luma;
  picture.cb = ds.output_cb;
  picture.cr = ds.output_cr;
  picture.width = ds.coded_width;
  picture.height = ds.coded_height;
  // output_cb/output_cr rows are chroma_width long in every layout (for
  // 4:4:4 chroma_width is coded_width).
  picture.chroma_width = ds.chroma_width;
  picture.chroma_444 = ds.allocated_chroma_format == CHROMA_444;
  picture.mpeg2 = ds.bitstream.is_mpeg2 != 0;
  picture.colour_coefficients = ds.colour_coefficients;
  return picture;
}

void Convert_Row_To_BGR(const OutputPicture& picture, uint8_t* const chroma_rows[2], uint8_t* dest,
                        int row) {
  const uint8_t* luma = picture.luma + static_cast<ptrdiff_t>(row) * picture.width;
  const uint8_t* cb = picture.cb + static_cast<ptrdiff_t>(row) * picture.chroma_width;
  const uint8_t* cr = picture.cr + static_cast<ptrdiff_t>(row) * picture.chroma_width;
  if (!picture.chroma_444) {
    Upsample_Chroma_422_To_444(cb, chroma_rows[0], picture.chroma_width, picture.mpeg2);
    Upsample_Chroma_422_To_444(cr, chroma_rows[1], picture.chroma_width, picture.mpeg2);
    cb = chroma_rows[0];
    cr = chroma_rows[1];
  }
  colour_convert_kernels.yuv_to_bgr_row(dest, luma, cb, cr, picture.width,
                                        picture.colour_coefficients);
}

void Upsample_Chroma_420_To_422(const uint8_t* in, uint8_t* out, int width, int height,
                                bool progressive) {
  // Field-wise filtering needs both fields whole; coded interlaced pictures
  // always have an even chroma height.
  if (progressive || height < 2 || height % 2 != 0) {
    chroma_upsample_kernels.vertical_420_to_422_progressive(in, out, width, height);
  } else {
    chroma_upsample_kernels.vertical_420_to_422_fieldwise(in, out, width, height);
  }
}

void Upsample_Chroma_422_To_444(const uint8_t* in, uint8_t* out, int count, bool mpeg2) {
  if (mpeg2) {
    chroma_upsample_kernels.horizontal_422_to_444_mpeg2(in, out, count);
  } else {
    chroma_upsample_kernels.horizontal_422_to_444_mpeg1(in, out, count);
  }
}
