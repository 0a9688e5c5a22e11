#include "platform/audio_converter.h"

#include <cstdio>

#include "platform/audio_copy.h"
#include "platform/audio_decoder.h"

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
