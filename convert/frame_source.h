// The frame source: the decoder opened on the job's inputs, one picture for
// display per decoded MPEG frame, and the input figures that go with it.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/audio_streams.h"
#include "convert/picture_output.h"
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

class FrameSource {
 public:
  FrameSource() = default;
  ~FrameSource() { Close(); }
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  // Opens the decoder on the null-terminated `paths` (kept alive by the
  // caller until Close) and reads the stream's properties. Returns 0 or the
  // decoder's DecoderResult unchanged.
  int Open(const char* const* paths);

  // Closes the decoder; nothing when not open.
  void Close();

  // Decodes the next frame and makes it the picture that Picture()
  // describes, writing its time stamp to `stamp` (when given). Returns 0 for
  // a new picture, 2 (DECODER_END_OF_SEQUENCE) once the input is exhausted
  // (without calling the decoder again), or the decoder's failure code;
  // `stamp` is then untouched.
  int NextPicture(FrameStamp* stamp = nullptr);

  // The picture of the last NextPicture that returned 0, in the decoder's
  // stores: valid until the next NextPicture.
  OutputPicture Picture() const;

  // Program streams: from now on the PES packets of audio stream `stream`
  // (its number; -1 none) go to `sink` during NextPicture, first those met
  // while the stream was opened. Call once after Open, on the thread that
  // calls NextPicture.
  void SelectAudio(int stream, AudioPesSink sink, void* context);

  // Index of the input file being read, and kilobytes of input consumed.
  int CurrentFileIndex() const;
  int KBytesRead() const;

  bool end_of_stream = false;  // the last picture has been handed out
  bool is_open = false;
  StreamInfo stream_info;
};
