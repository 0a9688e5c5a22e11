// The one process-wide record of the MPEG decoder.
//
// The decoder is a set of plain functions over this record: one open stream
// per process, used by one thread at a time (the user-interface thread opens
// and closes it, the conversion worker decodes in between). Fields keep the
// syntax names of ISO/IEC 13818-2 where they have one. The record is laid out
// with the fields of the inner loops first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum DecoderResult : int {
  DECODER_OK = 0,
  DECODER_NO_MEMORY = 1,
  DECODER_END_OF_SEQUENCE = 2,
  DECODER_FILE_ERROR = 3,
  DECODER_TRANSPORT_STREAM = 4,
  DECODER_UNKNOWN_STREAM = 5,
};

// The largest quantiser_scale value (Table 7-6).
constexpr int MAX_QUANTISER_SCALE = 112;

// Size of the one input buffer through which all files are read.
constexpr int INPUT_BUFFER_SIZE = 4096;
// Bytes of the file chain that may be held ahead of the input buffer: the
// stream's first megabytes, which the survey at open looks at, and later more
// than the longest program-stream packet (6 + 65535 bytes) plus one read.
constexpr int SURVEY_BYTES = 4 * 1024 * 1024;
constexpr int READ_AHEAD_CAPACITY = SURVEY_BYTES + 128 * 1024;

// picture_coding_type values.
constexpr int I_PICTURE = 1;
constexpr int P_PICTURE = 2;
constexpr int B_PICTURE = 3;
constexpr int D_PICTURE = 4;

// picture_structure values.
constexpr int TOP_FIELD = 1;
constexpr int BOTTOM_FIELD = 2;
constexpr int FRAME_PICTURE = 3;

// chroma_format values.
constexpr int CHROMA_420 = 1;
constexpr int CHROMA_422 = 2;
constexpr int CHROMA_444 = 3;

// macroblock_type bits.
constexpr int MACROBLOCK_INTRA = 1;
constexpr int MACROBLOCK_PATTERN = 2;
constexpr int MACROBLOCK_MOTION_BACKWARD = 4;
constexpr int MACROBLOCK_MOTION_FORWARD = 8;
constexpr int MACROBLOCK_QUANT = 16;

// motion_type values (the two-bit code as read). In frame pictures 1 is field,
// 2 frame, 3 dual prime; in field pictures 1 is field, 2 16x8, 3 dual prime.
constexpr int MC_NONE = 0;
constexpr int MC_FIELD = 1;
constexpr int MC_FRAME = 2;
constexpr int MC_16X8 = 2;
constexpr int MC_DMV = 3;

// Three 8-bit planes Y, Cb, Cr of the coded picture size, row by row without
// margins; a frame holds both fields interleaved by line.
struct FrameStore {
  uint8_t* plane[3];
};

// The places of the blocks of a macroblock in the planes of the picture
// being decoded: block i lands at the macroblock's origin in plane
// plane[i], plus offset[i], with stride[i] bytes between its rows.
struct BlockLayout {
  std::ptrdiff_t row_bytes[3];  // per plane: from one macroblock row to the next
  int column_bytes[3];          // per plane: from one macroblock column to the next
  uint8_t plane[12];
  std::ptrdiff_t offset[12];
  int stride[12];
};

// How motion-compensated prediction walks the planes of the picture being
// decoded, per plane: from line 0 of the walk in the reference (this many
// bytes into its plane) and in decode_target, `pitch` bytes from line to
// line, over `lines` lines of the reference of `width` samples.
struct PlaneWalks {
  std::ptrdiff_t source_offset[3];
  uint8_t* destination[3];
  int pitch[3];
  int width[3];
  int lines[3];
};

// Cleared to all zero bits at every open.
struct BitstreamState {
  // Bit reader: the next unread bit is the most significant bit of
  // bit_window. After every operation 25 <= bit_count <= 32. The bits below
  // the bit_count valid ones are zero or already the stream's next bits.
  uint32_t bit_window;
  int bit_count;
  // Positions are indexes into input_buffer. Between operations
  // read_position <= INPUT_BUFFER_SIZE for the bit reader; the demultiplexer
  // may move it further when it skips data, and the excess is carried into
  // the following buffer loads. packet_end (program streams only) is the
  // position just after the current video packet's payload, in the same
  // coordinates, and may lie beyond the buffer end.
  int read_position;
  int packet_end;
  // Program streams: where the current video packet's payload starts, in
  // the same coordinates, and how many video bytes came before it.
  int payload_start;
  int64_t video_offset_of_payload;

