// How an audio stream is declared in an AVI file: its stream header and its
// WAVEFORMATEX with the extra data behind it, as AviFile::AddAudioStream
// takes them, for decoded PCM and for compressed frames copied as they are.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/audio_headers.h"
#include "platform/avi_file.h"

struct AviAudioFormat {
  AviStreamInfo info;
  WaveFormatEx format;
  std::vector<uint8_t> extradata;  // cbSize bytes
};

// Interleaved little-endian PCM of `container_bits` (16 or 24) per sample,
// of which the top `valid_bits` carry the signal, channels in the order of
// `channel_mask`'s bits. WAVE_FORMAT_PCM for one or two channels of 16
// bits, WAVE_FORMAT_EXTENSIBLE with the channel mask otherwise. A stream of
// blocks: dwSampleSize = dwScale = nBlockAlign, dwRate = nAvgBytesPerSec,
// so dwLength counts sample frames.
AviAudioFormat PcmAviFormat(int sample_rate, int channels, uint32_t channel_mask,
                            int container_bits, int valid_bits);

// The stream's compressed frames as they are, one frame per chunk:
// dwSampleSize 0, dwScale = samples per frame, dwRate = sample rate, so
// dwLength counts frames. MPEG audio Layers I and II as WAVE_FORMAT_MPEG
// with MPEG1WAVEFORMAT, Layer III as WAVE_FORMAT_MPEGLAYER3 with
// MPEGLAYER3WAVEFORMAT, AC-3 as WAVE_FORMAT_AC3, DTS as WAVE_FORMAT_DTS;
// nBlockAlign as players expect it (the largest Layer I/II frame, the
// samples of a Layer III frame, 3840 for AC-3, the DTS frame length).
// `properties` must be of a compressed codec (not LPCM).
AviAudioFormat CompressedAviFormat(const AudioProperties& properties);
