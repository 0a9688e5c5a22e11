// DVD LPCM: the packets of one stream, each a 3-byte header and big-endian
// samples, turned into interleaved samples.
//
// 16-bit samples follow each other. 20- and 24-bit samples come in groups
// of four (two in mono): the top 16 bits of each, then their low bits, two
// 4-bit halves of a byte (20 bit) or one byte (24 bit) per sample. A block
// of samples may be cut between packets; its start waits for the next.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/audio_headers.h"

class LpcmStream {
 public:
  // `format` is the stream's LPCM header as ParseAudioHeader read it.
  explicit LpcmStream(const AudioProperties& format);

  // Appends the sample frames of one packet (AudioPayload of the stream) to
  // `samples`, interleaved, each left-justified in 32 bits, and returns how
  // many. A packet whose header is damaged or differs from the stream's
  // format becomes silence of its length (and drops a cut block); `problem`
  // then says why, and is empty otherwise. `*first_pts` is the 90 kHz time
  // of the first frame appended, from the packet's `pts` (-1: none) and the
  // frame its header points to.
  int64_t Push(const AudioPayload& payload, int64_t pts, std::vector<int32_t>* samples,
               int64_t* first_pts, std::string* problem);

  const AudioProperties& Format() const { return format_; }

 private:
  void Unpack(const uint8_t* block, int32_t* out) const;

  AudioProperties format_;
  int group_values_ = 0;  // samples in a group (20/24 bit)
  int group_bytes_ = 0;
  int block_bytes_ = 0;  // the fewest whole groups holding whole sample frames
  int block_frames_ = 0;
  std::vector<uint8_t> pending_;  // the start of a block cut by a packet's end
};
