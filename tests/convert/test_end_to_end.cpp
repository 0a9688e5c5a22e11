// From the MPEG file to the AVI file: the frame source's frames are what an
// uncompressed AVI holds, byte for byte, and they look like what an
// independent converter makes of the same stream.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "convert/conversion_job.h"
#include "convert/frame_builder.h"
#include "decoder/decoder.h"
#include "tests/platform/avi_test_support.h"

namespace {

const std::string kSample = std::string(VIDORLAN_SOURCE_DIR) + "/samples/sample.mpg";
constexpr int kWidth = 352;
constexpr int kHeight = 288;
constexpr size_t kFrameBytes = size_t{3} * kWidth * kHeight;

// Every frame of the sample through the copy path, bottom-up.
std::vector<std::vector<uint8_t>> Frames_Of_Sample() {
  const char* inputs[] = {kSample.c_str(), nullptr};
  FrameSource source;
  std::vector<std::vector<uint8_t>> frames;
  if (source.Open(inputs) != 0) return frames;
  FrameBuilder builder;
  if (!builder.Allocate(kWidth)) return frames;
  std::vector<uint8_t> frame(kFrameBytes);
  while (source.NextPicture() == 0) {
    builder.Build(source.Picture(), 0, kHeight, kHeight, false, frame.data());
    frames.push_back(frame);
  }
  // Past the end the source answers 2 again.
  EXPECT_EQ(source.NextPicture(), DECODER_END_OF_SEQUENCE);
  source.Close();
  return frames;
}

TEST(EndToEnd, UncompressedAviHoldsTheFrameSourcesFrames) {
  SKIP_WITHOUT_FFMPEG();
  std::vector<std::vector<uint8_t>> frames = Frames_Of_Sample();
  ASSERT_EQ(frames.size(), 50u);

  avi_test::TempDir dir;
  const char* inputs[] = {kSample.c_str(), nullptr};
  FrameSource source;
  ASSERT_EQ(source.Open(inputs), 0);
  StartForm form;
  form.output_path = dir.File("sample.avi");
  form.aspect_selection = 0;
  form.frame_rate_selection = 2;
  form.crop_top = 0;
  form.crop_height = 288;
  ConversionSettings settings;
  ConversionProgress progress;
  AviWriter writer;
  ASSERT_EQ(Read_Start_Form(form, source.stream_info, inputs, &settings).outcome,
            StartResult::kStarted);
  ConversionJob job(source, writer, settings, progress);
  ASSERT_EQ(job.Start().outcome, StartResult::kStarted);
  job.Join();
  ASSERT_EQ(progress.job_state.load(), JOB_OK);
  source.Close();

  int64_t index = 0, mismatches = 0;
  avi_test::ForEachDecodedFrame(
      form.output_path, kFrameBytes, [&](int64_t i, const uint8_t* top_down) {
        auto expected = avi_test::TopDown(frames[static_cast<size_t>(i)], kWidth, kHeight);
        if (std::memcmp(expected.data(), top_down, kFrameBytes) != 0) {
          ++mismatches;
        }
        index = i + 1;
      });
  EXPECT_EQ(index, 50);
  EXPECT_EQ(mismatches, 0);
}

TEST(EndToEnd, FramesLookLikeAnIndependentConversion) {
  SKIP_WITHOUT_FFMPEG();
  std::vector<std::vector<uint8_t>> frames = Frames_Of_Sample();
  ASSERT_EQ(frames.size(), 50u);
  avi_test::TempDir dir;
  // The stream carries no colour description: BT.709 coefficients, video range.
  std::string reference = dir.File("reference.rgb");
  avi_test::CommandResult r = avi_test::RunCommand(
      {"ffmpeg", "-v", "error", "-i", kSample, "-vf",
       "scale=in_color_matrix=bt709:in_range=tv:flags=accurate_rnd+full_chroma_int+bitexact",
       "-pix_fmt", "bgr24", "-f", "rawvideo", reference});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  std::string bytes = avi_test::ReadWholeFile(reference);
  ASSERT_EQ(bytes.size(), 50 * kFrameBytes);
  // The chroma filters differ, which shows at the pattern's sharp colour
  // edges; elsewhere the two agree within rounding. A swapped channel, a
  // wrong matrix or a flipped picture would break both figures.
  for (size_t i = 0; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    auto ours = avi_test::TopDown(frames[i], kWidth, kHeight);
    size_t close = 0;
    double drift[3] = {0, 0, 0};
    for (size_t k = 0; k < kFrameBytes; ++k) {
      int d = int(ours[k]) - int(static_cast<uint8_t>(bytes[i * kFrameBytes + k]));
      if (std::abs(d) <= 2) ++close;
      drift[k % 3] += d;
    }
    EXPECT_GT(double(close) / kFrameBytes, 0.85);
    for (double channel : drift) EXPECT_LT(std::fabs(channel / (kFrameBytes / 3)), 2.0);
  }
}

}  // namespace
