#include "decoder/decoder.h"

#include <initializer_list>

#include "decoder/audio_packets.h"
#include "decoder/bit_reader.h"
#include "decoder/file_chain.h"
#include "decoder/headers.h"
#include "decoder/huge_pages.h"
#include "decoder/input.h"
#include "decoder/picture.h"
#include "decoder/start_codes.h"
#include "decoder/survey.h"
#include "decoder/tables.h"

namespace {

// The audio streams the survey at open found.
std::vector<SurveyedAudio> surveyed_audio;

// The whole record starts from zero at every open (nothing is carried over
// from an earlier stream); picture parameters start at their frame-picture
// values for streams whose pictures lack a coding extension.
void Reset_Decoder_State() {
  decoder_state = DecoderState{};
  DecoderState& d = decoder_state;
  d.picture_structure = FRAME_PICTURE;
  d.frame_pred_frame_dct = 1;
  d.progressive_frame = 1;
  d.progressive_sequence = 1;
  d.chroma_format = CHROMA_420;
  d.audio_stream = -1;
  surveyed_audio.clear();
}

// The stream kind from the first file's own bytes (a short first file is not
// probed with the bytes of the next): 0 elementary, 1 program stream, or a
// DecoderResult > 1. Decoding starts at the first start code found.
int Probe_Stream_Kind() {
  const InputProbe probe = Probe_Input();
  if (probe.first_byte == TRANSPORT_SYNC_BYTE) return DECODER_TRANSPORT_STREAM;
  if (probe.first_start_code == SEQUENCE_HEADER_CODE) return 0;
  if (probe.first_start_code == PACK_START_CODE || probe.first_start_code == VIDEO_STREAM_0_CODE) {
    return 1;
  }
  return DECODER_UNKNOWN_STREAM;
}

// The fenced-off gap after each frame-store plane. Planes are whole
// macroblocks (multiples of 64 bytes), so every plane stays 64-byte aligned.
constexpr size_t PLANE_GAP = 64;

}  // namespace

int Decoder_Open(const char* const* paths) {
  Decoder_Close();
  Reset_Decoder_State();
  DecoderState& d = decoder_state;
  if (paths == nullptr || paths[0] == nullptr) return DECODER_FILE_ERROR;
  // Every input must be there and readable as a stream now: a directory or a
  // device in the list is refused instead of ending the input where it is met.
  for (const char* const* path = paths; *path != nullptr; ++path) {
    if (!Input_Path_Is_Usable(*path)) return DECODER_FILE_ERROR;
  }
  d.input_file = Open_Input_File(paths[0]);
  if (d.input_file == nullptr) return DECODER_FILE_ERROR;
  d.file_list = paths;

  const int kind = Probe_Stream_Kind();
  if (kind > 1) {
    Decoder_Close();
    return kind;
  }
  d.stream_is_multiplexed = kind;
  StreamSurvey survey = Survey_Stream(Peek_Input_Ahead(SURVEY_BYTES), kind == 1);
  d.pulldown_cadence = Has_Pulldown_Cadence(survey.pictures);
  surveyed_audio = std::move(survey.audio);
  if (kind == 1) Keep_Audio_Packets();  // priming the input may meet some already
  Reset_Input();
  d.messages_off = 0;

  int result = Decoder_Next_Picture();
  if (result != DECODER_OK) Decoder_Close();
  return result;
}

int Decoder_Next_Picture() {
  DecoderState& d = decoder_state;
  d.in_second_field = 0;
  int result = Seek_Next_Picture();
  if (result != DECODER_OK) return result;
  Decode_Coded_Picture();
  if (d.in_second_field) {
    // A first field was decoded: its partner belongs to the same frame.
    result = Seek_Next_Picture();
    if (result == DECODER_OK) Decode_Coded_Picture();
  }
  return result;
}

void Decoder_Close() {
  DecoderState& d = decoder_state;
  Release_Audio_Packets();
  Free_Frame_Stores();
  if (d.input_file != nullptr) std::fclose(d.input_file);
  d.input_file = nullptr;
}

int Decoder_Horizontal_Size() {
  return decoder_state.horizontal_size;
}
int Decoder_Vertical_Size() {
  return decoder_state.vertical_size;
}
int Decoder_Coded_Width() {
  return decoder_state.coded_width;
}
int Decoder_Coded_Height() {
  return decoder_state.coded_height;
}
int Decoder_Progressive_Sequence() {
  return decoder_state.progressive_sequence;
}
int Decoder_Frame_Rate_Code() {
  return decoder_state.frame_rate_code;
}
int Decoder_Aspect_Ratio_Code() {
  return decoder_state.aspect_ratio_information;
}
int Decoder_Chroma_Format() {
  return decoder_state.chroma_format;
}
int Decoder_Is_MPEG2() {
  return decoder_state.bitstream.is_mpeg2;
}
int Decoder_Stream_Is_Multiplexed() {
  return decoder_state.stream_is_multiplexed;
}
void Decoder_Select_Audio(int stream, AudioPesSink sink, void* context) {
  Select_Audio_Stream(stream, sink, context);
}

