// The audio of a running job, in its two halves.
//
// AudioFeed lives with decoding: the chosen stream's PES packets reach it
// from the decoder while frames are decoded (about a second of the stream
// ahead of the video), are converted at once and wait, tagged with the
// segment of the stream's clock they came in, to travel with the next
// frame to the writing side.
//
// AudioWriter lives with writing: it lays the packets onto the AVI's
// timeline as the frames are written (AudioTimeline, AudioTrack) and writes
// behind each frame the audio due up to that frame's end.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "convert/audio_choice.h"
#include "convert/audio_timeline.h"
#include "convert/audio_track.h"
#include "convert/avi_writer.h"
#include "convert/frame_source.h"
#include "platform/audio_converter.h"

class AudioFeed {
 public:
  // nullptr when the stream cannot be converted as `settings` ask.
  static std::unique_ptr<AudioFeed> Create(const AudioSettings& settings);

  AudioFeed(const AudioFeed&) = delete;
  AudioFeed& operator=(const AudioFeed&) = delete;

  // How the AVI files declare the audio stream.
  const AviAudioFormat& Format() const { return converter_->Format(); }
  const AudioProperties& Properties() const { return converter_->Properties(); }

  // Has `source` hand the stream's packets to this feed from now on. On the
  // decoding thread, before the first frame; the feed must outlive the
  // source's decoding.
  void Select(FrameSource& source);

  // The packets converted since the last call.
  std::vector<TrackPacket> Take();

  // At the end of the input: what the converter still holds joins the
  // packets that Take hands out.
  void Flush();

 private:
  explicit AudioFeed(std::unique_ptr<AudioConverter> converter);
  static void Receive(const AudioPesPacket& packet, void* context);
  void Append(int segment);

  std::unique_ptr<AudioConverter> converter_;
  std::vector<AudioPacket> converted_;  // what the converter just gave
  // Audio held for the next frame beyond this many bytes is dropped,
  // oldest first. The demultiplexer meets audio a few megabytes of the
  // stream ahead of its video, which in a stream of low bit rate is minutes
  // of sound: well below this.
  static constexpr size_t kMaxHeldBytes = size_t{64} << 20;

  std::vector<TrackPacket> packets_;
  size_t held_bytes_ = 0;  // in packets_
  int last_segment_ = 0;
};

class AudioWriter {
 public:
  // For the stream `feed` converts, against video of `frame_rate`.
  AudioWriter(const AudioFeed& feed, AviFrameRate frame_rate);

  // The frame about to be written, with its time stamp.
  void AddFrame(const FrameStamp& stamp);

  // The packets that came with a frame, after the frame (or with the end of
  // the input): a frame that places its clock segment anew (pictures were
  // missing, or only audio came for a while) places them too.
  void Push(std::vector<TrackPacket>&& packets);

  // Writes the audio due up to the end of the frames added so far; with
  // `complete` (at the end of each file) exactly up to that end. 0, or the
  // writer's first failure.
  int WriteDue(AviWriter& writer, bool complete);

 private:
  AudioTimeline timeline_;
  AudioTrack track_;  // places packets on timeline_
};
