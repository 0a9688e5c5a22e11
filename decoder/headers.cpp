#include "decoder/headers.h"

#include "decoder/bit_reader.h"
#include "decoder/coefficients.h"
#include "decoder/decoder.h"
#include "decoder/diagnostics.h"
#include "decoder/input.h"
#include "decoder/start_codes.h"
#include "decoder/tables.h"

namespace {

constexpr int SEQUENCE_EXTENSION_ID = 1;
constexpr int SEQUENCE_DISPLAY_EXTENSION_ID = 2;

int Read_Int(int bits) {
  return static_cast<int>(Read_Bits(bits));
}

// 64 values of 8 bits in zig-zag order into a matrix in natural order.
void Read_Quantiser_Matrix(int matrix[64]) {
  for (int k = 0; k < 64; ++k) matrix[scan_tables[0][k]] = Read_Int(8);
}

// extra_bit / extra_information loops; returns the number of bytes skipped.
int Skip_Extra_Information() {
  int bytes = 0;
  while (Read_Bit() == 1) {
    Skip_Bits(8);
    ++bytes;
  }
  return bytes;
}

void Read_Sequence_Extension() {
  DecoderState& d = decoder_state;
  d.bitstream.is_mpeg2 = 1;
  Skip_Bits(8);  // profile_and_level_indication
  d.progressive_sequence = Read_Bit();
  d.chroma_format = Read_Int(2);
  d.horizontal_size = (d.horizontal_size & 0xFFF) | (Read_Int(2) << 12);
  d.vertical_size = (d.vertical_size & 0xFFF) | (Read_Int(2) << 12);
  Skip_Bits(12);  // bit_rate_extension
  Skip_Bits(1);   // marker_bit
  Skip_Bits(8);   // vbv_buffer_size_extension
  Skip_Bits(1);   // low_delay
  Skip_Bits(2);   // frame_rate_extension_n
  Skip_Bits(5);   // frame_rate_extension_d
}

void Read_Sequence_Display_Extension() {
  Skip_Bits(3);      // video_format
  if (Read_Bit()) {  // colour_description
    Skip_Bits(8);    // colour_primaries
    Skip_Bits(8);    // transfer_characteristics
    decoder_state.matrix_coefficients = Read_Int(8);
  }
  Skip_Bits(14);  // display_horizontal_size
  Skip_Bits(1);   // marker_bit
  Skip_Bits(14);  // display_vertical_size
}

void Read_Quant_Matrix_Extension() {
  BitstreamState& bs = decoder_state.bitstream;
  bs.load_intra_quantiser_matrix = Read_Bit();
  if (bs.load_intra_quantiser_matrix) {
    Read_Quantiser_Matrix(bs.intra_quantiser_matrix);
    for (int i = 0; i < 64; ++i) bs.chroma_intra_quantiser_matrix[i] = bs.intra_quantiser_matrix[i];
  }
  bs.load_non_intra_quantiser_matrix = Read_Bit();
  if (bs.load_non_intra_quantiser_matrix) {
    Read_Quantiser_Matrix(bs.non_intra_quantiser_matrix);
    for (int i = 0; i < 64; ++i) {
      bs.chroma_non_intra_quantiser_matrix[i] = bs.non_intra_quantiser_matrix[i];
    }
  }
  bs.load_chroma_intra_quantiser_matrix = Read_Bit();
  if (bs.load_chroma_intra_quantiser_matrix) {
    Read_Quantiser_Matrix(bs.chroma_intra_quantiser_matrix);
  }
  bs.load_chroma_non_intra_quantiser_matrix = Read_Bit();
  if (bs.load_chroma_non_intra_quantiser_matrix) {
    Read_Quantiser_Matrix(bs.chroma_non_intra_quantiser_matrix);
  }
  Weighting_Matrices_Changed();
}

void Read_Copyright_Extension() {
  Skip_Bits(1);   // copyright_flag
  Skip_Bits(8);   // copyright_identifier
  Skip_Bits(1);   // original_or_copy
  Skip_Bits(7);   // reserved
  Skip_Bits(1);   // marker_bit
  Skip_Bits(20);  // copyright_number_1
  Skip_Bits(1);   // marker_bit
  Skip_Bits(22);  // copyright_number_2
  Skip_Bits(1);   // marker_bit
  Skip_Bits(22);  // copyright_number_3
}

void Read_Picture_Display_Extension() {
  const DecoderState& d = decoder_state;
  int offsets;
  if (d.progressive_sequence) {
    if (d.repeat_first_field) {
      offsets = d.top_field_first ? 3 : 2;
    } else {
      offsets = 1;
    }
  } else if (d.picture_structure != FRAME_PICTURE) {
    offsets = 1;
  } else {
    offsets = d.repeat_first_field ? 3 : 2;
  }
  for (int i = 0; i < offsets; ++i) {
    Skip_Bits(16);  // frame_centre_horizontal_offset
    Skip_Bits(1);   // marker_bit
    Skip_Bits(16);  // frame_centre_vertical_offset
    Skip_Bits(1);   // marker_bit
  }
}

void Read_Picture_Coding_Extension() {
  DecoderState& d = decoder_state;
  d.f_code[0][0] = Read_Int(4);
  d.f_code[0][1] = Read_Int(4);
  d.f_code[1][0] = Read_Int(4);
  d.f_code[1][1] = Read_Int(4);
  d.intra_dc_precision = Read_Int(2);
  d.picture_structure = Read_Int(2);
  d.top_field_first = Read_Bit();
  d.frame_pred_frame_dct = Read_Bit();
  d.concealment_motion_vectors = Read_Bit();
  d.bitstream.q_scale_type = Read_Bit();
  d.intra_vlc_format = Read_Bit();
  d.bitstream.alternate_scan = Read_Bit();
  d.repeat_first_field = Read_Bit();
  Skip_Bits(1);  // chroma_420_type
  d.progressive_frame = Read_Bit();
  if (Read_Bit()) {  // composite_display_flag
    Skip_Bits(1);    // v_axis
    Skip_Bits(3);    // field_sequence
    Skip_Bits(1);    // sub_carrier
    Skip_Bits(7);    // burst_amplitude
    Skip_Bits(8);    // sub_carrier_phase
  }
}

// Extensions and user data after a sequence, group or picture header; their
// position is not verified. Leaves the next other start code unread and
// returns the set of extension identifiers met (bit 1 << id).
unsigned Read_Extensions_And_User_Data() {
  unsigned seen = 0;
  for (;;) {
    next_start_code();
    uint32_t code = Peek_Bits(32);
    if (code == EXTENSION_START_CODE) {
      Skip_Bits32();
      int id = Read_Int(4);
      seen |= 1u << id;
      switch (id) {
        case SEQUENCE_EXTENSION_ID:
          Read_Sequence_Extension();
          break;
        case SEQUENCE_DISPLAY_EXTENSION_ID:
          Read_Sequence_Display_Extension();
          break;
        case 3:
          Read_Quant_Matrix_Extension();
          break;
        case 4:
          Read_Copyright_Extension();
          break;
        case 5:   // sequence_scalable_extension
        case 9:   // picture_spatial_scalable_extension
        case 10:  // picture_temporal_scalable_extension
          break;  // skipped by the next start code search
        case 7:
          Read_Picture_Display_Extension();
          break;
        case 8:
          Read_Picture_Coding_Extension();
          break;
        default:
          Decoder_Message_Always("reserved extension start code ID %d\n", id);
          break;
      }
    } else if (code == USER_DATA_START_CODE) {
      Skip_Bits32();  // the user data is skipped by the next search
    } else {
      return seen;
    }
  }
}

// A sequence without a sequence extension is MPEG-1: its pictures are
// progressive 4:2:0 frames, and nothing of an earlier MPEG-2 sequence's
// picture extensions may stay in force.
void Use_MPEG1_Parameters() {
  DecoderState& d = decoder_state;
  d.progressive_sequence = 1;
  d.chroma_format = CHROMA_420;
  d.matrix_coefficients = 5;
  d.picture_structure = FRAME_PICTURE;
  d.frame_pred_frame_dct = 1;
  d.progressive_frame = 1;
  d.top_field_first = 0;
  d.repeat_first_field = 0;
  d.concealment_motion_vectors = 0;
  d.intra_dc_precision = 0;
  d.intra_vlc_format = 0;
  d.bitstream.q_scale_type = 0;
  d.bitstream.alternate_scan = 0;
}

void Read_Sequence_Header() {
  DecoderState& d = decoder_state;
  BitstreamState& bs = d.bitstream;
  d.horizontal_size = Read_Int(12);
  d.vertical_size = Read_Int(12);
  d.aspect_ratio_information = Read_Int(4);
  d.frame_rate_code = Read_Int(4);
  Skip_Bits(18);  // bit_rate_value
  Skip_Bits(1);   // marker_bit
  Skip_Bits(10);  // vbv_buffer_size_value
  Skip_Bits(1);   // constrained_parameters_flag
  bs.load_intra_quantiser_matrix = Read_Bit();
  if (bs.load_intra_quantiser_matrix) {
    Read_Quantiser_Matrix(bs.intra_quantiser_matrix);
  } else {
    for (int i = 0; i < 64; ++i) bs.intra_quantiser_matrix[i] = default_intra_quantiser_matrix[i];
  }
  bs.load_non_intra_quantiser_matrix = Read_Bit();
  if (bs.load_non_intra_quantiser_matrix) {
    Read_Quantiser_Matrix(bs.non_intra_quantiser_matrix);
  } else {
    for (int i = 0; i < 64; ++i) bs.non_intra_quantiser_matrix[i] = 16;
  }
  for (int i = 0; i < 64; ++i) {
    bs.chroma_intra_quantiser_matrix[i] = bs.intra_quantiser_matrix[i];
    bs.chroma_non_intra_quantiser_matrix[i] = bs.non_intra_quantiser_matrix[i];
  }
  Weighting_Matrices_Changed();
  // The syntax is decided anew at every sequence header: files of both kinds
  // may follow each other in one input.
  const int was_mpeg2 = bs.is_mpeg2;
  bs.is_mpeg2 = 0;
  const unsigned extensions = Read_Extensions_And_User_Data();
  if (!bs.is_mpeg2) {
    Use_MPEG1_Parameters();
  } else if (!was_mpeg2 && !(extensions & (1u << SEQUENCE_DISPLAY_EXTENSION_ID))) {
    d.matrix_coefficients = 0;  // no colour description: the MPEG-2 default
  }
  if (d.frame_stores_allocated && bs.is_mpeg2 != was_mpeg2) Select_Colour_Coefficients();
}

void Read_Group_Header() {
  Skip_Bits(1);  // drop_frame_flag
  Skip_Bits(5);  // time_code_hours
  Skip_Bits(6);  // time_code_minutes
  Skip_Bits(1);  // marker_bit
  Skip_Bits(6);  // time_code_seconds
  Skip_Bits(6);  // time_code_pictures
  decoder_state.closed_gop = Read_Bit();
  Skip_Bits(1);  // broken_link
  Read_Extensions_And_User_Data();
}

void Read_Picture_Header() {
  DecoderState& d = decoder_state;
  Skip_Bits(10);  // temporal_reference
  d.picture_coding_type = Read_Int(3);
  Skip_Bits(16);  // vbv_delay
  if (d.picture_coding_type == P_PICTURE || d.picture_coding_type == B_PICTURE) {
    d.full_pel_forward_vector = Read_Bit();
    d.forward_f_code = Read_Int(3);
  }
  if (d.picture_coding_type == B_PICTURE) {
    d.full_pel_backward_vector = Read_Bit();
    d.backward_f_code = Read_Int(3);
  }
  Skip_Extra_Information();
  Read_Extensions_And_User_Data();
}

bool Picture_Is_Decodable() {
  const DecoderState& d = decoder_state;
  // A field picture needs an even number of macroblock rows (an interlaced
  // sequence always has one); picture_structure 0 is reserved.
  if (d.picture_structure == 0) return false;
  if (d.picture_structure != FRAME_PICTURE && (d.mb_height & 1) != 0) return false;
  switch (d.picture_coding_type) {
    case I_PICTURE:
      return true;
    case P_PICTURE:
      return d.newer_reference_valid != 0;
    case B_PICTURE:
      // The B pictures of a closed group that come before its first P
      // picture predict from the group's I picture only, so a stream that
      // starts with a closed group shows them too.
      return d.newer_reference_valid != 0 && (d.older_reference_valid != 0 || d.closed_gop != 0);
    default:
      return false;  // D pictures and the invalid types
  }
}

// The frame stores keep the geometry of the first sequence header. A header
// or extension that changes it ends the stream; the values are restored so
// that nothing is decoded with a geometry the stores were not made for.
bool Geometry_Changed() {
  DecoderState& d = decoder_state;
  if (!d.frame_stores_allocated) return false;
  if (d.horizontal_size == d.allocated_horizontal_size &&
      d.vertical_size == d.allocated_vertical_size &&
      d.chroma_format == d.allocated_chroma_format) {
    return false;
  }
  Decoder_Message("Picture size or chroma format changed: the stream ends here\n");
  d.horizontal_size = d.allocated_horizontal_size;
  d.vertical_size = d.allocated_vertical_size;
  d.chroma_format = d.allocated_chroma_format;
  return true;
}

// The first sequence header must describe a picture the decoder can hold.
bool Sequence_Is_Decodable() {
  const DecoderState& d = decoder_state;
  if (d.horizontal_size == 0 || d.vertical_size == 0) return false;
  if (d.bitstream.is_mpeg2 && d.chroma_format == 0) return false;
  return true;
}

}  // namespace

