#include "platform/audio_converter.h"

#include <cstdio>

#include "platform/audio_copy.h"
#include "platform/audio_decoder.h"

AudioConverter::AudioConverter(const AudioProperties& properties, AviAudioFormat format)
    : properties_(properties), format_(std::move(format)) {
  if (properties.codec == AudioCodec::kLpcm) lpcm_ = std::make_unique<LpcmStream>(properties);
}

void AudioConverter::PushLpcm(const AudioPayload& payload, int64_t pts, int bytes_per_sample,
                              std::vector<AudioPacket>* out) {
  std::vector<int32_t> samples;
  AudioPacket packet;
  std::string problem;
  packet.samples = static_cast<int32_t>(lpcm_->Push(payload, pts, &samples, &packet.pts, &problem));
  if (!problem.empty())
    Report(problem + ": " + std::to_string(packet.samples) + " samples of silence");
  packet.data.reserve(samples.size() * static_cast<size_t>(bytes_per_sample));
  for (int32_t v : samples) {
    const auto u = static_cast<uint32_t>(v);
    for (int b = 4 - bytes_per_sample; b < 4; ++b)
      packet.data.push_back(static_cast<uint8_t>(u >> (8 * b)));
  }
  Emit(std::move(packet), out);
}

void AudioConverter::Report(const std::string& text) const {
  char prefix[24];
  std::snprintf(prefix, sizeof prefix, "audio 0x%02x: ", properties_.stream);
  const std::string line = prefix + text;
  if (sink_)
    sink_(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

void AudioConverter::Emit(AudioPacket&& packet, std::vector<AudioPacket>* out) {
  if (packet.samples <= 0) return;
  samples_out_ += packet.samples;
  out->push_back(std::move(packet));
}

std::unique_ptr<AudioConverter> CreateAudioConverter(const AudioProperties& properties,
                                                     AudioOutput output) {
  if (!PlausibleAudioProperties(properties)) return nullptr;
  if (output == AudioOutput::kCopy) return std::make_unique<AudioCopier>(properties);
  return AudioDecoder::Create(properties);
}
