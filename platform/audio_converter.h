// One audio stream of an MPEG program or system stream on its way into an
// AVI file: the payloads of its PES packets go in, in order and with their
// time stamps; the pieces its AVI stream stores come out, each with the
// number of samples it lasts, so that the caller can keep it in step with
// the video and interleave the two.
//
// Two kinds of conversion:
// - pcm: decoded to interleaved 16-bit little-endian PCM at the stream's own
//   sample rate and channel count (AudioDecoder). One packet per decoded
//   frame (per LPCM packet); the caller may cut and join them at any sample
//   frame boundary.
// - copy: the compressed frames as they are, one packet per frame, which
//   must be one AVI chunk each (AudioCopier). LPCM, which AVI has no tag for,
//   becomes PCM of its own sample size (16, or 24 for 20 and 24 bits).
// Damage never stops a stream: what cannot be decoded becomes silence of
// its length (pcm) or is left out (copy), and a diagnostic says so.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/audio_avi_format.h"
#include "platform/audio_headers.h"
#include "platform/lpcm.h"

constexpr int64_t kNoAudioPts = -1;

struct AudioPacket {
  std::vector<uint8_t> data;  // PCM samples, or one compressed frame
  int32_t samples = 0;        // sample frames (per channel) it lasts
  // 90 kHz time stamp of its first sample, when a PES header gave one for
  // it (the first frame that begins in a packet with a PTS).
  int64_t pts = kNoAudioPts;
};

enum class AudioOutput { kPcm, kCopy };

class AudioConverter {
 public:
  using DiagnosticSink = std::function<void(const std::string& line)>;

  virtual ~AudioConverter() = default;
  AudioConverter(const AudioConverter&) = delete;
  AudioConverter& operator=(const AudioConverter&) = delete;

  // The stream as the probe described it, and how its AVI stream is declared.
  const AudioProperties& Properties() const { return properties_; }
  const AviAudioFormat& Format() const { return format_; }

  // Takes the payload of one PES packet of the stream (the bytes after the
  // PES header, for private stream 1 with its sub-stream header) and its PTS
  // (kNoAudioPts when it has none); appends the packets it completes to
  // `out`. Payloads of other streams are ignored.
  virtual void Push(std::span<const uint8_t> payload, int64_t pts,
                    std::vector<AudioPacket>* out) = 0;
  // At the end of the stream: appends what is still held back.
  virtual void Flush(std::vector<AudioPacket>* out) = 0;

  // Sample frames handed out so far, silence included.
  int64_t SamplesOut() const { return samples_out_; }

  // Receives each diagnostic line (without a newline); without a sink they
  // go to standard error.
  void SetDiagnosticSink(DiagnosticSink sink) { sink_ = std::move(sink); }

 protected:
  AudioConverter(const AudioProperties& properties, AviAudioFormat format);
  // "audio 0x80: <text>"
  void Report(const std::string& text) const;
  void Emit(AudioPacket&& packet, std::vector<AudioPacket>* out);
  // One packet of an LPCM stream: its samples as little-endian PCM of
  // `bytes_per_sample` (2 or 3), the top bits of each, or silence.
  void PushLpcm(const AudioPayload& payload, int64_t pts, int bytes_per_sample,
                std::vector<AudioPacket>* out);
  bool IsLpcm() const { return lpcm_ != nullptr; }

 private:
  std::unique_ptr<LpcmStream> lpcm_;  // LPCM streams
  AudioProperties properties_;
  AviAudioFormat format_;
  DiagnosticSink sink_;
  int64_t samples_out_ = 0;
};

// A converter for the stream `properties` describes (ProbeAudio); nullptr
// when it cannot be converted that way (no decoder for it in the installed
// libavcodec, or properties that no probe gives).
std::unique_ptr<AudioConverter> CreateAudioConverter(const AudioProperties& properties,
                                                     AudioOutput output);
