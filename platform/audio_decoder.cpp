#include "platform/audio_decoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <mutex>

#include "platform/libav_library.h"
#include "platform/libav_objects.h"

namespace {

// Bytes of a following frame's header a parser may have read before it
// hands out the frame before it (fewer than any frame is long).
constexpr int64_t kParserReadsOn = 16;

struct ParserClose {
  void operator()(AVCodecParserContext* p) const { Libav()->av_parser_close(p); }
};

// Decoders and their parsers tell of damage through av_log, frame by frame;
// the converter reports what it does about it in its own words instead.
// Everything else keeps libavutil's handling.
void DropDecoderLog(void* object, int level, const char* format, va_list args) {
  const AVClass* c = object ? *static_cast<const AVClass* const*>(object) : nullptr;
  if (c && (c->get_category ? c->get_category(object) : c->category) == AV_CLASS_CATEGORY_DECODER)
    return;
  Libav()->av_log_default_callback(object, level, format, args);
}

void QuietDecoders() {
  static std::once_flag once;
  std::call_once(once, [] { Libav()->av_log_set_callback(DropDecoderLog); });
}

AVCodecID CodecIdOf(AudioCodec codec) {
  switch (codec) {
    case AudioCodec::kMp1:
      return AV_CODEC_ID_MP1;
    case AudioCodec::kMp2:
      return AV_CODEC_ID_MP2;
    case AudioCodec::kMp3:
      return AV_CODEC_ID_MP3;
    case AudioCodec::kAc3:
      return AV_CODEC_ID_AC3;
    case AudioCodec::kDts:
      return AV_CODEC_ID_DTS;
    case AudioCodec::kLpcm:
    case AudioCodec::kNone:
      break;
  }
  return AV_CODEC_ID_NONE;
}

int Clip16(long v) {
  return static_cast<int>(std::clamp<long>(v, INT16_MIN, INT16_MAX));
}

// Floats to 16 bits the way libswresample converts them (rounded to the
// nearest, ties to even, and clipped), so that the output matches ffmpeg's
// for the same stream; what is not a number becomes silence.
template <typename F>
int FromFloat(F v) {
  return std::isfinite(v) ? Clip16(std::lrint(std::clamp<F>(v, -2, 2) * 32768)) : 0;
}

// Writes one channel of a decoded frame as 16-bit little-endian samples to
// every `stride`-th byte pair of `out`, each sample of type T converted
// with `convert`.
template <typename T, typename Convert>
void PutChannel(const AVFrame* frame, int channel, uint8_t* out, size_t stride, Convert convert) {
  const bool planar =
      Libav()->av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format)) != 0;
  const uint8_t* in = planar ? frame->extended_data[channel]
                             : frame->extended_data[0] + sizeof(T) * static_cast<size_t>(channel);
  const size_t step = sizeof(T) * (planar ? 1 : static_cast<size_t>(frame->ch_layout.nb_channels));
  for (int i = 0; i < frame->nb_samples; ++i, in += step, out += stride) {
    T v;
    std::memcpy(&v, in, sizeof v);
    const auto sample = static_cast<uint16_t>(convert(v));
    out[0] = static_cast<uint8_t>(sample);
    out[1] = static_cast<uint8_t>(sample >> 8);
  }
}

// Integers keep their top 16 bits, as libswresample does.
void PutChannel16(const AVFrame* frame, int channel, uint8_t* out, size_t stride) {
  switch (Libav()->av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame->format))) {
    case AV_SAMPLE_FMT_U8:
      PutChannel<uint8_t>(frame, channel, out, stride, [](uint8_t v) { return (v - 128) * 256; });
      break;
    case AV_SAMPLE_FMT_S16:
      PutChannel<int16_t>(frame, channel, out, stride, [](int16_t v) { return v; });
      break;
    case AV_SAMPLE_FMT_S32:
      PutChannel<int32_t>(frame, channel, out, stride, [](int32_t v) { return v >> 16; });
      break;
    case AV_SAMPLE_FMT_S64:
      PutChannel<int64_t>(frame, channel, out, stride, [](int64_t v) { return v >> 48; });
      break;
    case AV_SAMPLE_FMT_FLT:
      PutChannel<float>(frame, channel, out, stride, FromFloat<float>);
      break;
    case AV_SAMPLE_FMT_DBL:
      PutChannel<double>(frame, channel, out, stride, FromFloat<double>);
      break;
    default:  // no other formats come from decoders; silence
      break;
  }
}

}  // namespace

