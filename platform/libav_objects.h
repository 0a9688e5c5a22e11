// Owning pointers to libavcodec's objects, each released by its own free
// function. Only the platform layer's sources include this; an object
// exists only once Libav() has loaded the libraries.
#pragma once

#include <memory>

#include "platform/libav_library.h"

struct CodecContextFree {
  void operator()(AVCodecContext* p) const { Libav()->avcodec_free_context(&p); }
};
struct FrameFree {
  void operator()(AVFrame* p) const { Libav()->av_frame_free(&p); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { Libav()->av_packet_free(&p); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
