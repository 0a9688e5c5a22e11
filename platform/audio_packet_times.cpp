#include "platform/audio_packet_times.h"

#include <algorithm>

#include "platform/audio_converter.h"

namespace {
// Stamps further back than this from the stream's end are dropped as
// payloads arrive: no frame is that long, so no frame can begin there any
// more (a stream in which no frame is ever found keeps no more).
constexpr int64_t kLongestFrame = 1 << 16;
}  // namespace

void AudioPacketTimes::Add(int64_t size, int first_frame, int64_t pts) {
  if (pts != kNoAudioPts) spans_.push_back({end_ + std::max(first_frame, 0), end_ + size, pts});
  end_ += size;
  Forget(end_ - kLongestFrame);
}

int64_t AudioPacketTimes::FrameAt(int64_t position, int64_t late_by) {
  Forget(position - late_by);
  if (spans_.empty() || spans_.front().start > position) return kNoAudioPts;
  const int64_t pts = spans_.front().pts;
  spans_.pop_front();
  return pts;
}

void AudioPacketTimes::Forget(int64_t position) {
  while (!spans_.empty() && spans_.front().end <= position) spans_.pop_front();
}
