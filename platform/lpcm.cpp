#include "platform/lpcm.h"

#include <numeric>

namespace {

constexpr int kLpcmHeaderBytes = 3;
constexpr int64_t kPtsHz = 90000;

uint32_t Be16(const uint8_t* p) {
  return uint32_t{p[0]} << 8 | p[1];
}

}  // namespace

LpcmStream::LpcmStream(const AudioProperties& format) : format_(format) {
  const int channels = format.channels;
  if (format.bits_per_sample == 16) {
    block_frames_ = 1;
    block_bytes_ = 2 * channels;
    return;
  }
  group_values_ = channels == 1 ? 2 : 4;
  group_bytes_ = group_values_ * format.bits_per_sample / 8;
  const int block_values = std::lcm(group_values_, channels);
  block_frames_ = block_values / channels;
  block_bytes_ = block_values / group_values_ * group_bytes_;
}

void LpcmStream::Unpack(const uint8_t* block, int32_t* out) const {
  if (format_.bits_per_sample == 16) {
    for (int i = 0; i < format_.channels; ++i)
      out[i] = static_cast<int32_t>(Be16(block + 2 * i) << 16);
    return;
  }
  const bool twenty = format_.bits_per_sample == 20;
  for (int g = 0; g < block_bytes_ / group_bytes_; ++g, block += group_bytes_) {
    const uint8_t* low = block + 2 * group_values_;
    for (int i = 0; i < group_values_; ++i) {
      uint32_t v = Be16(block + 2 * i) << 16;
      if (twenty)
        v |= i % 2 == 0 ? uint32_t{low[i / 2] & 0xF0u} << 8 : uint32_t{low[i / 2] & 0x0Fu} << 12;
      else
        v |= uint32_t{low[i]} << 8;
      *out++ = static_cast<int32_t>(v);
    }
  }
}

int64_t LpcmStream::Push(const AudioPayload& payload, int64_t pts, std::vector<int32_t>* samples,
                         int64_t* first_pts, std::string* problem) {
  problem->clear();
  *first_pts = -1;
  const int channels = format_.channels;
  const int frame_bytes = channels * format_.bits_per_sample / 8;  // on average
  AudioProperties header;
  const bool valid = ParseAudioHeader(format_.stream, payload.data, &header);
  if (!valid || header.bits_per_sample != format_.bits_per_sample ||
      header.channels != format_.channels || header.sample_rate != format_.sample_rate) {
    *problem = valid ? "LPCM format changed" : "damaged LPCM header";
    const size_t bytes =
        payload.data.size() - std::min<size_t>(payload.data.size(), kLpcmHeaderBytes);
    const int64_t frames = static_cast<int64_t>((pending_.size() + bytes) / frame_bytes);
    pending_.clear();
    samples->insert(samples->end(), static_cast<size_t>(frames * channels), 0);
    return frames;
  }
  std::span<const uint8_t> data = payload.data.subspan(kLpcmHeaderBytes);
  if (pts >= 0) {
    // The time stamp belongs to the frame the header points to; the output
    // begins with the block that the bytes held back from before complete.
    const int64_t offset =
        payload.first_frame >= kLpcmHeaderBytes ? payload.first_frame - kLpcmHeaderBytes : 0;
    const int64_t frames_before = (static_cast<int64_t>(pending_.size()) + offset) / frame_bytes;
    *first_pts = pts - frames_before * kPtsHz / format_.sample_rate;
  }

  const size_t start = samples->size();
  const size_t block = static_cast<size_t>(block_bytes_);
  const size_t values = static_cast<size_t>(block_frames_ * channels);
  if (!pending_.empty()) {
    const size_t take = std::min(block - pending_.size(), data.size());
    pending_.insert(pending_.end(), data.begin(), data.begin() + static_cast<ptrdiff_t>(take));
    data = data.subspan(take);
    if (pending_.size() < block) return 0;  // the packet did not complete it
    samples->resize(samples->size() + values);
    Unpack(pending_.data(), samples->data() + samples->size() - values);
    pending_.clear();
  }
  const size_t blocks = data.size() / block;
  samples->resize(samples->size() + blocks * values);
  int32_t* out = samples->data() + samples->size() - blocks * values;
  for (size_t i = 0; i < blocks; ++i) Unpack(data.data() + i * block, out + i * values);
  pending_.assign(data.begin() + static_cast<ptrdiff_t>(blocks * block), data.end());
  return static_cast<int64_t>((samples->size() - start) / static_cast<size_t>(channels));
}
