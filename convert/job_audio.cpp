#include "convert/job_audio.h"

#include <utility>

#include "platform/audio_silence.h"

std::unique_ptr<AudioFeed> AudioFeed::Create(const AudioSettings& settings) {
  std::unique_ptr<AudioConverter> converter =
      CreateAudioConverter(settings.properties, settings.output);
  if (!converter) return nullptr;
  return std::unique_ptr<AudioFeed>(new AudioFeed(std::move(converter)));
}

AudioFeed::AudioFeed(std::unique_ptr<AudioConverter> converter)
    : converter_(std::move(converter)) {}

void AudioFeed::Select(FrameSource& source) {
  source.SelectAudio(converter_->Properties().stream, &AudioFeed::Receive, this);
}

void AudioFeed::Receive(const AudioPesPacket& packet, void* context) {
  auto& feed = *static_cast<AudioFeed*>(context);
  const size_t size = packet.size > 0 ? static_cast<size_t>(packet.size) : 0;
  feed.converter_->Push({packet.payload, size}, packet.pts, &feed.converted_);
  feed.Append(packet.segment);
}

void AudioFeed::Append(int segment) {
  last_segment_ = segment;
  for (AudioPacket& p : converted_) {
    held_bytes_ += p.data.size();
    packets_.push_back({std::move(p.data), p.samples, p.pts, segment});
  }
  converted_.clear();
  // A long stretch of the input without pictures hands all its audio over
  // while one frame is decoded; it would be cut as lying before the next
  // frame, so the oldest goes now where it would take too much memory.
  size_t dropped = 0;
  while (held_bytes_ > kMaxHeldBytes && dropped < packets_.size())
    held_bytes_ -= packets_[dropped++].data.size();
  packets_.erase(packets_.begin(), packets_.begin() + static_cast<ptrdiff_t>(dropped));
}

std::vector<TrackPacket> AudioFeed::Take() {
  held_bytes_ = 0;
  return std::exchange(packets_, {});
}

void AudioFeed::Flush() {
  converter_->Flush(&converted_);
  Append(last_segment_);
}

namespace {

// Bytes per sample frame of a stream of blocks (PCM), 0 for compressed
// frames, as AudioTrack takes them.
int Block_Align(const AviAudioFormat& format) {
  return format.info.dwSampleSize != 0 ? format.format.nBlockAlign : 0;
}

}  // namespace

AudioWriter::AudioWriter(const AudioFeed& feed, AviFrameRate frame_rate)
    : timeline_(feed.Properties().sample_rate, frame_rate),
      track_(timeline_, Block_Align(feed.Format()),
             Block_Align(feed.Format()) > 0 ? std::vector<uint8_t>()
                                            : SilentCopyFrame(feed.Properties()),
             feed.Properties().samples_per_frame) {}

void AudioWriter::Push(std::vector<TrackPacket>&& packets) {
  for (TrackPacket& p : packets) track_.Push(std::move(p));
  packets.clear();
}

void AudioWriter::AddFrame(const FrameStamp& stamp) {
  timeline_.AddVideoFrame(stamp);
}

int AudioWriter::WriteDue(AviWriter& writer, bool complete) {
  for (const std::vector<uint8_t>& chunk : track_.TakeDue(complete)) {
    const int written = writer.WriteAudio(chunk);
    if (written != AVI_OK) return written;
  }
  return AVI_OK;
}
