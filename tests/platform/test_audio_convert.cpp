// The audio converters on streams ffmpeg makes, against ffmpeg's decoding
// and stream copy of the same streams: decoded PCM within rounding (LPCM
// exactly), copied frames byte for byte, sample counts and time stamps; and
// on the same streams damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/audio_silence.h"
#include "tests/platform/audio_test_support.h"

namespace {

using avi_test::AudioSource;
using avi_test::TempDir;

struct RoundTripCase {
  const char* name;
  AudioSource source;
  int stream;
  AudioCodec codec;
  const char* copy_format;  // ffmpeg's output for the stream copied
  int largest_difference;   // decoded against ffmpeg's decoding
};

const RoundTripCase kRoundTrips[] = {
    {"mp2_stereo_vob", {2, 48000, "-c:a mp2 -b:a 192k", "vob"}, 0xC0, AudioCodec::kMp2, "mp2", 1},
    {"mp2_mono_system_stream",
     {1, 44100, "-c:a mp2 -b:a 64k", "mpeg"},
     0xC0,
     AudioCodec::kMp2,
     "mp2",
     1},
    {"mp3_stereo",
     {2, 48000, "-c:a libmp3lame -b:a 128k", "vob"},
     0xC0,
     AudioCodec::kMp3,
     "mp3",
     1},
    {"mp3_low_rate",
     {1, 24000, "-c:a libmp3lame -b:a 32k", "vob"},
     0xC0,
     AudioCodec::kMp3,
     "mp3",
     1},
    {"ac3_5_1", {6, 48000, "-c:a ac3 -b:a 384k", "vob"}, 0x80, AudioCodec::kAc3, "ac3", 1},
    {"ac3_stereo", {2, 48000, "-c:a ac3 -b:a 192k", "vob"}, 0x80, AudioCodec::kAc3, "ac3", 1},
    {"dts_5_1", {6, 48000, "-c:a dca -strict -2", "vob"}, 0x88, AudioCodec::kDts, "dts", 1},
    {"lpcm_16_stereo",
     {2, 48000, "-c:a pcm_dvd -sample_fmt s16", "vob"},
     0xA0,
     AudioCodec::kLpcm,
     "s16le",
     0},
    {"lpcm_16_5_1",
     {6, 48000, "-c:a pcm_dvd -sample_fmt s16", "vob"},
     0xA0,
     AudioCodec::kLpcm,
     "s16le",
     0},
    {"lpcm_24_stereo_96k",
     {2, 96000, "-c:a pcm_dvd -sample_fmt s32", "vob"},
     0xA0,
     AudioCodec::kLpcm,
     "s24le",
     0},
    {"lpcm_24_mono",
     {1, 48000, "-c:a pcm_dvd -sample_fmt s32", "vob"},
     0xA0,
     AudioCodec::kLpcm,
     "s24le",
     0},
    {"lpcm_24_7_1",
     {8, 48000, "-c:a pcm_dvd -sample_fmt s32", "vob"},
     0xA0,
     AudioCodec::kLpcm,
     "s24le",
     0},
};

class AudioRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(AudioRoundTrip, MatchesFfmpeg) {
  SKIP_WITHOUT_FFMPEG();
  const RoundTripCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.File("in.mpg");
  ASSERT_TRUE(avi_test::MakeAudioStream(path, c.source));
  const std::vector<avi_test::PesPacket> packets = avi_test::ReadPesPackets(path);

