#include "decoder/survey.h"

#include <algorithm>

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

// Walks a program stream: the payload of the video stream 0 packets, in
// order, and the first packets of each audio stream. Damage is passed over as
// the demultiplexers do: a length that does not end at a start code is cut at
// the first start code inside it.
void Demultiplex(std::span<const uint8_t> bytes, std::vector<uint8_t>* video,
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
      video->insert(video->end(), payload_begin, payload_end);
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

std::vector<SurveyedPicture> Survey_Pictures(std::span<const uint8_t> bytes) {
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

}  // namespace

StreamSurvey Survey_Stream(std::span<const uint8_t> bytes, bool program_stream) {
  StreamSurvey survey;
  if (!program_stream) {
    survey.pictures = Survey_Pictures(bytes);
    return survey;
  }
  std::vector<uint8_t> video;
  Demultiplex(bytes, &video, &survey.audio);
  survey.pictures = Survey_Pictures(video);
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