const std::vector<SurveyedAudio>& Decoder_Audio_Streams() {
  return surveyed_audio;
}

int Decoder_Pulldown_Cadence() {
  return decoder_state.pulldown_cadence;
}
int Decoder_Current_File() {
  return decoder_state.current_file_index;
}
int Decoder_Kilobytes_Read() {
  return decoder_state.kilobytes_read;
}

bool Display_Store(int flush, FrameStore* store, int* progressive, FrameStamp* stamp) {
  const DecoderState& d = decoder_state;
  FrameStamp shown;
  if (!flush) {
    if (d.picture_coding_type == B_PICTURE) {
      *store = d.b_picture_store;
      *progressive = d.progressive_frame;
      shown = d.b_picture_stamp;
    } else {
      *store = d.older_reference;
      *progressive = d.older_reference_progressive;
      shown = d.older_reference_stamp;
    }
  } else {
    if (!d.newer_reference_valid) return false;
    *store = d.newer_reference;
    *progressive = d.newer_reference_progressive;
    shown = d.newer_reference_stamp;
  }
  if (stamp != nullptr) *stamp = shown;
  return true;
}

void Select_Colour_Coefficients() {
  DecoderState& d = decoder_state;
  // Reserved matrix_coefficients values have no row: they use "unspecified".
  const int matrix = d.matrix_coefficients;
  d.colour_coefficients = colour_table[matrix >= 0 && matrix < 8 ? matrix : 2];
}

int Allocate_Frame_Stores() {
  DecoderState& d = decoder_state;
  d.frame_stores_allocated = 1;
  Select_Colour_Coefficients();

  d.mb_width = (d.horizontal_size + 15) / 16;
  if (d.bitstream.is_mpeg2 && !d.progressive_sequence) {
    d.mb_height = 2 * ((d.vertical_size + 31) / 32);
  } else {
    d.mb_height = (d.vertical_size + 15) / 16;
  }
  d.coded_width = 16 * d.mb_width;
  d.coded_height = 16 * d.mb_height;
  d.chroma_width = d.chroma_format == CHROMA_444 ? d.coded_width : d.coded_width / 2;
  d.chroma_height = d.chroma_format == CHROMA_420 ? d.coded_height / 2 : d.coded_height;
  d.blocks_per_macroblock = d.chroma_format == CHROMA_420   ? 6
                            : d.chroma_format == CHROMA_422 ? 8
                                                            : 12;
  d.allocated_horizontal_size = d.horizontal_size;
  d.allocated_vertical_size = d.vertical_size;
  d.allocated_chroma_format = d.chroma_format;

  const size_t luma_bytes =
      static_cast<size_t>(d.coded_width) * static_cast<size_t>(d.coded_height);
  const size_t chroma_bytes =
      static_cast<size_t>(d.chroma_width) * static_cast<size_t>(d.chroma_height);
  const size_t map_bytes = static_cast<size_t>(d.mb_width) * static_cast<size_t>(d.mb_height);
  // One region for all, in huge pages: prediction reads the reference
  // frames all over. It reads as zeros, so a picture shown before anything
  // was decoded into its store (damaged streams) is defined. Each plane is
  // followed by a fenced-off gap, so that the sanitized builds report a
  // write past its end.
  const size_t luma_room = luma_bytes + PLANE_GAP;
  const size_t chroma_room = chroma_bytes + PLANE_GAP;
  d.frame_store_bytes = 3 * (luma_room + 2 * chroma_room) + map_bytes;
  uint8_t* next = Map_Huge_Pages(d.frame_store_bytes);
  if (next == nullptr) {
    d.frame_store_bytes = 0;
    d.frame_stores_allocated = 0;
    return 1;
  }
  d.frame_store_memory = next;
  for (FrameStore* store : {&d.newer_reference, &d.older_reference, &d.b_picture_store}) {
    for (int plane = 0; plane < 3; ++plane) {
      const size_t bytes = plane == 0 ? luma_bytes : chroma_bytes;
      const size_t room = plane == 0 ? luma_room : chroma_room;
      store->plane[plane] = next;
      Fence_Off(next + bytes, room - bytes);
      next += room;
    }
  }
  d.macroblock_decoded = next;
  d.newer_reference_valid = 0;
  d.older_reference_valid = 0;
  return 0;
}

void Free_Frame_Stores() {
  DecoderState& d = decoder_state;
  if (!d.frame_stores_allocated) return;
  Unmap_Huge_Pages(d.frame_store_memory, d.frame_store_bytes);
  d.frame_store_memory = nullptr;
  d.frame_store_bytes = 0;
  for (FrameStore* store : {&d.newer_reference, &d.older_reference, &d.b_picture_store}) {
    for (uint8_t*& plane : store->plane) plane = nullptr;
  }
  d.macroblock_decoded = nullptr;
  d.newer_reference_valid = 0;
  d.older_reference_valid = 0;
  d.frame_stores_allocated = 0;
}
