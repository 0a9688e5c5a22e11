// The output's timeline for one audio stream.
//
// An AVI file has no time stamps: frame k of the video starts at k frame
// periods, sample n of the audio at n / sample_rate seconds. Each segment of
// the stream's clock (see FrameStamp: the stretch between two clock jumps,
// such as a new VOB file whose clocks start again) is placed on that timeline
// by its video frames, and the audio of the segment by the same offset, so
// that audio stays with its pictures across joined files, clock jumps and
// lost pictures. The audio starts with the first frame written.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "convert/avi_writer.h"
#include "decoder/decoder_state.h"

class AudioTimeline {
 public:
  AudioTimeline(int sample_rate, AviFrameRate frame_rate);

  // The next frame of the output, with its stamp from the stream. A frame
  // with a time stamp places its segment where none was placed before, and
  // places it again when the frames so far have drifted from the stamps by
  // more than half a frame (pictures were lost, or shown longer than the
  // output's frame rate shows them).
  void AddVideoFrame(const FrameStamp& stamp);

  // Frames added so far, and the output sample at which they end.
  int64_t VideoFrames() const { return frames_; }
  int64_t VideoEndSample() const;

  // The output sample where audio stamped `pts` (90 kHz) in `segment`
  // belongs (negative: before the first frame); none while no frame of the
  // segment with a time stamp has been added.
  std::optional<int64_t> Place(int64_t pts, int segment) const;

  int sample_rate() const { return sample_rate_; }

 private:
  // Output time of frame k in 90 kHz ticks times the frame rate's `rate`,
  // which keeps every frame period exact (3003 ticks at 29.97 fps, 3753.75
  // at 23.976).
  int64_t FrameTime(int64_t k) const;

  int sample_rate_;
  AviFrameRate frame_rate_;
  int64_t frames_ = 0;
  // Per segment: output time minus stream time, in the units of FrameTime.
  std::map<int, int64_t> offsets_;
};
