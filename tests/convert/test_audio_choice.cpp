// The audio streams an input offers (those whose first packets tell their
// format, by stream number) and the start checks of an audio choice.
#include <gtest/gtest.h>

#include <vector>

#include "convert/audio_choice.h"
#include "convert/audio_streams.h"
#include "convert/messages.h"

namespace {

// Two stereo streams, LPCM 0xA0 and MPEG-1 Layer II 0xC1, and an AC-3
// sub-stream 0x80 whose bytes are no AC-3: surveyed out of order.
std::vector<SurveyedAudio> Surveyed() {
  AudioProperties mp2;
  EXPECT_TRUE(ParseAudioHeader(0xC1, std::vector<uint8_t>{0xFF, 0xFD, 0xA4, 0x00}, &mp2));
  std::vector<uint8_t> frames = SilentAudioFrame(mp2);
  frames.insert(frames.end(), frames.begin(), frames.end());
  std::vector<uint8_t> lpcm = {0xA0, 1, 0, 4, 0x00, 0x01, 0x80};
  lpcm.resize(lpcm.size() + 4 * 80);
  return {{0xC1, {frames}, frames.size()},
          {0x80, {{0x80, 1, 0, 4, 1, 2, 3, 4, 5, 6, 7, 8}}, 12},
          {0xA0, {lpcm}, lpcm.size()}};
}

TEST(AudioStreams, ListedByNumberWhenTheirFormatIsKnown) {
  const std::vector<ListedAudioStream> listed = List_Audio_Streams(Surveyed());
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].description, "lpcm 48000 Hz 2 ch 16 bit (0xa0)");
  EXPECT_EQ(listed[1].description, "mp2 48000 Hz 2 ch (0xc1)");
  EXPECT_EQ(listed[1].properties.stream, 0xC1);
  EXPECT_EQ(listed[1].properties.samples_per_frame, 1152);
  EXPECT_TRUE(List_Audio_Streams({}).empty());
}

TEST(AudioChoice, OnlyAListedStreamAtTheStreamsOwnFrameRate) {
  StreamInfo program;
  program.frame_rate_code = 3;  // 25 fps: list index 2
  program.program_stream = true;
  program.audio_streams = List_Audio_Streams(Surveyed());
  StreamInfo film = program;  // 29.97 fps with pulldown: 23.976 (index 0)
  film.frame_rate_code = 4;
  film.pulldown_cadence = 1;
  StreamInfo elementary;
  elementary.frame_rate_code = 3;
  const struct {
    const StreamInfo& stream;
    AudioChoice choice;
    int rate;
    const char* message;  // nullptr: accepted
  } kCases[] = {
      {elementary, {-1, AudioOutput::kPcm}, 4, nullptr},  // no audio: any rate
      {elementary, {0, AudioOutput::kPcm}, 2, messages::kNoAudioInElementaryStream},
      {program, {2, AudioOutput::kPcm}, 2, messages::kNoSuchAudioStream},
      {program, {1, AudioOutput::kCopy}, 3, messages::kAudioWouldDrift},
      {program, {1, AudioOutput::kCopy}, 2, nullptr},
      {film, {0, AudioOutput::kPcm}, 3, messages::kAudioWouldDrift},
      {film, {0, AudioOutput::kPcm}, 0, nullptr},
  };
  for (const auto& c : kCases) {
    AudioSettings settings;
    settings.enabled = true;
    EXPECT_STREQ(Read_Audio_Choice(c.choice, c.stream, c.rate, &settings), c.message)
        << c.choice.selection << " at " << c.rate;
    EXPECT_EQ(settings.enabled, c.message == nullptr && c.choice.selection >= 0);
    if (!settings.enabled) continue;
    EXPECT_EQ(settings.properties, c.stream.audio_streams[c.choice.selection].properties);
    EXPECT_EQ(settings.output, c.choice.output);
  }
}

}  // namespace
