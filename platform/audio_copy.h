// Copying one audio stream into an AVI file as it is (see
// audio_converter.h): MPEG audio, AC-3 and DTS frame by frame, LPCM as PCM.
//
// Frames are found with the header parser: a frame is taken when its header
// is valid and keeps the stream's timing (codec, sample rate, samples per
// frame), and when it either begins where the frame taken before it ended
// or is followed by another such header where it ends (at the end of the
// stream, when it is whole). Other bytes are skipped with a diagnostic. LPCM samples keep their
// precision: 16-bit samples as they are, 20- and 24-bit ones in 24 bits.
#pragma once

#include "platform/audio_converter.h"
#include "platform/audio_packet_times.h"

class AudioCopier final : public AudioConverter {
 public:
  // `properties` must be plausible (PlausibleAudioProperties).
  explicit AudioCopier(const AudioProperties& properties);

  void Push(std::span<const uint8_t> payload, int64_t pts, std::vector<AudioPacket>* out) override;
  void Flush(std::vector<AudioPacket>* out) override;

 private:
  void FindFrames(bool at_end, std::vector<AudioPacket>* out);

  std::vector<uint8_t> pending_;  // stream bytes not yet handed out as frames
  int64_t pending_start_ = 0;     // stream position of pending_[0]
  bool in_step_ = false;          // pending_ begins where the last frame taken ended
  AudioPacketTimes times_;
};
