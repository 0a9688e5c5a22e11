#include "decoder/survey.h"

#include <algorithm>
#include <cstring>

#include "decoder/audio_packets.h"
#include "decoder/decoder_state.h"
#include "decoder/pes.h"
#include "decoder/start_codes.h"

namespace {

constexpr int PICTURE_CODING_EXTENSION_ID = 8;
constexpr int MINIMUM_FRAMES = 12;

// At most this many bytes of each audio stream's first packets are kept:
// enough for a few frames of any of the formats.
constexpr size_t AUDIO_SURVEY_BYTES = 16 * 1024;

// The pictures of a video stream handed in pieces (the payloads of its
// packets) without joining them. A start code and the five bytes read after
// it may span pieces: the last eight bytes of each piece are held back and
// looked at with the first bytes of the next one.
class PictureSurvey {
 public:
  void Add(std::span<const uint8_t> bytes) {
    if (done_ || bytes.empty()) return;
    const size_t size = bytes.size();
    // The held bytes and up to eight more: every code that starts in the
    // held bytes can be read here once the piece has eight bytes.
    uint8_t joined[2 * HELD_BYTES];
    const size_t taken = std::min(size, HELD_BYTES);
    std::memcpy(joined, held_, held_size_);
    std::memcpy(joined + held_size_, bytes.data(), taken);
    const size_t joined_size = held_size_ + taken;
    const size_t readable = joined_size > HELD_BYTES ? joined_size - HELD_BYTES : 0;
    Scan(joined, std::min(readable, held_size_));
    if (size >= HELD_BYTES) {
      Scan(bytes.data(), size - HELD_BYTES);
      std::memcpy(held_, bytes.data() + size - HELD_BYTES, HELD_BYTES);
      held_size_ = HELD_BYTES;
    } else {
      held_size_ = joined_size - readable;
      std::memmove(held_, joined + readable, held_size_);
    }
  }

  std::vector<SurveyedPicture> Take() { return std::move(pictures_); }

 private:
  // The bytes a start code at a position needs: the code and five more.
  static constexpr size_t HELD_BYTES = 8;

  // Looks at the start codes at positions 0..count-1 of `data`, which holds
  // HELD_BYTES bytes more. The prefix 00 00 01 is found by its last byte,
  // which memchr finds many bytes at a time: the survey may look through
  // megabytes.
  void Scan(const uint8_t* data, size_t count) {
    for (size_t position = 0; position < count && !done_; ++position) {
      const void* one = std::memchr(data + position + 2, 1, count - position);
      if (one == nullptr) return;
      position = static_cast<size_t>(static_cast<const uint8_t*>(one) - data) - 2;
      if (data[position] == 0 && data[position + 1] == 0)
        LookAt(data[position + 3], data + position + 4);
    }
  }

  // The start code `code` (its last byte) and the bytes after it. The coding
  // extension belongs to the picture header before it; another start code in
  // between (a slice) ends the picture's headers.
  void LookAt(int code, const uint8_t* b) {
    switch (START_CODE_PREFIX << 8 | code) {
      case PICTURE_START_CODE:
        if (pictures_.size() == SURVEY_PICTURES) {
          done_ = true;
          return;
        }
        pictures_.push_back({group_, b[0] << 2 | b[1] >> 6, FRAME_PICTURE, 1, 0});
        in_picture_headers_ = true;
        break;
      case EXTENSION_START_CODE:
        if (in_picture_headers_ && b[0] >> 4 == PICTURE_CODING_EXTENSION_ID) {
          SurveyedPicture& p = pictures_.back();
          p.picture_structure = b[2] & 3;
          p.repeat_first_field = b[3] >> 1 & 1;
          p.progressive_frame = b[4] >> 7;
        }
        break;
      case GROUP_START_CODE:
        ++group_;
        in_picture_headers_ = false;
        break;
      case USER_DATA_START_CODE:
        break;
      default:
        in_picture_headers_ = false;
    }
  }

