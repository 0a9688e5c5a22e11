// A look at the first megabytes of the input at open, before anything is
// decoded: the flags of the first pictures, which tell film carried with
// soft 3:2 pulldown (progressive frames, every other one flagged to show a
// field again) from video.
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

// The first pictures of `bytes` in coded order: a video elementary stream,
// or a program stream whose video stream 0 is looked at.
std::vector<SurveyedPicture> Survey_Pictures(std::span<const uint8_t> bytes, bool program_stream);

// Whether the pictures carry the 3:2 pulldown cadence of film: at least a
// dozen frames, nearly all progressive, and in display order
// repeat_first_field set on every other frame (a broken cadence here and
// there allowed). Field pictures count as interlaced frames.
bool Has_Pulldown_Cadence(const std::vector<SurveyedPicture>& pictures);
