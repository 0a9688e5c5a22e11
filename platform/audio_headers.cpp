#include "platform/audio_headers.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace {

constexpr int kPrivateHeaderBytes = 4;  // sub-stream id, frame count, first access unit pointer
constexpr int kMpegHeaderBytes = 4;
constexpr int kAc3HeaderBytes = 7;
constexpr int kDtsHeaderBytes = 11;
constexpr int kLpcmHeaderBytes = 3;

// Bounds of what the headers can say.
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 96000;
constexpr int kMaxSamplesPerFrame = 4096;  // DTS: 128 blocks of 32
constexpr int kMaxFrameBytes = 16384;      // DTS: FSIZE is 14 bits

constexpr uint32_t kStereo = kSpeakerFrontLeft | kSpeakerFrontRight;

// Big-endian bit fields of a header in memory of known size.
class HeaderBits {
 public:
  explicit HeaderBits(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint32_t Get(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++bit_) {
      const size_t byte = bit_ / 8;
      const int b = byte < bytes_.size() ? bytes_[byte] >> (7 - bit_ % 8) & 1 : 0;
      v = v << 1 | static_cast<uint32_t>(b);
    }
    return v;
  }
  void Skip(int n) { bit_ += static_cast<size_t>(n); }

 private:
  std::span<const uint8_t> bytes_;
  size_t bit_ = 0;
};

// MPEG audio: kbit/s by [MPEG-1 ? 0 : 1][layer - 1][bitrate_index]; 0 = free
// format, which is not taken.
constexpr int kMpegBitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
// By the version field (0: MPEG-2.5, 2: MPEG-2, 3: MPEG-1) and the sampling
// frequency index.
constexpr int kMpegSampleRates[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

bool ParseMpegAudio(std::span<const uint8_t> data, AudioProperties* out) {
  HeaderBits bits(data);
  if (bits.Get(11) != 0x7FF) return false;
  const uint32_t version = bits.Get(2);
  const int layer = 4 - static_cast<int>(bits.Get(2));  // 4: the reserved value 0
  bits.Skip(1);                                         // protection
  const uint32_t bitrate_index = bits.Get(4);
  const uint32_t rate_index = bits.Get(2);
  const int padding = static_cast<int>(bits.Get(1));
  bits.Skip(1);  // private
  const auto mode = static_cast<MpegAudioMode>(bits.Get(2));
  bits.Skip(4);  // mode extension, copyright, original
  const int emphasis = static_cast<int>(bits.Get(2));
  if (version == 1 || layer == 4 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3)
    return false;
  const bool mpeg1 = version == 3;
  const int kbits = kMpegBitRates[mpeg1 ? 0 : 1][layer - 1][bitrate_index];
  const int rate = kMpegSampleRates[version][rate_index];
  const int bit_rate = kbits * 1000;

  AudioProperties p;
  p.codec = layer == 1 ? AudioCodec::kMp1 : layer == 2 ? AudioCodec::kMp2 : AudioCodec::kMp3;
  p.sample_rate = rate;
  p.channels = mode == MpegAudioMode::kSingleChannel ? 1 : 2;
  p.channel_mask = p.channels == 1 ? kSpeakerFrontCenter : kStereo;
  if (layer == 1) {
    p.samples_per_frame = 384;
    p.frame_bytes = (12 * bit_rate / rate + padding) * 4;
  } else {
    // Layer III of the lower sample rates codes one granule per frame.
    const bool one_granule = layer == 3 && !mpeg1;
    p.samples_per_frame = one_granule ? 576 : 1152;
    p.frame_bytes = (one_granule ? 72 : 144) * bit_rate / rate + padding;
  }
  p.bit_rate = bit_rate;
  p.mpeg1 = mpeg1;
  p.mpeg_mode = mode;
  p.mpeg_emphasis = emphasis;
  *out = p;
  return true;
}

// AC-3 frame sizes in 16-bit words by frmsizecod / 2 (the nominal bit rate);
// at 44.1 kHz an odd frmsizecod adds one word.
constexpr int kAc3BitRates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                  192, 224, 256, 320, 384, 448, 512, 576, 640};
constexpr int kAc3Words441[19] = {69,  87,  104, 121, 139, 174, 208,  243,  278, 348,
                                  417, 487, 557, 696, 835, 975, 1114, 1253, 1393};