  int quantiser_scale;  // the scale value, not the code
  int intra_slice;
  int is_mpeg2;  // set when a sequence_extension has been read
  int q_scale_type;
  int alternate_scan;

  alignas(32) int16_t coefficient_blocks[12][64];

  // Weighting matrices in natural (raster) order.
  int intra_quantiser_matrix[64];
  int non_intra_quantiser_matrix[64];
  int chroma_intra_quantiser_matrix[64];
  int chroma_non_intra_quantiser_matrix[64];
  int load_intra_quantiser_matrix;
  int load_non_intra_quantiser_matrix;
  int load_chroma_intra_quantiser_matrix;
  int load_chroma_non_intra_quantiser_matrix;

  uint8_t input_buffer[INPUT_BUFFER_SIZE];

  // The four weighting matrices above times each quantiser_scale met since
  // they were last loaded, in their order, raster order within each; made
  // when a scale is first met (see coefficients.h).
  uint16_t scaled_weights[MAX_QUANTISER_SCALE + 1][4][64];
  uint8_t scaled_weights_made[MAX_QUANTISER_SCALE + 1];
};

// Per-slice record of macroblock modes, predictors and the slice position.
struct MacroblockContext {
  int address;  // macroblock address within the picture
  int column;   // the address as column and row (kept by the slice loop)
  int row;
  int increment;  // remaining address increment
  int macroblock_type;
  int motion_type;
  int dct_type;
  int motion_vector_count;
  int mv_format;  // 0 field, 1 frame
  int dmv;
  int mv_field_in_frame;
  int PMV[2][2][2];                        // [r][s forward/backward][t horizontal/vertical]
  int motion_vertical_field_select[2][2];  // [r][s]
  int dmvector[2];
  int dc_dct_pred[3];  // Y, Cb, Cr, relative to mid-grey
  // Blocks that carry coefficients: bit (blocks_per_macroblock - 1 - i) for
  // block i, as coded_block_pattern orders them; 0 for a skipped macroblock.
  int coded_block_pattern;
  // Per block: one more than the last scan position coded (see coefficients.h).
  int block_extent[12];
};

// Where the bytes of the file chain that follow those in input_buffer stand
// in the read-ahead store (READ_AHEAD_CAPACITY bytes, kept by the input
// unit). Reading ahead lets the demultiplexer see where a packet length leads
// before it trusts it, and lets the probe and the survey look at a stream
// that cannot be read twice (a pipe) without losing what they looked at.
struct ReadAhead {
  int start;                // first byte not yet moved into input_buffer
  int end;                  // end of the bytes read from the files
  int chain_ended;          // no file will give more bytes
  int64_t bytes_delivered;  // moved into input_buffer since the input was reset
};

// When a picture is shown, as the program stream stamps it.
struct FrameStamp {
  int64_t pts;  // presentation time stamp, 90 kHz, 33 bits; -1 when none was given
  int segment;  // number of clock discontinuities before the picture's packet
  // How long the frame is shown, in fields: 2, or 3 with repeat_first_field
  // (4 or 6 in a progressive sequence, where a repeated frame shows twice or
  // three times).
  int fields;
};

// A video packet of the program stream, kept until its pictures have been
// found: the first picture that begins in it takes its time stamp.
struct VideoPacketStamp {
  int64_t video_offset;  // of its first payload byte among all video bytes
  int64_t pts;           // -1 when the packet has none
  int segment;
  int taken;  // a picture has taken the time stamp
};
constexpr int VIDEO_PACKET_HISTORY = 64;

// A packet of an audio stream as the demultiplexer meets it.
struct AudioPesPacket {
  int stream_id;           // 0xC0..0xDF MPEG audio, 0xBD private stream 1
  const uint8_t* payload;  // after the packet header; private stream 1 from its sub-stream id on
  int size;
  int64_t pts;  // -1 when none
  int segment;
};
using AudioPesSink = void (*)(const AudioPesPacket& packet, void* context);

