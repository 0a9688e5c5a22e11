// The conversion of the compressors' input frames (24-bit B, G, R, the
// bottom row first) into the pixel format of an encoder's pictures:
// - R, G, B (HuffYUV): the bytes reordered by a kernel;
// - YUV 4:2:0 (MJPEG full range, MPEG-4 and H.264 limited range): our own
//   converter (platform/yuv420_converter.h), which gives swscale's bytes;
// - the others (FFV1's B, G, R, 0 and Ut Video's planar G, B, R): swscale's
//   unscaled converters, cutting each picture into slices for as many
//   threads as the machine has cores, with the result of one piece.
// Only the platform layer's sources include this.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/libav_objects.h"
#include "platform/yuv420_converter.h"

struct SwsFree {
  void operator()(SwsContext* p) const { Libav()->sws_freeContext(p); }
};

class PictureConverter {
 public:
  // The converter for pictures of `format`, width x height; nullptr when
  // out of memory or when swscale cannot convert into `format`.
  static std::unique_ptr<PictureConverter> Make(AVPixelFormat format, int width, int height);

  // `frame` (3 x width x height bytes, followed by at least
  // CompressedStream::kReadAhead readable bytes) into `picture`, which has
  // buffers of the format and size. False when swscale fails.
  bool Convert(std::span<const uint8_t> frame, AVFrame* picture);

 private:
  PictureConverter(int width, int height);

  int width_;
  int height_;
  std::unique_ptr<Yuv420Converter> yuv420_;
  std::unique_ptr<SwsContext, SwsFree> scaler_;
};