constexpr int kAc3SampleRates[3] = {48000, 44100, 32000};
constexpr int kAc3SamplesPerFrame = 1536;
// Speakers by acmod: 1+1, 1/0, 2/0, 3/0, 2/1, 3/1, 2/2, 3/2.
constexpr uint32_t kAc3Speakers[8] = {
    kStereo,
    kSpeakerFrontCenter,
    kStereo,
    kStereo | kSpeakerFrontCenter,
    kStereo | kSpeakerBackCenter,
    kStereo | kSpeakerFrontCenter | kSpeakerBackCenter,
    kStereo | kSpeakerSideLeft | kSpeakerSideRight,
    kStereo | kSpeakerFrontCenter | kSpeakerSideLeft | kSpeakerSideRight};
constexpr uint32_t kAc3LastBsid = 10;  // 9 and 10: half and quarter sample rates

bool ParseAc3(std::span<const uint8_t> data, AudioProperties* out) {
  HeaderBits bits(data);
  if (bits.Get(16) != 0x0B77) return false;
  bits.Skip(16);  // crc1
  const uint32_t fscod = bits.Get(2);
  const uint32_t frmsizecod = bits.Get(6);
  const uint32_t bsid = bits.Get(5);
  bits.Skip(3);  // bsmod
  const uint32_t acmod = bits.Get(3);
  if (fscod == 3 || frmsizecod > 37 || bsid > kAc3LastBsid) return false;
  if ((acmod & 1) && acmod != 1) bits.Skip(2);  // cmixlev
  if (acmod & 4) bits.Skip(2);                  // surmixlev
  if (acmod == 2) bits.Skip(2);                 // dsurmod
  const bool lfe = bits.Get(1) != 0;

  const int kbits = kAc3BitRates[frmsizecod / 2];
  int words = 0;
  switch (fscod) {
    case 0:
      words = 2 * kbits;
      break;
    case 1:
      words = kAc3Words441[frmsizecod / 2] + static_cast<int>(frmsizecod & 1);
      break;
    default:
      words = 3 * kbits;
      break;
  }
  const int shift = bsid > 8 ? static_cast<int>(bsid) - 8 : 0;
  AudioProperties p;
  p.codec = AudioCodec::kAc3;
  p.sample_rate = kAc3SampleRates[fscod] >> shift;
  p.channel_mask = kAc3Speakers[acmod] | (lfe ? kSpeakerLowFrequency : 0);
  p.channels = std::popcount(p.channel_mask);
  p.samples_per_frame = kAc3SamplesPerFrame;
  p.frame_bytes = 2 * words;
  p.bit_rate = (kbits * 1000) >> shift;
  *out = p;
  return true;
}

// DTS core: sample rates by SFREQ (0: not allowed), speakers by AMODE for the
// arrangements up to 3/2 (mono, dual mono, stereo, sum/difference, Lt/Rt,
// 3/0, 2/1, 3/1, 2/2, 3/2).
constexpr int kDtsSampleRates[16] = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                                     44100, 0,    0,     12000, 24000, 48000, 0,     0};
constexpr uint32_t kDtsSpeakers[10] = {
    kSpeakerFrontCenter,
    kStereo,
    kStereo,
    kStereo,
    kStereo,
    kStereo | kSpeakerFrontCenter,
    kStereo | kSpeakerBackCenter,
    kStereo | kSpeakerFrontCenter | kSpeakerBackCenter,
    kStereo | kSpeakerSideLeft | kSpeakerSideRight,
    kStereo | kSpeakerFrontCenter | kSpeakerSideLeft | kSpeakerSideRight};
