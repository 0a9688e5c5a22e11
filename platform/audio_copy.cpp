#include "platform/audio_copy.h"

namespace {

AviAudioFormat CopyFormat(const AudioProperties& p) {
  if (p.codec != AudioCodec::kLpcm) return CompressedAviFormat(p);
  return PcmAviFormat(p.sample_rate, p.channels, p.channel_mask, p.bits_per_sample == 16 ? 16 : 24,
                      p.bits_per_sample);
}

}  // namespace

AudioCopier::AudioCopier(const AudioProperties& properties)
    : AudioConverter(properties, CopyFormat(properties)) {}

void AudioCopier::Push(std::span<const uint8_t> payload, int64_t pts,
                       std::vector<AudioPacket>* out) {
  AudioPayload elementary;
  if (!SplitAudioPayload(Properties().stream, payload, &elementary)) return;
  if (IsLpcm()) {
    PushLpcm(elementary, pts, Properties().bits_per_sample == 16 ? 2 : 3, out);
    return;
  }
  times_.Add(static_cast<int64_t>(elementary.data.size()), elementary.first_frame, pts);
  pending_.insert(pending_.end(), elementary.data.begin(), elementary.data.end());
  FindFrames(false, out);
}

void AudioCopier::Flush(std::vector<AudioPacket>* out) {
  if (!IsLpcm()) FindFrames(true, out);
}

void AudioCopier::FindFrames(bool at_end, std::vector<AudioPacket>* out) {
  const AudioProperties& stream = Properties();
  const size_t header_bytes = static_cast<size_t>(AudioHeaderBytes(stream.stream));
  const std::span<const uint8_t> bytes(pending_);
  size_t pos = 0;
  size_t skipped = 0;
  auto valid_at = [&](size_t at, AudioProperties* header) {
    return ParseAudioHeader(stream.stream, bytes.subspan(at), header) &&
           SameAudioTiming(*header, stream);
  };
  while (pos + header_bytes <= bytes.size()) {
    AudioProperties header;
    AudioProperties next;
    bool take = false;
    bool wait = false;
    if (valid_at(pos, &header)) {
      const size_t end = pos + static_cast<size_t>(header.frame_bytes);
      if (end + header_bytes <= bytes.size())
        take = in_step_ || valid_at(end, &next);
      else if (at_end || (in_step_ && end <= bytes.size()))
        take = end <= bytes.size();  // whole is enough for the last frame
      else
        wait = true;  // the frame or its successor has not arrived yet
    }
    if (wait) break;
    if (!take) {
      ++pos;
      ++skipped;
      in_step_ = false;
      continue;
    }
    if (skipped > 0) {
      Report(std::to_string(skipped) + " bytes skipped to the next frame");
      skipped = 0;
    }
    AudioPacket packet;
    packet.data.assign(bytes.begin() + static_cast<ptrdiff_t>(pos),
                       bytes.begin() + static_cast<ptrdiff_t>(pos) + header.frame_bytes);
    packet.samples = header.samples_per_frame;
    packet.pts = times_.FrameAt(pending_start_ + static_cast<int64_t>(pos));
    Emit(std::move(packet), out);
    pos += static_cast<size_t>(header.frame_bytes);
    in_step_ = true;
  }
  if (at_end) {
    skipped += bytes.size() - pos;
    pos = bytes.size();
    in_step_ = false;
  }
  if (skipped > 0) Report(std::to_string(skipped) + " bytes skipped to the next frame");
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(pos));
  pending_start_ += static_cast<int64_t>(pos);
  // Time stamps of packets whose bytes are all gone can go too.
  times_.Forget(pending_start_);
}