int Seek_Next_Picture() {
  DecoderState& d = decoder_state;
  for (;;) {
    next_start_code();
    if (Peek_Bits(32) == PICTURE_START_CODE) d.picture_stamp = Take_Picture_Stamp();
    uint32_t code = Read_Start_Code();
    switch (code) {
      case PICTURE_START_CODE:
        Read_Picture_Header();
        if (Geometry_Changed()) return DECODER_END_OF_SEQUENCE;
        if (d.frame_stores_allocated && Picture_Is_Decodable()) return DECODER_OK;
        break;
      case SEQUENCE_HEADER_CODE:
        Read_Sequence_Header();
        if (Geometry_Changed()) return DECODER_END_OF_SEQUENCE;
        if (!d.frame_stores_allocated) {
          if (!Sequence_Is_Decodable()) return DECODER_UNKNOWN_STREAM;
          if (Allocate_Frame_Stores() != 0) return DECODER_NO_MEMORY;
        }
        break;
      case SEQUENCE_END_CODE:
        return DECODER_END_OF_SEQUENCE;
      case GROUP_START_CODE:
        Read_Group_Header();
        if (Geometry_Changed()) return DECODER_END_OF_SEQUENCE;
        break;
      default:
        break;  // slices of skipped pictures, stray extensions, system codes
    }
  }
}

int Read_Slice_Header() {
  DecoderState& d = decoder_state;
  int extension = 0;
  if (d.bitstream.is_mpeg2 && d.vertical_size > 2800) extension = Read_Int(3);
  d.bitstream.quantiser_scale = Quantiser_Scale_From_Code(Read_Int(5));
  if (Read_Bit()) {  // intra_slice_flag (MPEG-1: the first extra_bit_slice)
    d.bitstream.intra_slice = Read_Bit();
    Skip_Bits(1);
    Skip_Bits(6);
    Skip_Extra_Information();
  } else {
    d.bitstream.intra_slice = 0;
  }
  return extension;
}
