#include "platform/audio_silence.h"

#include "platform/libav_library.h"
#include "platform/libav_objects.h"

namespace {

// One frame of zero samples through the codec's encoder: the first packet
// it gives, or nothing (also without the libraries).
std::vector<uint8_t> EncodeSilence(AVCodecID id, const AudioProperties& p) {
  const LibavApi* const api = Libav();
  if (api == nullptr) return {};
  const LibavApi& av = *api;
  const AVCodec* codec = av.avcodec_find_encoder(id);
  if (codec == nullptr || codec->sample_fmts == nullptr) return {};
  CodecContextPtr ctx(av.avcodec_alloc_context3(codec));
  FramePtr frame(av.av_frame_alloc());
  PacketPtr packet(av.av_packet_alloc());
  if (!ctx || !frame || !packet) return {};
  ctx->sample_rate = p.sample_rate;
  ctx->bit_rate = p.bit_rate;
  ctx->sample_fmt = codec->sample_fmts[0];
  ctx->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;  // the DTS encoder is marked so
  // The speaker bits of the stream's mask are libavutil's channel bits.
  if (av.av_channel_layout_from_mask(&ctx->ch_layout, p.channel_mask) < 0 ||
      ctx->ch_layout.nb_channels != p.channels || av.avcodec_open2(ctx.get(), codec, nullptr) < 0 ||
      ctx->frame_size != p.samples_per_frame)
    return {};
  frame->nb_samples = ctx->frame_size;
  frame->format = ctx->sample_fmt;
  frame->sample_rate = ctx->sample_rate;
  if (av.av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout) < 0 ||
      av.av_frame_get_buffer(frame.get(), 0) < 0 ||
      av.av_samples_set_silence(frame->extended_data, 0, frame->nb_samples,
                                frame->ch_layout.nb_channels, ctx->sample_fmt) < 0 ||
      av.avcodec_send_frame(ctx.get(), frame.get()) < 0 ||
      av.avcodec_send_frame(ctx.get(), nullptr) < 0 ||
      av.avcodec_receive_packet(ctx.get(), packet.get()) < 0)
    return {};
  return {packet->data, packet->data + packet->size};
}

}  // namespace

std::vector<uint8_t> SilentCopyFrame(const AudioProperties& p) {
  std::vector<uint8_t> frame;
  switch (p.codec) {
    case AudioCodec::kAc3:
      frame = EncodeSilence(AV_CODEC_ID_AC3, p);
      break;
    case AudioCodec::kDts:
      frame = EncodeSilence(AV_CODEC_ID_DTS, p);
      break;
    default:
      return SilentAudioFrame(p);
  }
  // Only a frame that reads back with the stream's timing may fill it.
  AudioProperties made;
  if (!ParseAudioHeader(p.stream, frame, &made) || !SameAudioTiming(made, p)) return {};
  return frame;
}
