// libavcodec is loaded only once something needs it. A binary of its own:
// the other platform tests list the compressors while registering, which
// loads it before any test runs.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/audio_decoder.h"
#include "platform/compressor.h"

namespace {

bool MappedInThisProcess(const std::string& library) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (line.find(library) != std::string::npos) return true;
  return false;
}

TEST(LibavLoading, OnlyAnEncoderOrDecoderLoadsLibavcodec) {
  CompressedStream stream;
  ASSERT_EQ(stream.Open({}, BitmapInfoHeader{40, 16, 16, 1, 24, BI_RGB}, 25, 1), AVI_OK);
  std::vector<uint8_t> frame(stream.FrameBytes());
  CompressedFrame packet;
  ASSERT_EQ(stream.Compress(frame, &packet), AVI_OK);
  AudioProperties lpcm{
      AudioCodec::kLpcm, 0xA0, 48000, 2, kSpeakerFrontLeft | kSpeakerFrontRight, 16};
  lpcm.bit_rate = 48000 * 2 * 16;
  ASSERT_TRUE(AudioDecoder::Create(lpcm));
  EXPECT_FALSE(MappedInThisProcess("libavcodec"));

  FindCompressor("ffv1", nullptr);
  EXPECT_TRUE(MappedInThisProcess("libavcodec"));
}

}  // namespace
