#include "convert/audio_track.h"

#include <algorithm>

namespace {
// Packets waiting for their segment's first video frame beyond this many are
// dropped, oldest first: a segment whose video never comes.
constexpr size_t MAX_PENDING_PACKETS = 2000;
// A stamp that places a packet further ahead of the audio before it than
// this is damage: the packet follows on instead. (Where the audio stops,
// silence keeps up with the video, so a stream whose audio comes back after
// a long break opens no gap of this size.)
constexpr int64_t MAX_GAP_SECONDS = 60;

}  // namespace

AudioTrack::AudioTrack(const AudioTimeline& timeline, int block_align,
                       std::vector<uint8_t> silent_frame, int32_t frame_samples)
    : timeline_(timeline),
      block_align_(block_align),
      silent_frame_(std::move(silent_frame)),
      frame_samples_(frame_samples),
      tolerance_(std::max<int64_t>(timeline.sample_rate() / 100, frame_samples / 2)),
      max_lag_(timeline.sample_rate() / 2),
      max_gap_(int64_t{timeline.sample_rate()} * MAX_GAP_SECONDS) {}

void AudioTrack::Push(TrackPacket packet) {
  pending_.push_back(std::move(packet));
  PlacePending();
}

void AudioTrack::PlacePending() {
  while (!pending_.empty()) {
    const TrackPacket& p = pending_.front();
    const int64_t tail = taken_ + ready_samples_;
    int64_t desired = tail;
    if (p.pts >= 0) {
      const std::optional<int64_t> placed = timeline_.Place(p.pts, p.segment);
      if (!placed) {
        if (pending_.size() <= MAX_PENDING_PACKETS) return;  // wait for the segment's video
        pending_.pop_front();
        continue;
      }
      desired = *placed;
      // A jump further ahead than any gap in audio: damage, not a gap to fill.
      if (desired > tail + max_gap_) desired = tail;
    } else if (p.segment == continuation_segment_) {
      desired = continuation_;
    }
    continuation_ = desired + p.samples;
    continuation_segment_ = p.segment;
    // PCM is placed exactly where it starts and where it goes on after
    // whole packets were cut for an overlap: the tolerance is for the
    // jitter of time stamps, not for keeping part of an overlap or a lead.
    const int64_t tolerance = Pcm() && (!placed_ || cutting_) ? 0 : tolerance_;
    int64_t skip = 0;
    if (desired > tail + tolerance) {
      AppendSilence(desired - tail);
    } else if (desired < tail - tolerance) {
      skip = tail - desired;
    }
    placed_ = true;
    cutting_ = skip >= p.samples;
    Append(p, skip);
    pending_.pop_front();
  }
}

void AudioTrack::Append(const TrackPacket& packet, int64_t skip_samples) {
  if (skip_samples >= packet.samples) return;
  if (!Pcm()) {
    if (skip_samples > 0) return;  // compressed frames are kept whole or not at all
    ready_frames_.push_back(packet.data);
    ready_samples_ += packet.samples;
    return;
  }
  const size_t skip_bytes = std::min(
      packet.data.size(), static_cast<size_t>(skip_samples) * static_cast<size_t>(block_align_));
  ready_pcm_.insert(ready_pcm_.end(), packet.data.begin() + static_cast<long>(skip_bytes),
                    packet.data.end());
  ready_samples_ += packet.samples - skip_samples;
}

void AudioTrack::AppendSilence(int64_t samples) {
  if (samples <= 0) return;
  if (Pcm()) {
    ready_pcm_.resize(ready_pcm_.size() +
                      static_cast<size_t>(samples) * static_cast<size_t>(block_align_));
    ready_samples_ += samples;
    return;
  }
  if (silent_frame_.empty() || frame_samples_ <= 0) return;
  for (int64_t n = (samples + frame_samples_ / 2) / frame_samples_; n > 0; --n) {
    ready_frames_.push_back(silent_frame_);
    ready_samples_ += frame_samples_;
  }
}

std::vector<std::vector<uint8_t>> AudioTrack::TakeDue(bool complete) {
  PlacePending();
  const int64_t end = timeline_.VideoEndSample();
  const int64_t tail = taken_ + ready_samples_;
  if (complete) {
    AppendSilence(end - tail);
  } else if (end - tail > max_lag_) {
    AppendSilence(end - max_lag_ - tail);
  }
  std::vector<std::vector<uint8_t>> due;
  if (Pcm()) {
    const int64_t n = std::clamp<int64_t>(end - taken_, 0, ready_samples_);
    if (n > 0) {
      const size_t bytes = static_cast<size_t>(n) * static_cast<size_t>(block_align_);
      due.emplace_back(ready_pcm_.begin(), ready_pcm_.begin() + static_cast<long>(bytes));
      ready_pcm_.erase(ready_pcm_.begin(), ready_pcm_.begin() + static_cast<long>(bytes));
      taken_ += n;
      ready_samples_ -= n;
    }
    return due;
  }
  // A compressed frame goes where its middle lies.
  while (!ready_frames_.empty() && 2 * (taken_ - end) + frame_samples_ <= 0) {
    due.push_back(std::move(ready_frames_.front()));
    ready_frames_.pop_front();
    taken_ += frame_samples_;
    ready_samples_ -= frame_samples_;
  }
  return due;
}