constexpr uint32_t kDtsSync = 0x7FFE8001;
constexpr uint32_t kDtsMinBlocks = 5;      // NBLKS + 1 >= 6 blocks of 32 samples
constexpr uint32_t kDtsMinFrameSize = 95;  // FSIZE + 1 >= 96 bytes

bool ParseDts(std::span<const uint8_t> data, AudioProperties* out) {
  HeaderBits bits(data);
  if (bits.Get(32) != kDtsSync) return false;
  bits.Skip(1 + 5 + 1);  // frame type, deficit sample count, CRC present
  const uint32_t nblks = bits.Get(7);
  const uint32_t fsize = bits.Get(14);
  const uint32_t amode = bits.Get(6);
  const uint32_t sfreq = bits.Get(4);
  bits.Skip(5 + 9 + 1);  // bit rate index, flags, extension fields, ASPF
  const uint32_t lff = bits.Get(2);
  if (nblks < kDtsMinBlocks || fsize < kDtsMinFrameSize || amode >= std::size(kDtsSpeakers) ||
      kDtsSampleRates[sfreq] == 0 || lff == 3)
    return false;
  AudioProperties p;
  p.codec = AudioCodec::kDts;
  p.sample_rate = kDtsSampleRates[sfreq];
  p.channel_mask = kDtsSpeakers[amode] | (lff != 0 ? kSpeakerLowFrequency : 0);
  p.channels = std::popcount(p.channel_mask);
  p.samples_per_frame = 32 * static_cast<int>(nblks + 1);
  p.frame_bytes = static_cast<int>(fsize) + 1;
  p.bit_rate = static_cast<int>(int64_t{p.frame_bytes} * 8 * p.sample_rate / p.samples_per_frame);
  *out = p;
  return true;
}

// DVD LPCM carries no speaker positions; these are the usual ones for the
// channel count.
constexpr uint32_t kLpcmSpeakers[8] = {
    kSpeakerFrontCenter,
    kStereo,
    kStereo | kSpeakerFrontCenter,
    kStereo | kSpeakerBackLeft | kSpeakerBackRight,
    kStereo | kSpeakerFrontCenter | kSpeakerBackLeft | kSpeakerBackRight,
    kStereo | kSpeakerFrontCenter | kSpeakerLowFrequency | kSpeakerBackLeft | kSpeakerBackRight,
    kStereo | kSpeakerFrontCenter | kSpeakerLowFrequency | kSpeakerBackLeft | kSpeakerBackRight |
        kSpeakerBackCenter,
    kStereo | kSpeakerFrontCenter | kSpeakerLowFrequency | kSpeakerBackLeft | kSpeakerBackRight |
        kSpeakerSideLeft | kSpeakerSideRight};
constexpr int kLpcmSampleRates[2] = {48000, 96000};

bool ParseLpcm(std::span<const uint8_t> data, AudioProperties* out) {
  if (data.size() < kLpcmHeaderBytes) return false;
  // Byte 0: emphasis, mute, reserved, frame number; byte 1: quantisation
  // (2 bits), sample rate (2), reserved (1), channels - 1 (3); byte 2:
  // dynamic range control.
  const int quantisation = data[1] >> 6;
  const int rate_index = data[1] >> 4 & 3;
  if (quantisation == 3 || rate_index > 1) return false;
  AudioProperties p;
  p.codec = AudioCodec::kLpcm;
  p.sample_rate = kLpcmSampleRates[rate_index];
  p.channels = 1 + (data[1] & 7);
  p.channel_mask = kLpcmSpeakers[p.channels - 1];
  p.bits_per_sample = 16 + 4 * quantisation;
  p.bit_rate = p.sample_rate * p.channels * p.bits_per_sample;
  *out = p;
  return true;
}

