// The frame source: one finished output frame per decoded MPEG frame.
//
// A frame is the crop band of the decoded picture, converted to 24-bit B, G,
// R, optionally deinterlaced by a vertical 1-2-1 filter, stretched or shrunk
// vertically to the output height by linear interpolation, and laid out
// bottom-up (output row 0, the top of the picture, is the last row of the
// buffer). Rows are 3 * coded width bytes without padding.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "convert/audio_streams.h"
#include "decoder/decoder_state.h"

// The stream's properties as the decoder reports them after an open; the
// codes are passed on unconverted.
struct StreamInfo {
  int horizontal_size = 0;
  int vertical_size = 0;
  int coded_width = 0;
  int coded_height = 0;
  int progressive_sequence = 0;
  int frame_rate_code = 0;
  int aspect_ratio_information = 0;
  int pulldown_cadence = 0;     // the first pictures carry the 3:2 pulldown of film
  bool program_stream = false;  // a multiplex (elementary video streams carry no audio)
  std::vector<ListedAudioStream> audio_streams;
};

// Writes converted source row `row` (3 * width bytes) to `dest`.
using RowProducer = std::function<void(uint8_t* dest, int row)>;

struct FrameGeometry {
  int width = 0;           // pixels per row
  int picture_height = 0;  // the producer delivers rows 0 .. picture_height - 1
  int crop_top = 0;        // first source row of the crop band
  int crop_height = 0;     // source rows in the crop band
  int out_height = 0;      // rows of the output frame
  bool deinterlace = false;
};

// Builds one output frame of out_height rows into `dest` from the crop band,
// asking `produce_row` for each source row of the band once, in increasing
// order, and for no row outside it. row_pair (2 rows) and filter_ring (3 rows)
// are work rows of 3 * width bytes each.
//
// Equal crop and output heights copy the band (bit-exact without
// deinterlacing); otherwise output row j samples source position
// crop_top + j * crop_height / out_height, positions past the last crop row
// taking that row. Deinterlacing replaces source row i of the band by
// (S[i-2] + 2 S[i-1] + S[i]) >> 2, S[-2] = S[-1] = S[0].
//
// Nothing is written for out_height <= 0. A crop band that is empty or not
// inside the picture yields a black frame, so no row outside the picture or
// the buffers is ever touched.
void Assemble_Frame(const RowProducer& produce_row, const FrameGeometry& geometry,
                    uint8_t* const row_pair[2], uint8_t* const filter_ring[3], uint8_t* dest);

class FrameSource {
 public:
  FrameSource() = default;
  ~FrameSource() { Close(); }
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  // Opens the decoder on the null-terminated `paths` (kept alive by the
  // caller until Close) and reads the stream's properties. Returns 0, the
  // decoder's DecoderResult unchanged, or 1 when the row buffers cannot be
  // allocated (the decoder is closed again then).
  int Open(const char* const* paths);

  // Closes the decoder and frees the row buffers; nothing when not open.
  void Close();

  // Decodes the next frame and writes it to `dest`, which holds out_height
  // rows of 3 * coded width bytes, and its time stamp to `stamp` (when
  // given). Returns 0 for a new frame, 2 (DECODER_END_OF_SEQUENCE) once the
  // input is exhausted (without calling the decoder again), or the
  // decoder's failure code, `dest` and `stamp` then untouched.
  int NextFrame(uint8_t* dest, int crop_top, int out_height, int crop_height, bool deinterlace,
                FrameStamp* stamp = nullptr);

  // Program streams: from now on the PES packets of audio stream `stream`
  // (its number; -1 none) go to `sink` during NextFrame, first those met
  // while the stream was opened. Call once after Open, on the thread that
  // calls NextFrame.
  void SelectAudio(int stream, AudioPesSink sink, void* context);

  // Index of the input file being read, and kilobytes of input consumed.
  int CurrentFileIndex() const;
  int KBytesRead() const;

  bool end_of_stream = false;  // the last picture has been handed out
  bool is_open = false;
  // Work rows of 3 * coded width bytes, all cut from one block.
  uint8_t* row_pair[2] = {};     // resampling: source rows by row parity
  uint8_t* filter_ring[3] = {};  // deinterlacing: the last three source rows
  StreamInfo stream_info;

 private:
  struct FreeDeleter {
    void operator()(uint8_t* block) const { std::free(block); }
  };

  bool AllocateRowBuffers(int coded_width);
  void ReleaseRowBuffers();

  std::unique_ptr<uint8_t[], FreeDeleter> row_block_;
};