struct ColourCoefficients {
  int32_t cr_to_r;
  int32_t cb_to_b;
  int32_t cb_to_g;
  int32_t cr_to_g;
};

struct DecoderState {
  BitstreamState bitstream;

  // Picture parameters (picture header and picture coding extension).
  int picture_coding_type;
  int picture_structure;
  int frame_pred_frame_dct;
  int concealment_motion_vectors;
  int intra_dc_precision;
  int intra_vlc_format;
  int top_field_first;
  int repeat_first_field;
  // Field order of the last frame decoded: top_field_first of a frame
  // picture, or whether a field pair began with its top field.
  int frame_top_field_first;
  int progressive_frame;
  int f_code[2][2];
  int full_pel_forward_vector;
  int forward_f_code;
  int full_pel_backward_vector;
  int backward_f_code;

  // Derived sizes, fixed when the frame stores are allocated.
  int mb_width;
  int mb_height;
  int coded_width;
  int coded_height;
  int chroma_width;
  int chroma_height;
  int blocks_per_macroblock;
  // The picture size and chroma format the frame stores were made for.
  int allocated_horizontal_size;
  int allocated_vertical_size;
  int allocated_chroma_format;

  // Frame stores.
  FrameStore decode_target;
  FrameStore newer_reference;
  FrameStore older_reference;
  FrameStore b_picture_store;
  int newer_reference_valid;
  int older_reference_valid;
  int newer_reference_progressive;
  int older_reference_progressive;
  FrameStamp newer_reference_stamp;
  FrameStamp older_reference_stamp;
  FrameStamp b_picture_stamp;
  FrameStamp picture_stamp;  // of the picture being decoded
  int macroblock_count;
  // Where the blocks of a macroblock of the picture being decoded go, for
  // frame DCT ([0]) and field DCT ([1]); see reconstruct.h.
  BlockLayout block_layout[2];
  // The walks of prediction: [0] frame lines; [1 + 2 * source_field +
  // destination_field] the lines of one field, from the reference's field
  // source_field into the destination's field destination_field (always 0
  // in a field picture, whose decode_target is its field); see
  // prediction.h.
  PlaneWalks prediction_walks[5];
  // One byte per macroblock of the picture being decoded: set once the
  // macroblock has been reconstructed, so that the ones no slice reached can
  // be concealed.
  uint8_t* macroblock_decoded;
  // The one region that holds the frame stores and macroblock_decoded.
  uint8_t* frame_store_memory;
  size_t frame_store_bytes;

  // Control flags.
  int decode_error;
  int messages_off;
  int frame_stores_allocated;
  int in_second_field;

  // Sequence parameters.
  int horizontal_size;
  int vertical_size;
  int aspect_ratio_information;
  int frame_rate_code;
  int closed_gop;
  int progressive_sequence;
  int chroma_format;
  int matrix_coefficients;
  ColourCoefficients colour_coefficients;

  // Picture output state, written when a picture is selected for display:
  // its planes and whether it is filtered as a progressive frame.
  const uint8_t* output_luma;
  const uint8_t* output_cb;
  const uint8_t* output_cr;
  int output_progressive;

  // What the survey at open found: the first pictures carry the 3:2
  // pulldown cadence of film.
  int pulldown_cadence;

  // Program-stream clocks: the last system clock reference, how many times
  // it jumped (a new program, a damaged or joined stream), and the video
  // packets whose pictures may still be found.
  int64_t system_clock;
  int clock_segment;
  VideoPacketStamp video_packets[VIDEO_PACKET_HISTORY];
  int video_packet_count;

  // The audio demultiplexer, which walks the file chain ahead of the video:
  // the stream offset of the next byte it looks at, its own clock and
  // segment count, and whether it met the program end.
  int64_t audio_walk_offset;
  int64_t audio_walk_clock;
  int audio_walk_segment;
  int audio_walk_ended;

  // The audio stream whose packets go to audio_sink (its number, see
  // audio_packets.h; -1 when none).
  int audio_stream;
  AudioPesSink audio_sink;
  void* audio_sink_context;

  // Input chain.
  const char* const* file_list;
  int current_file_index;
  std::FILE* input_file;
  int kilobytes_read;
  int stream_is_multiplexed;
  int valid_data_end;
  ReadAhead read_ahead;
};

extern DecoderState decoder_state;