// The syntax of each range of stream numbers.
struct StreamSyntax {
  int first_stream;
  int last_stream;
  AudioCodec first_codec;  // the codecs its headers can name
  AudioCodec last_codec;
  int header_bytes;
  bool (*parse)(std::span<const uint8_t> data, AudioProperties* out);
};
constexpr StreamSyntax kSyntaxes[] = {
    {0xC0, 0xDF, AudioCodec::kMp1, AudioCodec::kMp3, kMpegHeaderBytes, ParseMpegAudio},
    {0x80, 0x87, AudioCodec::kAc3, AudioCodec::kAc3, kAc3HeaderBytes, ParseAc3},
    {0x88, 0x8F, AudioCodec::kDts, AudioCodec::kDts, kDtsHeaderBytes, ParseDts},
    {0xA0, 0xA7, AudioCodec::kLpcm, AudioCodec::kLpcm, kLpcmHeaderBytes, ParseLpcm},
};

const StreamSyntax* SyntaxOf(int stream) {
  for (const StreamSyntax& syntax : kSyntaxes)
    if (stream >= syntax.first_stream && stream <= syntax.last_stream) return &syntax;
  return nullptr;
}

}  // namespace

bool SplitAudioPayload(int stream, std::span<const uint8_t> payload, AudioPayload* out) {
  const StreamSyntax* syntax = SyntaxOf(stream);
  if (syntax == nullptr) return false;
  if (syntax->first_codec == AudioCodec::kMp1) {  // MPEG audio: PES packets of its own
    *out = AudioPayload{payload, 0};
    return true;
  }
  const bool lpcm = syntax->first_codec == AudioCodec::kLpcm;
  const size_t header = kPrivateHeaderBytes + (lpcm ? kLpcmHeaderBytes : 0);
  if (payload.size() < header || payload[0] != stream) return false;
  // The pointer counts from its own last byte: 1 is the first byte after it.
  const int pointer = payload[2] << 8 | payload[3];
  const int frames = payload[1];
  out->data = payload.subspan(kPrivateHeaderBytes);
  out->first_frame = frames == 0 || pointer == 0 ? -1 : pointer - 1;
  return true;
}

int AudioHeaderBytes(int stream) {
  const StreamSyntax* syntax = SyntaxOf(stream);
  return syntax ? syntax->header_bytes : 0;
}

bool ParseAudioHeader(int stream, std::span<const uint8_t> data, AudioProperties* out) {
  const StreamSyntax* syntax = SyntaxOf(stream);
  AudioProperties p;
  if (syntax == nullptr || data.size() < static_cast<size_t>(syntax->header_bytes) ||
      !syntax->parse(data, &p))
    return false;
  p.stream = stream;
  *out = p;
  return true;
}

bool SameAudioTiming(const AudioProperties& a, const AudioProperties& b) {
  return a.codec == b.codec && a.sample_rate == b.sample_rate &&
         a.samples_per_frame == b.samples_per_frame;
}

bool PlausibleAudioProperties(const AudioProperties& p) {
  const StreamSyntax* syntax = SyntaxOf(p.stream);
  const bool codec_fits =
      syntax != nullptr && p.codec >= syntax->first_codec && p.codec <= syntax->last_codec;
  if (!codec_fits || p.channels < 1 || p.channels > kMaxAudioChannels ||
      std::popcount(p.channel_mask) != p.channels || p.sample_rate < kMinSampleRate ||
      p.sample_rate > kMaxSampleRate || p.bit_rate <= 0)
    return false;
  if (p.codec == AudioCodec::kLpcm)
    return p.bits_per_sample == 16 || p.bits_per_sample == 20 || p.bits_per_sample == 24;
  return p.bits_per_sample == 0 && p.samples_per_frame > 0 &&
         p.samples_per_frame <= kMaxSamplesPerFrame && p.frame_bytes > 0 &&
         p.frame_bytes <= kMaxFrameBytes;
}