  std::vector<SurveyedPicture> pictures_;
  int group_ = 0;
  bool in_picture_headers_ = false;
  bool done_ = false;
  uint8_t held_[HELD_BYTES] = {};
  size_t held_size_ = 0;
};

// Walks a program stream: the payload of the video stream 0 packets, in
// order, and the first packets of each audio stream. Damage is passed over as
// the demultiplexers do: a length that does not end at a start code is cut at
// the first start code inside it.
void Demultiplex(std::span<const uint8_t> bytes, PictureSurvey* video,
                 std::vector<SurveyedAudio>* audio) {
  const int size = static_cast<int>(bytes.size());
  const auto at = [&](int position) {
    return position >= 0 && position < size ? bytes[position] : -1;
  };
  int pos = 0;
  while (pos + 6 <= size) {
    const bool system_code = bytes[pos] == 0 && bytes[pos + 1] == 0 && bytes[pos + 2] == 1 &&
                             bytes[pos + 3] >= (FIRST_SYSTEM_START_CODE & 0xFF);
    if (!system_code) {
      ++pos;
      continue;
    }
    const int code = bytes[pos + 3];
    pos += 4;
    if (code == (PROGRAM_END_CODE & 0xFF)) break;
    if (code == (PACK_START_CODE & 0xFF)) {
      pos = Checked_End(at, pos, pos + Pack_Header_Length(at, pos));
      continue;
    }
    const int length = bytes[pos] << 8 | bytes[pos + 1];
    pos += 2;
    const int end = Checked_End(at, pos, pos + length);
    const int header = Packet_Header_Length(at, pos, end);
    if (header < 0) continue;  // resynchronise after the length
    const auto payload_begin = bytes.begin() + pos + header;
    const auto payload_end = bytes.begin() + std::min(end, size);
    if (code == VIDEO_STREAM_0_ID) {
      video->Add({payload_begin, payload_end});
    } else if (const int number =
                   Audio_Stream_Number(code, payload_begin < payload_end ? *payload_begin : -1);
               number >= 0) {
      auto stream = std::find_if(audio->begin(), audio->end(),
                                 [&](const SurveyedAudio& a) { return a.stream == number; });
      if (stream == audio->end()) stream = audio->insert(audio->end(), {number, {}, 0});
      if (stream->bytes < AUDIO_SURVEY_BYTES) {
        stream->packets.emplace_back(payload_begin, payload_end);
        stream->bytes += stream->packets.back().size();
      }
    }
    pos = end;
  }
  std::sort(audio->begin(), audio->end(),
            [](const SurveyedAudio& a, const SurveyedAudio& b) { return a.stream < b.stream; });
}

}  // namespace

StreamSurvey Survey_Stream(std::span<const uint8_t> bytes, bool program_stream) {
  StreamSurvey survey;
  PictureSurvey pictures;
  if (program_stream) {
    Demultiplex(bytes, &pictures, &survey.audio);
  } else {
    pictures.Add(bytes);
  }
  survey.pictures = pictures.Take();
  return survey;
}

bool Has_Pulldown_Cadence(const std::vector<SurveyedPicture>& pictures) {
  // Frames in display order; a field pair is one interlaced frame.
  struct Frame {
    int group, temporal_reference, progressive, repeat;
  };
  std::vector<Frame> frames;
  bool second_field = false;
  for (const SurveyedPicture& p : pictures) {
    if (p.picture_structure != FRAME_PICTURE) {
      second_field = !second_field;
      if (!second_field) continue;
    } else {
      second_field = false;
    }
    const bool frame = p.picture_structure == FRAME_PICTURE;
    frames.push_back({p.group, p.temporal_reference, frame && p.progressive_frame,
                      frame && p.repeat_first_field});
  }
  if (static_cast<int>(frames.size()) < MINIMUM_FRAMES) return false;
  std::stable_sort(frames.begin(), frames.end(), [](const Frame& a, const Frame& b) {
    return a.group != b.group ? a.group < b.group : a.temporal_reference < b.temporal_reference;
  });
  const int n = static_cast<int>(frames.size());
  int progressive = 0, repeats = 0, alternations = 0;
  for (int i = 0; i < n; ++i) {
    progressive += frames[i].progressive;
    repeats += frames[i].repeat;
    if (i > 0 && frames[i].repeat != frames[i - 1].repeat) ++alternations;
  }
  // Nearly all progressive, about half repeated, and mostly alternating.
  return 10 * progressive >= 9 * n && 5 * repeats >= 2 * n && 5 * repeats <= 3 * n &&
         4 * alternations >= 3 * (n - 1);
}
