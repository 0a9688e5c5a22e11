// The audio streams an input offers for its output: those the survey at
// open met (decoder/survey.h) whose first packets tell their format, in
// the order of their stream numbers. Front ends list them 1-based.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "decoder/survey.h"
#include "platform/audio_headers.h"

struct ListedAudioStream {
  AudioProperties properties;  // properties.stream is its number
  std::string description;     // "ac3 48000 Hz 6 ch (0x80)"
};

// The streams of `surveyed` whose probe succeeds; the others are left out.
std::vector<ListedAudioStream> List_Audio_Streams(std::span<const SurveyedAudio> surveyed);
