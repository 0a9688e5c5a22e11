#include "convert/audio_timeline.h"

#include <cmath>
#include <cstdlib>

namespace {
constexpr int64_t TICKS_PER_SECOND = 90000;  // time stamps
}  // namespace

AudioTimeline::AudioTimeline(int sample_rate, AviFrameRate frame_rate)
    : sample_rate_(sample_rate), frame_rate_(frame_rate) {}

int64_t AudioTimeline::FrameTime(int64_t k) const {
  return k * TICKS_PER_SECOND * frame_rate_.scale;
}

void AudioTimeline::AddVideoFrame(const FrameStamp& stamp) {
  const int64_t k = frames_++;
  if (stamp.pts < 0) return;
  const int64_t stream_time = stamp.pts * frame_rate_.rate;
  auto placed = offsets_.find(stamp.segment);
  if (placed == offsets_.end() ||
      2 * std::llabs(FrameTime(k) - (stream_time + placed->second)) > FrameTime(1)) {
    offsets_[stamp.segment] = FrameTime(k) - stream_time;
  }
}

int64_t AudioTimeline::VideoEndSample() const {
  const int64_t scaled = frames_ * frame_rate_.scale * sample_rate_;
  return (scaled + frame_rate_.rate / 2) / frame_rate_.rate;
}

std::optional<int64_t> AudioTimeline::Place(int64_t pts, int segment) const {
  const auto placed = offsets_.find(segment);
  if (placed == offsets_.end()) return std::nullopt;
  const double output_time = static_cast<double>(pts * frame_rate_.rate + placed->second);
  return std::llround(output_time * sample_rate_ /
                      (static_cast<double>(TICKS_PER_SECOND) * frame_rate_.rate));
}
