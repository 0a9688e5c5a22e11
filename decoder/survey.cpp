#include "decoder/survey.h"

#include <algorithm>

#include "decoder/decoder_state.h"
#include "decoder/pes.h"
#include "decoder/start_codes.h"

namespace {

constexpr int PICTURE_CODING_EXTENSION_ID = 8;
constexpr int MINIMUM_FRAMES = 12;

// The payload of the video stream 0 packets of a program stream, in order.
// Damage is passed over as the demultiplexer does: a length that does not
// end at a start code is cut at the first start code inside it.
std::vector<uint8_t> Video_Of_Program_Stream(std::span<const uint8_t> bytes) {
  const int size = static_cast<int>(bytes.size());
  const auto at = [&](int position) {
    return position >= 0 && position < size ? bytes[position] : -1;
  };
  std::vector<uint8_t> video;
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
    if (code == VIDEO_STREAM_0_ID) {
      const int header = Packet_Header_Length(at, pos, end);
      if (header < 0) continue;  // resynchronise after the length
      video.insert(video.end(), bytes.begin() + pos + header, bytes.begin() + std::min(end, size));
    }
    pos = end;
  }
  return video;
}

}  // namespace

std::vector<SurveyedPicture> Survey_Pictures(std::span<const uint8_t> bytes, bool program_stream) {
  std::vector<uint8_t> demultiplexed;
  if (program_stream) {
    demultiplexed = Video_Of_Program_Stream(bytes);
    bytes = demultiplexed;
  }
  std::vector<SurveyedPicture> pictures;
  int group = 0;
  // The coding extension belongs to the picture header before it; another
  // start code in between (a slice) ends the picture's headers.
  bool in_picture_headers = false;
  for (size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) continue;
    const uint32_t code = (START_CODE_PREFIX << 8) | bytes[i + 3];
    const uint8_t* b = &bytes[i + 4];
    if (code == PICTURE_START_CODE) {
      if (pictures.size() == SURVEY_PICTURES) break;
      pictures.push_back({group, b[0] << 2 | b[1] >> 6, FRAME_PICTURE, 1, 0});
      in_picture_headers = true;
    } else if (code == EXTENSION_START_CODE) {
      if (in_picture_headers && b[0] >> 4 == PICTURE_CODING_EXTENSION_ID) {
        SurveyedPicture& p = pictures.back();
        p.picture_structure = b[2] & 3;
        p.repeat_first_field = b[3] >> 1 & 1;
        p.progressive_frame = b[4] >> 7;
      }
    } else if (code == GROUP_START_CODE) {
      ++group;
      in_picture_headers = false;
    } else if (code != USER_DATA_START_CODE) {
      in_picture_headers = false;
    }
  }
  return pictures;
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