  avi_test::ConvertedAudio pcm = avi_test::ConvertAudio(packets, AudioOutput::kPcm);
  ASSERT_TRUE(pcm.converter);
  const AudioProperties& p = pcm.properties;
  EXPECT_EQ(p.stream, c.stream);
  EXPECT_EQ(p.codec, c.codec);
  EXPECT_EQ(p.sample_rate, c.source.rate);
  EXPECT_EQ(p.channels, c.source.channels);
  EXPECT_EQ(p.bits_per_sample, c.codec != AudioCodec::kLpcm ? 0
                               : c.copy_format[1] == '1'    ? 16
                                                            : 24);
  const std::vector<uint8_t> decoded = avi_test::Joined(pcm.packets);
  const std::vector<uint8_t> reference = avi_test::FfmpegAudio(path, "s16le");
  ASSERT_GT(reference.size(), 0u);
  const int difference = avi_test::LargestDifference16(decoded, reference);
  EXPECT_GE(difference, 0) << decoded.size() << " bytes, ffmpeg " << reference.size();
  EXPECT_LE(difference, c.largest_difference);
  EXPECT_EQ(avi_test::TotalSamples(pcm.packets) * 2 * p.channels,
            static_cast<int64_t>(decoded.size()));
  EXPECT_EQ(pcm.converter->SamplesOut(), avi_test::TotalSamples(pcm.packets));
  EXPECT_TRUE(pcm.diagnostics.empty()) << pcm.diagnostics[0];
  ASSERT_FALSE(pcm.packets.empty());
  EXPECT_EQ(pcm.packets[0].pts, pcm.first_pts);

