// The audio of a job: which of the input's listed audio streams goes into
// the AVI files, and in which form, as the front ends ask for it and as the
// start checks accept it.
#pragma once

#include "convert/frame_source.h"
#include "platform/audio_converter.h"

// The audio part of a start form.
struct AudioChoice {
  int selection = -1;  // index into StreamInfo::audio_streams; -1: no audio
  AudioOutput output = AudioOutput::kPcm;
};

// The audio part of a job's settings.
struct AudioSettings {
  bool enabled = false;
  AudioProperties properties;  // of the chosen stream, as its probe found them
  AudioOutput output = AudioOutput::kPcm;
};

// Checks `choice` against the stream and the chosen frame rate list index:
// the stream must be one of the listed ones, and the frame rate the
// stream's own (Default_Frame_Rate_Index), since the audio is timed against
// the video frames written and would drift at any other rate. Returns
// nullptr and fills `settings`, or the message of the refusal.
const char* Read_Audio_Choice(const AudioChoice& choice, const StreamInfo& stream,
                              int frame_rate_selection, AudioSettings* settings);
