// A frame of silence in the format of a stream that is copied, for filling
// its gaps: MPEG audio built from a header like the stream's
// (SilentAudioFrame), AC-3 and DTS encoded by libavcodec at the stream's
// sample rate, channels and bit rate.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/audio_headers.h"

// The frame, `properties.samples_per_frame` long; empty when no frame of
// the stream's timing can be made (no encoder, or none for that rate or
// layout): a gap in the copy then stays a gap.
std::vector<uint8_t> SilentCopyFrame(const AudioProperties& properties);
