// Decoding one audio stream to 16-bit PCM (see audio_converter.h): MPEG
// audio Layers I-III, AC-3 and DTS by libavcodec, whose parsers find the
// frames; DVD LPCM by LpcmStream, keeping the top 16 bits of each sample.
//
// The output keeps the sample rate and channels of the stream's first
// header. Frames that differ later are fitted to it: channels by speaker
// position (those without a counterpart are silent), a frame at another
// sample rate becomes silence of its duration. A frame the decoder refuses
// becomes silence of the length its header gives.
#pragma once

#include <memory>

#include "platform/audio_converter.h"
#include "platform/audio_packet_times.h"

class AudioDecoder final : public AudioConverter {
 public:
  // nullptr when libavcodec is missing, has no decoder for the codec or the
  // decoder fails to open.
  static std::unique_ptr<AudioDecoder> Create(const AudioProperties& properties);

 private:
  struct Key {};  // Create makes them: only it can open the codec

 public:
  AudioDecoder(Key, const AudioProperties& properties);
  ~AudioDecoder() override;

  void Push(std::span<const uint8_t> payload, int64_t pts, std::vector<AudioPacket>* out) override;
  void Flush(std::vector<AudioPacket>* out) override;

 private:
  struct Codec;  // the libavcodec state
  void DecodeFrame(std::span<const uint8_t> frame, int64_t pts, std::vector<AudioPacket>* out);
  void Silence(int64_t samples, int64_t pts, std::vector<AudioPacket>* out);

  std::unique_ptr<Codec> codec_;  // compressed codecs
  // The parser's own time stamps go with the frame its first byte belongs
  // to; frames are stamped by where they begin instead.
  AudioPacketTimes times_;
  int64_t parsed_ = 0;  // stream bytes handed to the parser
};
