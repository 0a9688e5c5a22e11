// A look at the first megabytes of the input at open, before anything is
// decoded: the flags of the first pictures, which tell film carried with
// soft 3:2 pulldown (progressive frames, every other one flagged to show a
// field again) from video, and the audio streams present.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct SurveyedPicture {
  int group;  // count of group headers before it
  int temporal_reference;
  int picture_structure;  // a frame when the picture has no coding extension
  int progressive_frame;
  int repeat_first_field;
};

// At most this many pictures are looked at: a few groups.
constexpr int SURVEY_PICTURES = 90;

// An audio stream met in the survey: its number (see audio_packets.h) and
// the payloads of its first packets, for telling its format.
struct SurveyedAudio {
  int stream;
  std::vector<std::vector<uint8_t>> packets;
  size_t bytes;  // in the packets
};

struct StreamSurvey {
  std::vector<SurveyedPicture> pictures;  // the first ones, in coded order
  std::vector<SurveyedAudio> audio;       // by stream number
};

// Looks at `bytes`, the start of a video elementary stream or of a program
// stream (whose video stream 0 and audio streams are looked at).
StreamSurvey Survey_Stream(std::span<const uint8_t> bytes, bool program_stream);

// Whether the pictures carry the 3:2 pulldown cadence of film: at least a
// dozen frames, nearly all progressive, and in display order
// repeat_first_field set on every other frame (a broken cadence here and
// there allowed). Field pictures count as interlaced frames.
bool Has_Pulldown_Cadence(const std::vector<SurveyedPicture>& pictures);