  avi_test::ConvertedAudio copy = avi_test::ConvertAudio(packets, AudioOutput::kCopy);
  ASSERT_TRUE(copy.converter);
  EXPECT_EQ(avi_test::Joined(copy.packets), avi_test::FfmpegAudio(path, c.copy_format));
  EXPECT_EQ(avi_test::TotalSamples(copy.packets), avi_test::TotalSamples(pcm.packets));
  EXPECT_TRUE(copy.diagnostics.empty()) << copy.diagnostics[0];
  ASSERT_FALSE(copy.packets.empty());
  EXPECT_EQ(copy.packets[0].pts, copy.first_pts);
  // Decoded frames carry the time stamps of the same frames copied: those
  // of the packets they begin in.
  if (c.codec != AudioCodec::kLpcm) {
    auto stamps = [](const std::vector<AudioPacket>& packets) {
      std::vector<int64_t> pts;
      for (const AudioPacket& packet : packets) pts.push_back(packet.pts);
      return pts;
    };
    EXPECT_EQ(stamps(pcm.packets), stamps(copy.packets));
    // Gaps in a copy are filled with frames of silence in the stream's own
    // format: one decodes to a frame of zero samples.
    std::vector<uint8_t> payload = SilentCopyFrame(p);
    ASSERT_FALSE(payload.empty());
    if (c.stream != 0xC0)
      payload.insert(payload.begin(), {static_cast<uint8_t>(c.stream), 1, 0, 1});
    std::vector<AudioPacket> silence;
    std::unique_ptr<AudioConverter> decoder = CreateAudioConverter(p, AudioOutput::kPcm);
    decoder->Push(payload, 0, &silence);
    decoder->Flush(&silence);
    EXPECT_EQ(avi_test::TotalSamples(silence), p.samples_per_frame);
    const std::vector<uint8_t> samples = avi_test::Joined(silence);
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](uint8_t b) { return b == 0; }));
  }
  // Frames that begin in a packet with a time stamp carry it, in order.
  int64_t last_pts = -1;
  for (const AudioPacket& packet : copy.packets) {
    if (packet.pts == kNoAudioPts) continue;
    EXPECT_GT(packet.pts, last_pts);
    last_pts = packet.pts;
    if (c.codec != AudioCodec::kLpcm) {
      EXPECT_EQ(packet.samples, p.samples_per_frame);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, AudioRoundTrip, testing::ValuesIn(kRoundTrips),
                         [](const testing::TestParamInfo<RoundTripCase>& info) {
                           return std::string(info.param.name);
                         });

// A time stamp goes with the frame that begins in its packet, also where
// every frame begins in the last byte of a packet, its header running on
// into the next: DTS frames packed that way anew.
TEST(AudioTimeStamps, GoWithTheFrameThatBeginsInThePacket) {
  SKIP_WITHOUT_FFMPEG();
  TempDir dir;
  const std::string path = dir.File("in.vob");
  ASSERT_TRUE(avi_test::MakeAudioStream(path, {2, 48000, "-c:a dca -strict -2", "vob"}));
  const std::vector<AudioPacket> frames =
      avi_test::ConvertAudio(avi_test::ReadPesPackets(path), AudioOutput::kCopy).packets;
  ASSERT_GE(frames.size(), 8u);
  const std::vector<uint8_t> stream = avi_test::Joined(frames);
  const size_t size = frames[0].data.size();
  const int64_t ticks = frames[0].samples * 90000 / 48000;
  // Packet j holds the bytes from frame j's second byte (the first packet:
  // from the start) up to frame j + 1's first byte, which begins in it.
  std::vector<avi_test::PesPacket> packets;
  for (size_t j = 0; j + 1 < frames.size(); ++j) {
    const size_t start = j == 0 ? 0 : j * size + 1;
    const size_t pointer = j == 0 ? 1 : size;  // to the first frame beginning, 1-based
    avi_test::PesPacket packet{
        avi_test::kPrivateStream1,
        {0x88, uint8_t(j == 0 ? 2 : 1), uint8_t(pointer >> 8), uint8_t(pointer)},
        9000 + static_cast<int64_t>(j == 0 ? 0 : j + 1) * ticks};
    packet.payload.insert(packet.payload.end(), stream.begin() + static_cast<long>(start),
                          stream.begin() + static_cast<long>((j + 1) * size + 1));
    packets.push_back(std::move(packet));
  }
  for (AudioOutput output : {AudioOutput::kPcm, AudioOutput::kCopy}) {
    const avi_test::ConvertedAudio converted = avi_test::ConvertAudio(packets, output);
    ASSERT_EQ(converted.packets.size(), frames.size() - 1);
    // Frame 1, the second to begin in the first packet, has no stamp.
    for (size_t k = 0; k < converted.packets.size(); ++k)
      EXPECT_EQ(converted.packets[k].pts, k == 1 ? -1 : 9000 + static_cast<int64_t>(k) * ticks)
          << k << (output == AudioOutput::kPcm ? " pcm" : " copy");
  }
}

// Damage inside the elementary stream of the first audio stream: `bytes`
// from `offset` on set to `value`, or inverted when value < 0.
void Damage(std::vector<avi_test::PesPacket>& packets, size_t offset, size_t bytes, int value) {
  size_t position = 0;
  for (avi_test::PesPacket& p : packets) {
    const int stream = avi_test::AudioStreamOf(p);
    if (stream < 0) continue;
    for (size_t i = stream >= 0xC0 ? 0 : 4; i < p.payload.size(); ++i, ++position)
      if (position >= offset && position < offset + bytes)
        p.payload[i] = static_cast<uint8_t>(value < 0 ? ~p.payload[i] : value);
  }
}

// A damaged frame leaves the decoded stream as long as before, with a
// diagnostic; a copy leaves out what it cannot frame and nothing else.
TEST(AudioDamage, DecodedStreamsKeepTheirLength) {
  SKIP_WITHOUT_FFMPEG();
  struct Case {
    const char* name;
    AudioSource source;
    size_t offset, bytes;
    int value;
    int frames_lost_in_copy;
  };
  const Case cases[] = {
      // A Layer II frame header overwritten: its length is estimated.
      {"mp2 header", {1, 44100, "-c:a mp2 -b:a 384k", "mpeg"}, 5000, 300, 0, 1},
      // The body of a DTS frame inverted: the decoder refuses it.
      {"dts body", {2, 48000, "-c:a dca -strict -2", "vob"}, 5000, 300, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("in.mpg");
    ASSERT_TRUE(avi_test::MakeAudioStream(path, c.source));
    std::vector<avi_test::PesPacket> packets = avi_test::ReadPesPackets(path);
    const avi_test::ConvertedAudio clean = avi_test::ConvertAudio(packets, AudioOutput::kCopy);
    Damage(packets, c.offset, c.bytes, c.value);
    const avi_test::ConvertedAudio pcm = avi_test::ConvertAudio(packets, AudioOutput::kPcm);
    const int64_t expected = avi_test::TotalSamples(clean.packets);
    EXPECT_NEAR(static_cast<double>(avi_test::TotalSamples(pcm.packets)),
                static_cast<double>(expected), 2.0);
    EXPECT_FALSE(pcm.diagnostics.empty());
    const avi_test::ConvertedAudio copy = avi_test::ConvertAudio(packets, AudioOutput::kCopy);
    EXPECT_EQ(copy.packets.size() + c.frames_lost_in_copy, clean.packets.size());
    EXPECT_EQ(copy.diagnostics.empty(), c.frames_lost_in_copy == 0);
  }
}

}  // namespace
