// libavcodec, libavutil and libswscale, loaded when first needed: the
// compressors, the audio decoders and the silent AC-3 and DTS frames call
// them through Libav(), so that a conversion which needs none of them
// starts without loading them and the many libraries they depend on.
// Only the platform layer's sources include this.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswscale/swscale.h>
}

// The functions called, by the library that defines them.
#define VIDORLAN_LIBAVUTIL_FUNCTIONS(X) \
  X(av_buffer_create)                   \
  X(av_channel_layout_copy)             \
  X(av_channel_layout_from_mask)        \
  X(av_frame_alloc)                     \
  X(av_frame_free)                      \
  X(av_frame_get_buffer)                \
  X(av_frame_is_writable)               \
  X(av_frame_unref)                     \
  X(av_get_packed_sample_fmt)           \
  X(av_log_default_callback)            \
  X(av_log_set_callback)                \
  X(av_log_set_level)                   \
  X(av_opt_set)                         \
  X(av_opt_set_double)                  \
  X(av_opt_set_int)                     \
  X(av_opt_set_pixel_fmt)               \
  X(av_sample_fmt_is_planar)            \
  X(av_samples_set_silence)
#define VIDORLAN_LIBAVCODEC_FUNCTIONS(X) \
  X(av_packet_alloc)                     \
  X(av_packet_free)                      \
  X(av_packet_unref)                     \
  X(av_parser_close)                     \
  X(av_parser_init)                      \
  X(av_parser_parse2)                    \
  X(avcodec_alloc_context3)              \
  X(avcodec_find_decoder)                \
  X(avcodec_find_encoder)                \
  X(avcodec_find_encoder_by_name)        \
  X(avcodec_flush_buffers)               \
  X(avcodec_free_context)                \
  X(avcodec_open2)                       \
  X(avcodec_receive_frame)               \
  X(avcodec_receive_packet)              \
  X(avcodec_send_frame)                  \
  X(avcodec_send_packet)
#define VIDORLAN_LIBSWSCALE_FUNCTIONS(X) \
  X(sws_alloc_context)                   \
  X(sws_freeContext)                     \
  X(sws_init_context)                    \
  X(sws_scale_frame)

struct LibavApi {
#define VIDORLAN_LIBAV_POINTER(name) decltype(&::name) name;
  VIDORLAN_LIBAVUTIL_FUNCTIONS(VIDORLAN_LIBAV_POINTER)
  VIDORLAN_LIBAVCODEC_FUNCTIONS(VIDORLAN_LIBAV_POINTER)
  VIDORLAN_LIBSWSCALE_FUNCTIONS(VIDORLAN_LIBAV_POINTER)
#undef VIDORLAN_LIBAV_POINTER
};

// The libraries of the major versions these headers describe, loaded on the
// first call (from any thread) and kept loaded; nullptr, on every call, when
// one of them or one of its functions is missing. Whatever needs them then
// behaves as when the library lacks the codec.
const LibavApi* Libav();
