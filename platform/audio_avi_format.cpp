#include "platform/audio_avi_format.h"

namespace {

constexpr uint32_t kDefaultQuality = 0xFFFFFFFFu;
constexpr uint16_t kAc3BlockAlign = 3840;  // the largest AC-3 frame

// MPEG1WAVEFORMAT and MPEGLAYER3WAVEFORMAT values.
constexpr uint16_t kAcmMpegLayer1 = 1;
constexpr uint16_t kAcmMpegLayer2 = 2;
constexpr uint16_t kAcmMpegIdMpeg1 = 0x10;
constexpr uint16_t kMpegLayer3IdMpeg = 1;
constexpr uint32_t kMpegLayer3PaddingIso = 0;

// KSDATAFORMAT_SUBTYPE_PCM after the format tag's 32 bits.
constexpr uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                   0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

AviStreamInfo AudioStreamInfo(uint32_t scale, uint32_t rate, uint32_t sample_size) {
  AviStreamInfo info;
  info.fccType = MakeFourCC("auds");
  info.dwScale = scale;
  info.dwRate = rate;
  info.dwQuality = kDefaultQuality;
  info.dwSampleSize = sample_size;
  return info;
}

}  // namespace

AviAudioFormat PcmAviFormat(int sample_rate, int channels, uint32_t channel_mask,
                            int container_bits, int valid_bits) {
  AviAudioFormat f;
  const bool extensible = channels > 2 || container_bits > 16;
  WaveFormatEx& w = f.format;
  w.wFormatTag = extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM;
  w.nChannels = static_cast<uint16_t>(channels);
  w.nSamplesPerSec = static_cast<uint32_t>(sample_rate);
  w.nBlockAlign = static_cast<uint16_t>(channels * container_bits / 8);
  w.nAvgBytesPerSec = w.nSamplesPerSec * w.nBlockAlign;
  w.wBitsPerSample = static_cast<uint16_t>(container_bits);
  if (extensible) {
    Put16(f.extradata, static_cast<uint32_t>(valid_bits));  // wValidBitsPerSample
    Put32(f.extradata, channel_mask);
    Put32(f.extradata, WAVE_FORMAT_PCM);
    f.extradata.insert(f.extradata.end(), std::begin(kGuidTail), std::end(kGuidTail));
  }
  f.info = AudioStreamInfo(w.nBlockAlign, w.nAvgBytesPerSec, w.nBlockAlign);
  return f;
}

AviAudioFormat CompressedAviFormat(const AudioProperties& p) {
  AviAudioFormat f;
  WaveFormatEx& w = f.format;
  w.nChannels = static_cast<uint16_t>(p.channels);
  w.nSamplesPerSec = static_cast<uint32_t>(p.sample_rate);
  w.nAvgBytesPerSec = static_cast<uint32_t>(p.bit_rate / 8);
  const int64_t bit_rate = p.bit_rate;
  switch (p.codec) {
    case AudioCodec::kMp1:
    case AudioCodec::kMp2: {
      // Room for a padded frame: 48 (Layer I, in slots of 4 bytes) or 144
      // bytes per bit/s and Hz.
      const bool layer1 = p.codec == AudioCodec::kMp1;
      const int64_t slots = (bit_rate * (layer1 ? 12 : 144) + p.sample_rate - 1) / p.sample_rate;
      w.wFormatTag = WAVE_FORMAT_MPEG;
      w.nBlockAlign = static_cast<uint16_t>(slots * (layer1 ? 4 : 1));
      Put16(f.extradata, layer1 ? kAcmMpegLayer1 : kAcmMpegLayer2);    // fwHeadLayer
      Put32(f.extradata, static_cast<uint32_t>(p.bit_rate));           // dwHeadBitrate
      Put16(f.extradata, 1u << static_cast<int>(p.mpeg_mode));         // fwHeadMode
      Put16(f.extradata, 0);                                           // fwHeadModeExt
      Put16(f.extradata, static_cast<uint32_t>(p.mpeg_emphasis + 1));  // wHeadEmphasis
      Put16(f.extradata, p.mpeg1 ? kAcmMpegIdMpeg1 : 0);               // fwHeadFlags
      Put32(f.extradata, 0);                                           // dwPTSLow
      Put32(f.extradata, 0);                                           // dwPTSHigh
      break;
    }
    case AudioCodec::kMp3:
      w.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
      w.nBlockAlign = static_cast<uint16_t>(p.samples_per_frame);
      Put16(f.extradata, kMpegLayer3IdMpeg);                     // wID
      Put32(f.extradata, kMpegLayer3PaddingIso);                 // fdwFlags
      Put16(f.extradata, static_cast<uint32_t>(p.frame_bytes));  // nBlockSize
      Put16(f.extradata, 1);                                     // nFramesPerBlock
      Put16(f.extradata, 0);                                     // nCodecDelay: unknown
      break;
    case AudioCodec::kAc3:
      w.wFormatTag = WAVE_FORMAT_AC3;
      w.nBlockAlign = kAc3BlockAlign;
      break;
    case AudioCodec::kDts:
      w.wFormatTag = WAVE_FORMAT_DTS;
      w.nBlockAlign = static_cast<uint16_t>(p.frame_bytes);
      break;
    case AudioCodec::kLpcm:
    case AudioCodec::kNone:
      break;
  }
  f.info = AudioStreamInfo(static_cast<uint32_t>(p.samples_per_frame),
                           static_cast<uint32_t>(p.sample_rate), 0);
  return f;
}
