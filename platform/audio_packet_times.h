// Which frame of an audio stream a PES packet's time stamp belongs to: the
// first frame that begins in the packet (for private stream 1 where its
// first access unit pointer says), not the bytes it carries on from the
// frame before. Positions count the stream's elementary bytes from its
// start.
#pragma once

#include <cstdint>
#include <deque>

class AudioPacketTimes {
 public:
  // The next payload of `size` bytes, whose first frame begins `first_frame`
  // bytes in (AudioPayload::first_frame; -1 taken as 0), stamped `pts`
  // (kNoAudioPts: nothing is recorded).
  void Add(int64_t size, int first_frame, int64_t pts);

  // The time stamp of the frame beginning at `position`, once, or
  // kNoAudioPts; earlier stamps are forgotten. `position` may lie up to
  // `late_by` bytes past where the frame really begins (less than a frame).
  int64_t FrameAt(int64_t position, int64_t late_by = 0);

  // Drops the stamps of payloads that end at or before `position`.
  void Forget(int64_t position);

  // Bytes of the stream added so far.
  int64_t End() const { return end_; }

 private:
  struct Span {
    int64_t start;  // of the first frame that begins in the payload
    int64_t end;    // of the payload
    int64_t pts;
  };
  std::deque<Span> spans_;
  int64_t end_ = 0;
};
