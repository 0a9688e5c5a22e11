#include "convert/frame_queue.h"

namespace {

// Makes `change` under the lock, then wakes whichever side waits: one
// condition serves both sides.
template <typename Change>
void Change_And_Wake(std::mutex& mutex, std::condition_variable& changed, Change change) {
  {
    std::lock_guard lock(mutex);
    change();
  }
  changed.notify_all();
}

}  // namespace

FrameQueue::FrameQueue(std::span<DecodedFrame> frames) {
  empty_.reserve(frames.size());
  for (DecodedFrame& frame : frames) empty_.push_back(&frame);
}

DecodedFrame* FrameQueue::TakeEmpty() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return stopped_ || !empty_.empty(); });
  if (stopped_) return nullptr;
  DecodedFrame* frame = empty_.back();
  empty_.pop_back();
  return frame;
}

void FrameQueue::HandOn(DecodedFrame* frame) {
  Change_And_Wake(mutex_, changed_, [&] { filled_.push_back(frame); });
}

void FrameQueue::EndInput() {
  Change_And_Wake(mutex_, changed_, [&] { input_ended_ = true; });
}

DecodedFrame* FrameQueue::TakeFilled() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return input_ended_ || !filled_.empty(); });
  if (filled_.empty()) return nullptr;
  DecodedFrame* frame = filled_.front();
  filled_.pop_front();
  return frame;
}

const DecodedFrame* FrameQueue::PeekFilled() {
  std::lock_guard lock(mutex_);
  return filled_.empty() ? nullptr : filled_.front();
}

void FrameQueue::GiveBack(DecodedFrame* frame) {
  Change_And_Wake(mutex_, changed_, [&] { empty_.push_back(frame); });
}

void FrameQueue::Stop() {
  Change_And_Wake(mutex_, changed_, [&] {
    stopped_ = true;
    filled_.clear();
  });
}