struct AudioDecoder::Codec {
  CodecContextPtr decoder;
  // The parser writes what it finds into a context of its own, as
  // libavformat keeps it apart from the decoder's.
  CodecContextPtr parser_context;
  std::unique_ptr<AVCodecParserContext, ParserClose> parser;
  PacketPtr packet;
  FramePtr frame;
  std::vector<uint8_t> input;  // a payload with the padding readers may touch
  int reported_channels = 0;   // the last channel count that differed
  int reported_rate = 0;       // the last sample rate that differed
};

AudioDecoder::AudioDecoder(Key, const AudioProperties& properties)
    : AudioConverter(properties, PcmAviFormat(properties.sample_rate, properties.channels,
                                              properties.channel_mask, 16, 16)) {}

AudioDecoder::~AudioDecoder() = default;

std::unique_ptr<AudioDecoder> AudioDecoder::Create(const AudioProperties& properties) {
  if (!PlausibleAudioProperties(properties)) return nullptr;
  auto decoder = std::make_unique<AudioDecoder>(Key{}, properties);
  if (properties.codec == AudioCodec::kLpcm) return decoder;
  const LibavApi* const api = Libav();
  if (api == nullptr) return nullptr;
  const LibavApi& av = *api;
  const AVCodec* codec = av.avcodec_find_decoder(CodecIdOf(properties.codec));
  if (codec == nullptr) return nullptr;
  QuietDecoders();
  auto state = std::make_unique<Codec>();
  state->decoder.reset(av.avcodec_alloc_context3(codec));
  // Of the decoder's class too, so that the parser's messages count as
  // the decoder's.
  state->parser_context.reset(av.avcodec_alloc_context3(codec));
  state->parser.reset(av.av_parser_init(codec->id));
  state->packet.reset(av.av_packet_alloc());
  state->frame.reset(av.av_frame_alloc());
  if (!state->decoder || !state->parser_context || !state->parser || !state->packet ||
      !state->frame || av.avcodec_open2(state->decoder.get(), codec, nullptr) < 0)
    return nullptr;
  decoder->codec_ = std::move(state);
  return decoder;
}

void AudioDecoder::Silence(int64_t samples, int64_t pts, std::vector<AudioPacket>* out) {
  AudioPacket packet;
  packet.samples = static_cast<int32_t>(samples);
  packet.pts = pts;
  packet.data.assign(static_cast<size_t>(samples * Properties().channels) * 2, 0);
  Emit(std::move(packet), out);
}

