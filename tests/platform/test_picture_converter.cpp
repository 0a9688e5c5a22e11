// The compressors' pixel-format conversions that do not go through swscale
// give the bytes swscale gives (its bicubic scaler with accurate rounding for
// YUV 4:2:0, point sampling for R, G, B) on generated pictures of many
// sizes, odd ones and ones of a row or two included; and the chroma
// filter's shape holds for every height.
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <vector>

#include "platform/chroma_filter.h"
#include "platform/compressor.h"
#include "platform/libav_objects.h"
#include "platform/picture_converter.h"
#include "platform/yuv420_kernels.h"

namespace {

// A frame of `width` x `height` B, G, R pixels, bottom row first, followed
// by CompressedStream::kReadAhead bytes that are part of the pattern too
// (an odd width's last pixel pair reaches into them).
std::vector<uint8_t> Pattern(int width, int height, int kind, std::mt19937& rng) {
  std::vector<uint8_t> frame(size_t{3} * width * height + CompressedStream::kReadAhead);
  for (size_t i = 0; i < frame.size(); ++i) {
    const size_t x = i % (3 * size_t(width)) / 3, y = i / (3 * size_t(width));
    const unsigned r = rng();
    switch (kind) {
      case 0:  // noise
        frame[i] = static_cast<uint8_t>(r);
        break;
      case 1:  // noise mostly at the extremes
        frame[i] = r % 3 == 0 ? 0 : r % 3 == 1 ? 255 : static_cast<uint8_t>(r >> 8);
        break;
      case 2:  // rows of black and white: the filter's strongest overshoot
        frame[i] = y % 2 ? 255 : 0;
        break;
      default:  // saturated colours in a checkerboard
        frame[i] = (x + y + i % 3) % 2 ? 255 : 0;
        break;
    }
  }
  return frame;
}

FramePtr Picture(AVPixelFormat format, int width, int height) {
  FramePtr picture(Libav()->av_frame_alloc());
  picture->format = format;
  picture->width = width;
  picture->height = height;
  EXPECT_GE(Libav()->av_frame_get_buffer(picture.get(), 0), 0);
  return picture;
}

// swscale's conversion of `frame` into a picture of `format`.
FramePtr Swscale(const std::vector<uint8_t>& frame, AVPixelFormat format, int width, int height) {
  const LibavApi& av = *Libav();
  std::unique_ptr<SwsContext, SwsFree> scaler(av.sws_alloc_context());
  SwsContext* c = scaler.get();
  av.av_opt_set_int(c, "srcw", width, 0);
  av.av_opt_set_int(c, "srch", height, 0);
  av.av_opt_set_pixel_fmt(c, "src_format", AV_PIX_FMT_BGR24, 0);
  av.av_opt_set_int(c, "dstw", width, 0);
  av.av_opt_set_int(c, "dsth", height, 0);
  av.av_opt_set_pixel_fmt(c, "dst_format", format, 0);
  av.av_opt_set_int(c, "sws_flags",
                    format == AV_PIX_FMT_RGB24 ? SWS_POINT : SWS_BICUBIC | SWS_ACCURATE_RND, 0);
  EXPECT_GE(av.sws_init_context(c, nullptr, nullptr), 0);
  FramePtr source(av.av_frame_alloc());
  source->buf[0] = av.av_buffer_create(
      const_cast<uint8_t*>(frame.data()), frame.size(), [](void*, uint8_t*) {}, nullptr,
      AV_BUFFER_FLAG_READONLY);
  const int row_bytes = 3 * width;
  source->data[0] = const_cast<uint8_t*>(frame.data()) + size_t(row_bytes) * (height - 1);
  source->linesize[0] = -row_bytes;
  source->format = AV_PIX_FMT_BGR24;
  source->width = width;
  source->height = height;
  FramePtr picture = Picture(format, width, height);
  EXPECT_GE(av.sws_scale_frame(c, picture.get(), source.get()), 0);
  return picture;
}

void Expect_Same_Planes(const AVFrame& expected, const AVFrame& actual, int planes) {
  for (int p = 0; p < planes; ++p) {
    const bool chroma = p > 0;
    const int bytes = expected.format == AV_PIX_FMT_RGB24 ? 3 * expected.width
                      : chroma                            ? (expected.width + 1) / 2
                                                          : expected.width;
    const int rows = chroma ? (expected.height + 1) / 2 : expected.height;
    for (int y = 0; y < rows; ++y) {
      const uint8_t* e = expected.data[p] + ptrdiff_t{expected.linesize[p]} * y;
      const uint8_t* a = actual.data[p] + ptrdiff_t{actual.linesize[p]} * y;
      ASSERT_EQ(std::vector<uint8_t>(a, a + bytes), std::vector<uint8_t>(e, e + bytes))
          << "plane " << p << " row " << y;
    }
  }
}

TEST(PictureConverter, GivesSwscalesBytes) {
  ASSERT_NE(Libav(), nullptr);
  Libav()->av_log_set_level(AV_LOG_ERROR);  // not the warning on full-range formats
  constexpr int kSizes[][2] = {{1, 1},   {2, 1},    {1, 2},     {2, 2},      {3, 3},  {8, 4},
                               {7, 5},   {9, 6},    {16, 7},    {33, 17},    {64, 3}, {17, 40},
                               {96, 64}, {31, 101}, {720, 576}, {1920, 1080}};
  std::mt19937 rng(11);
  for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_RGB24}) {
    // The YUV conversion reproduces libswscale 6 (FFmpeg 5), which other
    // versions need not match.
    if (format != AV_PIX_FMT_RGB24 && LIBSWSCALE_VERSION_MAJOR != 6) continue;
    for (const auto& [width, height] : kSizes) {
      auto converter = PictureConverter::Make(format, width, height);
      ASSERT_NE(converter, nullptr);
      for (int kind = 0; kind < 4; ++kind) {
        SCOPED_TRACE(testing::Message() << "format " << format << ", " << width << "x" << height
                                        << ", pattern " << kind);
        const auto frame = Pattern(width, height, kind, rng);
        FramePtr picture = Picture(format, width, height);
        ASSERT_TRUE(converter->Convert(
            std::span(frame.data(), frame.size() - CompressedStream::kReadAhead), picture.get()));
        Expect_Same_Planes(*Swscale(frame, format, width, height), *picture,
                           format == AV_PIX_FMT_RGB24 ? 1 : 3);
      }
    }
  }
}

TEST(ChromaFilter, ReadsOnlyRowsOfThePictureWithWeightsOfOne) {
  for (int rows = 1; rows <= 1200; ++rows) {
    SCOPED_TRACE(testing::Message() << rows << " rows");
    const ChromaFilter filter = Halving_Chroma_Filter(rows);
    const size_t out_rows = static_cast<size_t>(rows + 1) / 2;
    ASSERT_EQ(filter.first_row.size(), out_rows);
    ASSERT_EQ(filter.weights.size(), out_rows * static_cast<size_t>(filter.taps));
    ASSERT_TRUE(filter.taps >= 1 && filter.taps <= kMaxFilterTaps);
    for (size_t c = 0; c < out_rows; ++c) {
      ASSERT_GE(filter.first_row[c], c > 0 ? filter.first_row[c - 1] : 0);
      ASSERT_LE(filter.first_row[c] + filter.taps, rows);
      const auto weights = filter.weights.begin() + static_cast<ptrdiff_t>(c) * filter.taps;
      ASSERT_EQ(std::accumulate(weights, weights + filter.taps, 0), 4096);
    }
  }
}

}  // namespace
