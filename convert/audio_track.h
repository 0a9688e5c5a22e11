// One audio stream laid onto the AVI's timeline (AudioTimeline), so that it
// stays with the video: packets go in as the stream gives them, and after
// each video frame the audio due up to that frame's end comes out, to be
// written right behind the frame.
//
// A packet with a time stamp goes where the timeline places it; one without
// follows the packet before it. A gap before it is filled with silence, an
// overlap with what is already there is cut from its start; differences
// below a tolerance (10 ms, or half a compressed frame) are left alone, so
// that rounding in the time stamps never cuts or pads, except where PCM
// starts and where an overlap cut whole packets: there it is placed exactly. Audio before the first
// video frame is cut. Audio that does not come (a stream that stops, or one
// far behind its video) is filled with silence once it is half a second
// late, and exactly up to the frame's end where a file ends. A stamp that
// opens a gap of more than a minute is taken as damage: the packet follows
// on from the one before.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "convert/audio_timeline.h"

// A piece of the stream: PCM sample frames (samples * block_align bytes),
// or one compressed frame.
struct TrackPacket {
  std::vector<uint8_t> data;
  int32_t samples = 0;  // sample frames it lasts
  int64_t pts = -1;     // 90 kHz time stamp of its first sample, -1 when none
  int segment = 0;      // of the stream's clock (FrameStamp)
};

class AudioTrack {
 public:
  // PCM: `block_align` bytes per sample frame; packets are cut and joined at
  // any sample frame. Compressed frames (block_align 0): each packet is
  // kept whole and written as a chunk of its own; gaps are filled with
  // `silent_frame` (lasting `frame_samples`), or left when there is none.
  AudioTrack(const AudioTimeline& timeline, int block_align, std::vector<uint8_t> silent_frame = {},
             int32_t frame_samples = 0);

  void Push(TrackPacket packet);

  // The audio due up to the end of the video frames the timeline holds: one
  // chunk of PCM, or one chunk per compressed frame. `complete` at the end of
  // a file: exactly up to that end.
  std::vector<std::vector<uint8_t>> TakeDue(bool complete);

  // Sample frames handed out so far.
  int64_t SamplesOut() const { return taken_; }

 private:
  bool Pcm() const { return block_align_ > 0; }
  // Places the pending packets whose segment the timeline knows, in order.
  void PlacePending();
  void Append(const TrackPacket& packet, int64_t skip_samples);
  void AppendSilence(int64_t samples);

  const AudioTimeline& timeline_;
  int block_align_;
  std::vector<uint8_t> silent_frame_;
  int32_t frame_samples_;
  int64_t tolerance_;  // in samples
  int64_t max_lag_;    // in samples
  int64_t max_gap_;    // in samples

  std::deque<TrackPacket> pending_;  // not placed yet
  // Where the next packet without a time stamp goes, per the last one placed.
  int64_t continuation_ = 0;
  int continuation_segment_ = -1;
  bool placed_ = false;   // a packet was placed
  bool cutting_ = false;  // the last packet was cut whole for an overlap
  // Placed and not yet taken: PCM bytes, or whole frames.
  std::vector<uint8_t> ready_pcm_;
  std::deque<std::vector<uint8_t>> ready_frames_;
  int64_t ready_samples_ = 0;
  int64_t taken_ = 0;
};
