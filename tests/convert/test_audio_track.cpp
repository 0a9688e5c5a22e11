// Audio on the AVI's timeline: where the stream's time stamps place it
// against the video frames written, and what is cut, padded and handed out
// behind each frame.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "convert/audio_timeline.h"
#include "convert/audio_track.h"

namespace {

constexpr AviFrameRate kPal = {25, 1};
constexpr int kRate = 48000;  // 1920 samples a PAL frame

FrameStamp Stamp(int64_t pts, int segment = 0) {
  return {pts, segment, 2};
}

TEST(AudioTimeline, PlacesSegmentsByTheirVideo) {
  AudioTimeline t(kRate, kPal);
  EXPECT_FALSE(t.Place(1000, 0).has_value());  // nothing written yet
  t.AddVideoFrame(Stamp(1000));
  t.AddVideoFrame(Stamp(-1));  // unstamped frames keep the placing
  t.AddVideoFrame(Stamp(1000 + 2 * 3600));
  EXPECT_EQ(t.VideoEndSample(), 3 * 1920);
  EXPECT_EQ(*t.Place(1000, 0), 0);
  EXPECT_EQ(*t.Place(1000 + 3600, 0), 1920);
  EXPECT_EQ(*t.Place(100, 0), -480);  // 10 ms before the first frame
  // A picture lost: the next frame's stamp is a frame later than its place,
  // so the segment is placed again and its audio follows.
  t.AddVideoFrame(Stamp(1000 + 4 * 3600));
  EXPECT_EQ(*t.Place(1000 + 4 * 3600, 0), 3 * 1920);
  // A joined file whose clock starts again.
  t.AddVideoFrame(Stamp(500, 1));
  EXPECT_EQ(*t.Place(500 + 3600, 1), 5 * 1920);
  EXPECT_FALSE(t.Place(500, 2).has_value());
}

TEST(AudioTimeline, FilmAtItsTrueRateDoesNotDrift) {
  // 23.976 fps output of frames shown for 3 and 2 fields in turn (4504.5
  // and 3003 ticks): the stamps stay within half a frame of the timeline.
  AudioTimeline t(kRate, {24000, 1001});
  double pts = 9000;
  for (int k = 0; k < 2000; ++k) {
    t.AddVideoFrame(Stamp(static_cast<int64_t>(pts)));
    pts += k % 2 == 0 ? 4504.5 : 3003;
  }
  EXPECT_EQ(*t.Place(9000, 0), 0);  // never placed again
  EXPECT_EQ(t.VideoEndSample(), 2000 * 2002);
}

// Samples numbered by their value, so that where each one went can be read.
TrackPacket Pcm(int first, int samples, int64_t pts, int segment = 0) {
  TrackPacket p;
  p.samples = samples;
  p.pts = pts;
  p.segment = segment;
  for (int i = 0; i < samples; ++i) {
    const int v = first + i;
    p.data.insert(p.data.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  }
  return p;
}

std::vector<int> Samples(const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<int> values;
  for (const auto& c : chunks) {
    for (size_t i = 0; i + 1 < c.size(); i += 2) values.push_back(c[i] | c[i + 1] << 8);
  }
  return values;
}

TEST(AudioTrack, PcmIsCutPaddedAndHandedOutFrameByFrame) {
  // Video at pts 9000 + 3600 k; audio of mono 16-bit PCM whose samples are
  // numbered. 90 ticks are 48 samples; the tolerance is 480.
  AudioTimeline t(kRate, kPal);
  AudioTrack track(t, 2);
  track.Push(Pcm(1, 2000, 9000 - 1800));  // starts 960 samples early: cut
  track.Push(Pcm(5000, 500, -1));         // follows on
  t.AddVideoFrame(Stamp(9000));
  std::vector<int> first = Samples(track.TakeDue(false));
  ASSERT_EQ(first.size(), 1540u);  // all there is, less than the frame's 1920
  EXPECT_EQ(first[0], 961);
  EXPECT_EQ(first[1039], 2000);
  EXPECT_EQ(first[1040], 5000);
  // A gap up to sample 3456, then a packet at 3648 that overlaps by 808.
  track.Push(Pcm(7000, 1000, 9000 + 90 * 3456 / 48));
  track.Push(Pcm(9000, 1000, 9000 + 90 * 3648 / 48));
  t.AddVideoFrame(Stamp(9000 + 3600));
  t.AddVideoFrame(Stamp(9000 + 7200));
  std::vector<int> rest = Samples(track.TakeDue(true));
  ASSERT_EQ(rest.size(), 3 * 1920u - 1540u);  // exactly to the end of the third frame
  EXPECT_EQ(rest[1915], 0);                   // silence from 1540 up to 3456
  EXPECT_EQ(rest[1916], 7000);
  EXPECT_EQ(rest[2915], 7999);
  EXPECT_EQ(rest[2916], 9808);  // the overlapping 808 cut
  EXPECT_EQ(rest.back(), 0);    // padded to the end
  EXPECT_EQ(track.SamplesOut(), 3 * 1920);
}

TEST(AudioTrack, PcmStartsAndResumesAfterAnOverlapExactly) {
  // Differences within the tolerance are cut where the audio starts and
  // where an overlap cut whole packets, so no lead and no rest of an
  // overlap stays in the track.
  AudioTimeline t(kRate, kPal);
  AudioTrack track(t, 2);
  track.Push(Pcm(1, 1000, 9000 - 90 * 200 / 48));    // starts 200 samples early
  track.Push(Pcm(5000, 300, 9000 + 90 * 100 / 48));  // goes back to sample 100
  track.Push(Pcm(6000, 300, -1));                    // 400 .. 699: cut whole too
  track.Push(Pcm(7000, 600, -1));                    // 700: overlaps by 100
  t.AddVideoFrame(Stamp(9000));
  const std::vector<int> out = Samples(track.TakeDue(false));
  ASSERT_EQ(out.size(), 1300u);
  EXPECT_EQ(out[0], 201);
  EXPECT_EQ(out[799], 1000);
  EXPECT_EQ(out[800], 7100);
}

TEST(AudioTrack, AStampFarAheadOfTheVideoIsDamageNotAGap) {
  AudioTimeline t(kRate, kPal);
  AudioTrack track(t, 2);
  t.AddVideoFrame(Stamp(9000));
  track.Push(Pcm(1, 100, 9000));
  track.Push(Pcm(500, 100, 9000 + 90000LL * 3600));  // an hour on: follows on
  track.Push(Pcm(700, 100, -1));
  const std::vector<int> out = Samples(track.TakeDue(true));
  ASSERT_EQ(out.size(), 1920u);
  EXPECT_EQ(out[100], 500);
  EXPECT_EQ(out[200], 700);
  EXPECT_EQ(out[300], 0);
}

TEST(AudioTrack, CompressedFramesStayWholeAndGoWhereTheirMiddleLies) {
  // Frames of 1152 samples; a gap of two frames is filled with silent frames,
  // an overlapping frame is dropped.
  AudioTimeline t(kRate, kPal);
  const std::vector<uint8_t> silent = {0xEE};
  AudioTrack track(t, 0, silent, 1152);
  auto frame = [](uint8_t id, int64_t pts) {
    TrackPacket p;
    p.data = {id};
    p.samples = 1152;
    p.pts = pts;
    return p;
  };
  const int64_t ticks = 1152 * 90 / 48;  // 2160 per frame
  for (uint8_t id : {1, 2}) track.Push(frame(id, 9000 + (id - 1) * ticks));
  track.Push(frame(3, 9000 + 4 * ticks));        // after a gap of two frames
  track.Push(frame(4, 9000 + 4 * ticks + 100));  // overlaps the frame before
  track.Push(frame(5, 9000 + 5 * ticks));
  for (int k = 0; k < 4; ++k) t.AddVideoFrame(Stamp(9000 + 3600 * k));  // 7680 samples
  std::vector<uint8_t> ids;
  for (const auto& chunk : track.TakeDue(false)) ids.push_back(chunk[0]);
  // Frames start at 0, 1152, ... 5760: the one at 6912 ends past 7680 by
  // more than half, so it waits for the next frame.
  EXPECT_EQ(ids, std::vector<uint8_t>({1, 2, 0xEE, 0xEE, 3, 5}));
}

}  // namespace
