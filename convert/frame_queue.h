// The hand-over between a job's two stages: decoding on one thread,
// compression and writing on another; the conversion to RGB on either
// (see Handover).
//
// A fixed set of frames, allocated once per job, circulates: the decoding
// side takes an empty frame, fills it and hands it on; the writing side
// takes the filled frames in the order they were handed on and gives each
// back once it is written. Both sides block while there is nothing for
// them to do, so at most the set's frames are ever in flight.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include "convert/audio_track.h"
#include "convert/frame_source.h"
#include "convert/held_picture.h"
#include "decoder/huge_pages.h"

// How a decoded picture reaches the writing side.
enum class Handover {
  kView,   // the decoder's own planes: written before the next decode, on one thread
  kCopy,   // a copy of the planes, built into the output frame by the writing side
  kFrame,  // the output frame, built by the decoding side
};

// One decoded picture with the figures that describe it: what the decoding
// side knew when the picture was complete. The writing side publishes these
// when it has written the frame, so the progress shown always belongs to
// the last written frame however far decoding has run ahead.
struct DecodedFrame {
  Handover handover = Handover::kView;
  HeldPicture picture;    // kView, kCopy: what the output frame is built from
  HugePageBuffer pixels;  // kFrame: output_height x output_width x 3 bytes, then padding
  int result = 0;  // FrameSource::NextPicture's result; a picture or frame is held only for 0
  int32_t current_file_index = 0;
  int32_t input_kbytes_read = 0;
  FrameStamp stamp{};              // for placing the audio
  std::vector<TrackPacket> audio;  // the chosen audio stream's packets that came with it
};

class FrameQueue {
 public:
  // Circulates `frames`, which stay owned by the caller and must outlive
  // the queue; all start empty.
  explicit FrameQueue(std::span<DecodedFrame> frames);

  // Decoding side. TakeEmpty blocks until a frame is free and returns
  // nullptr once the writing side has stopped. HandOn passes a filled
  // frame on; EndInput says no more will come.
  DecodedFrame* TakeEmpty();
  void HandOn(DecodedFrame* frame);
  void EndInput();

  // Writing side. TakeFilled blocks until a frame is handed on and returns
  // nullptr once the input has ended and every frame was taken. GiveBack
  // returns a written frame to the decoding side; Stop ends the writing
  // side: frames still queued are dropped and the decoding side is released.
  DecodedFrame* TakeFilled();
  void GiveBack(DecodedFrame* frame);
  // The frame TakeFilled would give next, left in the queue (and so
  // unchanged until it is taken); nullptr when none is there yet.
  const DecodedFrame* PeekFilled();
  void Stop();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<DecodedFrame*> empty_;
  std::deque<DecodedFrame*> filled_;
  bool input_ended_ = false;
  bool stopped_ = false;
};