bool ProbeAudio(int stream, std::span<const uint8_t> data, AudioProperties* out) {
  const StreamSyntax* syntax = SyntaxOf(stream);
  if (syntax && syntax->first_codec == AudioCodec::kLpcm)
    return ParseAudioHeader(stream, data, out);
  const size_t header_bytes = static_cast<size_t>(AudioHeaderBytes(stream));
  bool have_unconfirmed = false;
  AudioProperties unconfirmed;
  for (size_t pos = 0; pos + header_bytes <= data.size(); ++pos) {
    AudioProperties p;
    if (!ParseAudioHeader(stream, data.subspan(pos), &p)) continue;
    const size_t next = pos + static_cast<size_t>(p.frame_bytes);
    AudioProperties q;
    if (next + header_bytes <= data.size()) {
      if (ParseAudioHeader(stream, data.subspan(next), &q) && SameAudioTiming(p, q)) {
        *out = p;
        return true;
      }
    } else if (!have_unconfirmed) {
      have_unconfirmed = true;
      unconfirmed = p;
    }
  }
  if (have_unconfirmed) *out = unconfirmed;
  return have_unconfirmed;
}

bool ProbeAudioPackets(int stream, std::span<const std::vector<uint8_t>> payloads,
                       AudioProperties* out) {
  std::vector<uint8_t> data;
  for (const std::vector<uint8_t>& payload : payloads) {
    AudioPayload elementary;
    if (SplitAudioPayload(stream, payload, &elementary))
      data.insert(data.end(), elementary.data.begin(), elementary.data.end());
  }
  return ProbeAudio(stream, data, out);
}

std::vector<uint8_t> SilentAudioFrame(const AudioProperties& p) {
  if (p.codec != AudioCodec::kMp1 && p.codec != AudioCodec::kMp2 && p.codec != AudioCodec::kMp3)
    return {};
  const int layer = p.codec == AudioCodec::kMp1 ? 1 : p.codec == AudioCodec::kMp2 ? 2 : 3;
  // The header's fields back from the table values they stand for.
  for (uint32_t version : {3u, 2u, 0u}) {
    const int* rates = kMpegSampleRates[version];
    const int* bit_rates = kMpegBitRates[version == 3 ? 0 : 1][layer - 1];
    for (uint32_t rate = 0; rate < 3; ++rate) {
      if (rates[rate] != p.sample_rate) continue;
      for (uint32_t bitrate = 1; bitrate < 15; ++bitrate) {
        if (bit_rates[bitrate] * 1000 != p.bit_rate) continue;
        const std::vector<uint8_t> header = {
            0xFF, static_cast<uint8_t>(0xE0 | version << 3 | (4 - layer) << 1 | 1),  // no CRC
            static_cast<uint8_t>(bitrate << 4 | rate << 2),
            static_cast<uint8_t>(static_cast<uint32_t>(p.mpeg_mode) << 6 | (p.mpeg_emphasis & 3))};
        AudioProperties frame;
        if (!ParseMpegAudio(header, &frame)) return {};
        std::vector<uint8_t> silence(static_cast<size_t>(frame.frame_bytes), 0);
        std::copy(header.begin(), header.end(), silence.begin());
        return silence;
      }
    }
  }
  return {};
}

const char* AudioCodecName(AudioCodec codec) {
  switch (codec) {
    case AudioCodec::kMp1:
      return "mp1";
    case AudioCodec::kMp2:
      return "mp2";
    case AudioCodec::kMp3:
      return "mp3";
    case AudioCodec::kAc3:
      return "ac3";
    case AudioCodec::kDts:
      return "dts";
    case AudioCodec::kLpcm:
      return "lpcm";
    case AudioCodec::kNone:
      break;
  }
  return "";
}

std::string DescribeAudio(const AudioProperties& p) {
  char bits[16] = "";
  if (p.codec == AudioCodec::kLpcm) std::snprintf(bits, sizeof bits, " %d bit", p.bits_per_sample);
  char line[96];
  std::snprintf(line, sizeof line, "%s %d Hz %d ch%s (0x%02x)", AudioCodecName(p.codec),
                p.sample_rate, p.channels, bits, p.stream);
  return line;
}
