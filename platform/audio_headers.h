// Audio in MPEG system and program streams, read without a decoder: where
// the elementary bytes of an audio stream's PES packets are, and what the
// frame headers of MPEG audio (Layers I-III), AC-3, DTS and DVD LPCM say
// about the stream.
//
// Audio streams are named by one number: the PES stream id 0xC0-0xDF for
// MPEG audio, the sub-stream id of private stream 1 (PES stream id 0xBD)
// for the DVD formats: 0x80-0x87 AC-3, 0x88-0x8F DTS, 0xA0-0xA7 LPCM.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr int kMaxAudioChannels = 8;  // the most any of the formats carries here

enum class AudioCodec { kNone, kMp1, kMp2, kMp3, kAc3, kDts, kLpcm };

// Speaker positions of the channels (WAVEFORMATEXTENSIBLE dwChannelMask);
// channels are stored in the order of these bits, lowest first.
constexpr uint32_t kSpeakerFrontLeft = 0x1;
constexpr uint32_t kSpeakerFrontRight = 0x2;
constexpr uint32_t kSpeakerFrontCenter = 0x4;
constexpr uint32_t kSpeakerLowFrequency = 0x8;
constexpr uint32_t kSpeakerBackLeft = 0x10;
constexpr uint32_t kSpeakerBackRight = 0x20;
constexpr uint32_t kSpeakerBackCenter = 0x100;
constexpr uint32_t kSpeakerSideLeft = 0x200;
constexpr uint32_t kSpeakerSideRight = 0x400;

// MPEG audio channel modes (the header's mode field).
enum class MpegAudioMode { kStereo = 0, kJointStereo = 1, kDualChannel = 2, kSingleChannel = 3 };

// What one frame header (for LPCM: one packet's header) says.
struct AudioProperties {
  AudioCodec codec = AudioCodec::kNone;
  int stream = -1;            // the audio stream, as above
  int sample_rate = 0;        // Hz
  int channels = 0;           // LFE included
  uint32_t channel_mask = 0;  // kSpeaker* bits, one per channel
  int bits_per_sample = 0;    // LPCM: 16, 20 or 24; 0 for the compressed codecs
  int samples_per_frame = 0;  // per channel; LPCM: 0 (packets of any length)
  int frame_bytes = 0;        // this frame's length; LPCM: 0
  int bit_rate = 0;           // bit/s (LPCM: rate x channels x bits)
  bool mpeg1 = false;         // MPEG audio: ISO 11172-3 (not the lower rates of 13818-3)
  MpegAudioMode mpeg_mode = MpegAudioMode::kStereo;
  int mpeg_emphasis = 0;  // MPEG audio: the header's emphasis field

  bool operator==(const AudioProperties&) const = default;
};

// The elementary bytes of one PES payload of audio stream `stream`.
struct AudioPayload {
  std::span<const uint8_t> data;  // LPCM: its 3-byte header first, then samples
  // Offset in `data` of the first frame (LPCM: first audio frame) that
  // begins in the packet, as the private stream header points to it; 0 for
  // MPEG audio; -1 when the header says no frame begins in the packet.
  int first_frame = 0;
};

// Splits `payload`, the bytes after the PES header of a packet of `stream`:
// MPEG audio is taken as it is; private stream 1 loses the sub-stream id,
// frame count and first access unit pointer (4 bytes). False when the
// payload does not belong to `stream` or is too short for its header.
bool SplitAudioPayload(int stream, std::span<const uint8_t> payload, AudioPayload* out);

// Bytes a frame header of `stream`'s syntax needs (for LPCM the packet header).
int AudioHeaderBytes(int stream);

// Reads the frame header at the start of `data` in the syntax of `stream`
// (MPEG audio frame header, AC-3 sync frame header, DTS core frame header,
// DVD LPCM packet header). False when there is none or it is one the
// decoders do not take (MPEG audio free format, E-AC-3, DTS with more than
// 5.1 channels, LPCM other than 16/20/24 bits at 48 or 96 kHz).
bool ParseAudioHeader(int stream, std::span<const uint8_t> data, AudioProperties* out);

// Whether two frames can follow each other in one stream without a change
// of the timing: same codec, sample rate and samples per frame.
bool SameAudioTiming(const AudioProperties& a, const AudioProperties& b);

// Whether `properties` could have come from ParseAudioHeader: a codec of the
// stream's syntax, 1 to 8 channels with one speaker each, and the sizes and
// rates of that codec within their ranges.
bool PlausibleAudioProperties(const AudioProperties& properties);

// Finds the stream's properties in its first elementary bytes (the `data` of
// SplitAudioPayload of its first packets, one after the other): the first
// frame header followed by another of the same timing where the next frame
// begins, or the first whose frame runs past the end of `data`. LPCM: the
// header in front. False when there is none.
bool ProbeAudio(int stream, std::span<const uint8_t> data, AudioProperties* out);

// ProbeAudio over the payloads of the stream's first PES packets as the
// demultiplexer finds them (the bytes after the PES header; for private
// stream 1 from the sub-stream id on). Payloads of other streams are passed
// over.
bool ProbeAudioPackets(int stream, std::span<const std::vector<uint8_t>> payloads,
                       AudioProperties* out);

// A frame of silence in the stream's format, for filling gaps in a stream
// that is copied: for MPEG audio a header like the stream's (no padding, no
// CRC) and every bit allocation zero, `properties.samples_per_frame` long;
// empty for the other codecs, whose silence takes an encoder (see
// audio_silence.h).
std::vector<uint8_t> SilentAudioFrame(const AudioProperties& properties);

// "mp1", "mp2", "mp3", "ac3", "dts", "lpcm"; "" for kNone.
const char* AudioCodecName(AudioCodec codec);

// One line for a stream list: "ac3 48000 Hz 6 ch (0x80)"; LPCM adds its
// sample size: "lpcm 48000 Hz 2 ch 24 bit (0xa0)".
std::string DescribeAudio(const AudioProperties& properties);
