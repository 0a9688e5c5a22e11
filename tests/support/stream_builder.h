// Composes the headers of small MPEG video streams for the decoder's tests.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/synth/bit_writer.h"

struct SequenceParams {
  int horizontal_size = 32;
  int vertical_size = 32;
  int aspect_ratio_information = 2;
  int frame_rate_code = 3;
  const uint8_t* intra_matrix = nullptr;      // 64 values in zig-zag order, or none
  const uint8_t* non_intra_matrix = nullptr;  // likewise
};

struct SequenceExtensionParams {
  int progressive_sequence = 1;
  int chroma_format = 1;
  int horizontal_size_extension = 0;
  int vertical_size_extension = 0;
};

struct PictureCodingParams {
  int f_code[2][2] = {{15, 15}, {15, 15}};
  int intra_dc_precision = 0;
  int picture_structure = 3;
  int top_field_first = 1;
  int frame_pred_frame_dct = 1;
  int concealment_motion_vectors = 0;
  int q_scale_type = 0;
  int intra_vlc_format = 0;
  int alternate_scan = 0;
  int repeat_first_field = 0;
  int progressive_frame = 1;
};

inline void Write_Sequence_Header(BitWriter& w, const SequenceParams& p) {
  w.StartCode(0xB3);
  w.Put(static_cast<uint32_t>(p.horizontal_size), 12);
  w.Put(static_cast<uint32_t>(p.vertical_size), 12);
  w.Put(static_cast<uint32_t>(p.aspect_ratio_information), 4);
  w.Put(static_cast<uint32_t>(p.frame_rate_code), 4);
  w.Put(0x3FFFF, 18);  // bit_rate_value
  w.Put(1, 1);         // marker_bit
  w.Put(20, 10);       // vbv_buffer_size_value
  w.Put(0, 1);         // constrained_parameters_flag
  for (const uint8_t* matrix : {p.intra_matrix, p.non_intra_matrix}) {
    w.Put(matrix != nullptr, 1);
    if (matrix != nullptr) {
      for (int i = 0; i < 64; ++i) w.Put(matrix[i], 8);
    }
  }
}

inline void Write_Sequence_Extension(BitWriter& w, const SequenceExtensionParams& p) {
  w.StartCode(0xB5);
  w.Put(1, 4);     // extension_start_code_identifier
  w.Put(0x48, 8);  // profile_and_level_indication: Main@Main
  w.Put(static_cast<uint32_t>(p.progressive_sequence), 1);
  w.Put(static_cast<uint32_t>(p.chroma_format), 2);
  w.Put(static_cast<uint32_t>(p.horizontal_size_extension), 2);
  w.Put(static_cast<uint32_t>(p.vertical_size_extension), 2);
  w.Put(0, 12);  // bit_rate_extension
  w.Put(1, 1);   // marker_bit
  w.Put(0, 8);   // vbv_buffer_size_extension
  w.Put(0, 1);   // low_delay
  w.Put(0, 2);   // frame_rate_extension_n
  w.Put(0, 5);   // frame_rate_extension_d
}

inline void Write_Group_Header(BitWriter& w, bool closed_gop = true) {
  w.StartCode(0xB8);
  w.Put(0, 25);  // time code with its marker
  w.Put(closed_gop, 1);
  w.Put(0, 1);  // broken_link
}

inline void Write_Picture_Header(BitWriter& w, int picture_coding_type) {
  w.StartCode(0x00);
  w.Put(0, 10);  // temporal_reference
  w.Put(static_cast<uint32_t>(picture_coding_type), 3);
  w.Put(0xFFFF, 16);  // vbv_delay
  if (picture_coding_type == 2 || picture_coding_type == 3) w.Put(0b0111, 4);
  if (picture_coding_type == 3) w.Put(0b0111, 4);
  w.Put(0, 1);  // extra_bit_picture
}

inline void Write_Picture_Coding_Extension(BitWriter& w, const PictureCodingParams& p) {
  w.StartCode(0xB5);
  w.Put(8, 4);
  for (const auto& s : p.f_code) {
    for (int f : s) w.Put(static_cast<uint32_t>(f), 4);
  }
  w.Put(static_cast<uint32_t>(p.intra_dc_precision), 2);
  w.Put(static_cast<uint32_t>(p.picture_structure), 2);
  w.Put(static_cast<uint32_t>(p.top_field_first), 1);
  w.Put(static_cast<uint32_t>(p.frame_pred_frame_dct), 1);
  w.Put(static_cast<uint32_t>(p.concealment_motion_vectors), 1);
  w.Put(static_cast<uint32_t>(p.q_scale_type), 1);
  w.Put(static_cast<uint32_t>(p.intra_vlc_format), 1);
  w.Put(static_cast<uint32_t>(p.alternate_scan), 1);
  w.Put(static_cast<uint32_t>(p.repeat_first_field), 1);
  w.Put(0, 1);  // chroma_420_type
  w.Put(static_cast<uint32_t>(p.progressive_frame), 1);
  w.Put(0, 1);  // composite_display_flag
}

// dct_dc_differential for the luma (chroma = false) or chroma DC of one
// block: the size code of Table B-12 or B-13, then the differential bits.
inline void Write_Dc_Differential(BitWriter& w, bool chroma, int differential) {
  static const char* const luma_sizes[12] = {"100",     "00",       "01",        "101",
                                             "110",     "1110",     "11110",     "111110",
                                             "1111110", "11111110", "111111110", "111111111"};
  static const char* const chroma_sizes[12] = {"00",       "01",        "10",         "110",
                                               "1110",     "11110",     "111110",     "1111110",
                                               "11111110", "111111110", "1111111110", "1111111111"};
  int magnitude = differential < 0 ? -differential : differential;
  int size = 0;
  while ((1 << size) <= magnitude) ++size;
  w.PutCode(chroma ? chroma_sizes[size] : luma_sizes[size]);
  if (size > 0) {
    int bits = differential > 0 ? differential : differential + (1 << size) - 1;
    w.Put(static_cast<uint32_t>(bits), size);
  }
}

// A slice whose macroblocks are all intra and flat: luma at `level`, chroma
// mid-grey (4:2:0, intra_dc_precision 0, MPEG-1 or MPEG-2 syntax with
// frame_pred_frame_dct 1). `row` is the slice's macroblock row (0-based).
inline void Write_Flat_Intra_Slice(BitWriter& w, int row, int macroblocks, int picture_coding_type,
                                   int level, bool vertical_extension = false) {
  w.StartCode(static_cast<uint8_t>((row % 128) + 1));
  if (vertical_extension) w.Put(static_cast<uint32_t>(row / 128), 3);
  w.Put(8, 5);  // quantiser_scale_code
  w.Put(0, 1);  // extra_bit_slice
  for (int mb = 0; mb < macroblocks; ++mb) {
    w.PutCode("1");  // macroblock_address_increment 1
    w.PutCode(picture_coding_type == 1 || picture_coding_type == 4 ? "1" : "00011");
    for (int block = 0; block < 6; ++block) {
      bool chroma = block >= 4;
      Write_Dc_Differential(w, chroma, mb == 0 && block == 0 ? level - 128 : 0);
      if (picture_coding_type != 4) w.PutCode("10");  // end_of_block
    }
    if (picture_coding_type == 4) w.PutCode("1");  // end_of_macroblock
  }
}

inline void Write_Sequence_End(BitWriter& w) {
  w.StartCode(0xB7);
}
