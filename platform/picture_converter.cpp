#include "platform/picture_converter.h"

#include "platform/pixel_order.h"

namespace {

// Frees nothing: a buffer over memory that stays its owner's.
void Lend_Only(void*, uint8_t*) {}

// swscale's converter from the frames' B, G, R into `format`, where only
// the byte layout changes.
std::unique_ptr<SwsContext, SwsFree> Make_Scaler(AVPixelFormat format, int width, int height) {
  const LibavApi& av = *Libav();
  std::unique_ptr<SwsContext, SwsFree> scaler(av.sws_alloc_context());
  if (scaler == nullptr) return nullptr;
  SwsContext* c = scaler.get();
  av.av_opt_set_int(c, "srcw", width, 0);
  av.av_opt_set_int(c, "srch", height, 0);
  av.av_opt_set_pixel_fmt(c, "src_format", AV_PIX_FMT_BGR24, 0);
  av.av_opt_set_int(c, "dstw", width, 0);
  av.av_opt_set_int(c, "dsth", height, 0);
  av.av_opt_set_pixel_fmt(c, "dst_format", format, 0);
  av.av_opt_set_int(c, "sws_flags", SWS_POINT, 0);
  av.av_opt_set_int(c, "threads", 0, 0);
  if (av.sws_init_context(c, nullptr, nullptr) < 0) return nullptr;
  return scaler;
}

}  // namespace

PictureConverter::PictureConverter(int width, int height) : width_(width), height_(height) {}

std::unique_ptr<PictureConverter> PictureConverter::Make(AVPixelFormat format, int width,
                                                         int height) {
  std::unique_ptr<PictureConverter> converter(new PictureConverter(width, height));
  switch (format) {
    case AV_PIX_FMT_RGB24:
      break;
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
      converter->yuv420_ =
          std::make_unique<Yuv420Converter>(width, height, format == AV_PIX_FMT_YUVJ420P);
      break;
    default:
      converter->scaler_ = Make_Scaler(format, width, height);
      if (converter->scaler_ == nullptr) return nullptr;
      break;
  }
  return converter;
}

bool PictureConverter::Convert(std::span<const uint8_t> frame, AVFrame* picture) {
  // Bottom-up rows: the top of the picture is the last row in memory.
  const std::ptrdiff_t row_bytes = 3 * std::ptrdiff_t{width_};
  const uint8_t* top = frame.data() + row_bytes * (height_ - 1);
  if (yuv420_ != nullptr) {
    yuv420_->Convert(top, -row_bytes, picture->data, picture->linesize);
    return true;
  }
  if (scaler_ == nullptr) {
    // R, G, B: only the byte order changes; nothing past a row is read.
    for (int y = 0; y < height_; ++y) {
      pixel_order_kernels.swap_outer_bytes(
          top - row_bytes * y, picture->data[0] + std::ptrdiff_t{picture->linesize[0]} * y, width_);
    }
    return true;
  }
  // swscale reads the frame through a buffer that lends it for this call,
  // read-only.
  const LibavApi& av = *Libav();
  FramePtr source(av.av_frame_alloc());
  if (source == nullptr) return false;
  source->buf[0] = av.av_buffer_create(const_cast<uint8_t*>(frame.data()), frame.size(), Lend_Only,
                                       nullptr, AV_BUFFER_FLAG_READONLY);
  if (source->buf[0] == nullptr) return false;
  source->data[0] = const_cast<uint8_t*>(top);
  source->linesize[0] = static_cast<int>(-row_bytes);
  source->format = AV_PIX_FMT_BGR24;
  source->width = width_;
  source->height = height_;
  return av.sws_scale_frame(scaler_.get(), picture, source.get()) >= 0;
}