void AudioDecoder::Push(std::span<const uint8_t> payload, int64_t pts,
                        std::vector<AudioPacket>* out) {
  AudioPayload elementary;
  if (!SplitAudioPayload(Properties().stream, payload, &elementary)) return;
  if (IsLpcm()) {
    PushLpcm(elementary, pts, 2, out);
    return;
  }

  const LibavApi& av = *Libav();
  std::vector<uint8_t>& input = codec_->input;
  input.assign(elementary.data.begin(), elementary.data.end());
  input.resize(input.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  const uint8_t* data = input.data();
  int size = static_cast<int>(elementary.data.size());
  times_.Add(size, elementary.first_frame, pts);
  while (size > 0) {
    uint8_t* frame = nullptr;
    int frame_size = 0;
    const int used =
        av.av_parser_parse2(codec_->parser.get(), codec_->parser_context.get(), &frame, &frame_size,
                            data, size, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (used < 0) break;
    data += used;
    size -= used;
    parsed_ += used;
    // A frame the parser completes ends where its input was used up to, or
    // a little before: a parser that finds the next frame's header only
    // once it is whole has read a few bytes on.
    if (frame_size > 0) {
      DecodeFrame(std::span<const uint8_t>(frame, static_cast<size_t>(frame_size)),
                  times_.FrameAt(parsed_ - frame_size, kParserReadsOn), out);
    }
  }
}

void AudioDecoder::Flush(std::vector<AudioPacket>* out) {
  if (!codec_) return;  // LPCM: a cut block at the very end is dropped
  const LibavApi& av = *Libav();
  uint8_t* frame = nullptr;
  int frame_size = 0;
  av.av_parser_parse2(codec_->parser.get(), codec_->parser_context.get(), &frame, &frame_size,
                      nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
  if (frame_size > 0) {
    DecodeFrame(std::span<const uint8_t>(frame, static_cast<size_t>(frame_size)),
                times_.FrameAt(parsed_ - frame_size, kParserReadsOn), out);
  }
  DecodeFrame({}, kNoAudioPts, out);  // drains the decoder
  av.avcodec_flush_buffers(codec_->decoder.get());
}

// Decodes one frame the parser found (empty: drains the decoder) and
// appends what it gives, fitted to the output format, or silence.
void AudioDecoder::DecodeFrame(std::span<const uint8_t> bytes, int64_t pts,
                               std::vector<AudioPacket>* out) {
  const LibavApi& av = *Libav();
  const AudioProperties& format = Properties();
  AVCodecContext* ctx = codec_->decoder.get();
  AVPacket* packet = codec_->packet.get();
  AVFrame* frame = codec_->frame.get();
  const bool drain = bytes.empty();
  av.av_packet_unref(packet);
  if (!drain) {
    // Not reference-counted: libavcodec copies it into a padded buffer.
    packet->data = const_cast<uint8_t*>(bytes.data());
    packet->size = static_cast<int>(bytes.size());
  }
  bool decoded = false;
  if (av.avcodec_send_packet(ctx, drain ? nullptr : packet) >= 0) {
    while (av.avcodec_receive_frame(ctx, frame) >= 0) {
      decoded = true;
      const int samples = frame->nb_samples;
      const int channels = frame->ch_layout.nb_channels;
      if (frame->sample_rate != format.sample_rate || samples <= 0 || channels <= 0) {
        if (frame->sample_rate > 0 && frame->sample_rate != codec_->reported_rate) {
          codec_->reported_rate = frame->sample_rate;
          Report("sample rate changed to " + std::to_string(frame->sample_rate) +
                 " Hz: silence in its place");
        }
        if (frame->sample_rate > 0)
          Silence(int64_t{samples} * format.sample_rate / frame->sample_rate, pts, out);
        av.av_frame_unref(frame);
        pts = kNoAudioPts;
        continue;
      }
      // Which decoded channel feeds each output channel (-1: silence).
      int source[kMaxAudioChannels];
      const int out_channels = format.channels;
      const uint64_t in_mask =
          frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame->ch_layout.u.mask : 0;
      bool any = false;
      uint32_t out_mask = format.channel_mask;
      for (int c = 0; c < out_channels; ++c) {
        const uint32_t speaker = out_mask & (~out_mask + 1);  // lowest bit left
        out_mask &= out_mask - 1;
        source[c] = channels == out_channels ? c
                    : (in_mask & speaker)    ? std::popcount(in_mask & (speaker - 1))
                                             : -1;
        any = any || source[c] >= 0;
      }
      if (!any)
        for (int c = 0; c < out_channels; ++c) source[c] = c < channels ? c : -1;
      if (channels != out_channels && channels != codec_->reported_channels) {
        codec_->reported_channels = channels;
        Report(std::to_string(channels) + " channels instead of " + std::to_string(out_channels) +
               ": fitted by speaker position");
      }
      AudioPacket decoded_packet;
      decoded_packet.samples = samples;
      decoded_packet.pts = pts;
      const size_t stride = 2 * static_cast<size_t>(out_channels);
      decoded_packet.data.assign(stride * static_cast<size_t>(samples), 0);
      for (int c = 0; c < out_channels; ++c)
        if (source[c] >= 0)
          PutChannel16(frame, source[c], decoded_packet.data.data() + 2 * c, stride);
      Emit(std::move(decoded_packet), out);
      av.av_frame_unref(frame);
      pts = kNoAudioPts;
    }
  }
  if (decoded || drain) return;
  AudioProperties header;
  if (ParseAudioHeader(format.stream, bytes, &header)) {
    const int64_t samples =
        int64_t{header.samples_per_frame} * format.sample_rate / header.sample_rate;
    Report("undecodable frame: " + std::to_string(samples) + " samples of silence");
    Silence(samples, pts, out);
  } else if (SamplesOut() == 0) {
    Report(std::to_string(bytes.size()) + " bytes before the first frame skipped");
  } else {
    // A frame whose header is damaged: as long as its bytes last at the
    // stream's bit rate.
    const int64_t samples = (int64_t{8} * static_cast<int64_t>(bytes.size()) * format.sample_rate +
                             format.bit_rate / 2) /
                            format.bit_rate;
    Report(std::to_string(bytes.size()) +
           " bytes without a frame header: " + std::to_string(samples) + " samples of silence");
    Silence(samples, kNoAudioPts, out);
  }
}
