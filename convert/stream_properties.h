// How the stream's codes are shown and which option defaults they select:
// the property lines of the Processing page and of `vidorlan-convert --info`.
#pragma once

#include <string>
#include <vector>

#include "convert/frame_source.h"

// Aspect ratio list: 0 "1:1", 1 "4:3", 2 "16:9", 3 "2.21:1".
extern const char* const kAspectRatioItems[4];
// Frame rate list: 0 "23.976 fps" ... 7 "60 fps".
extern const char* const kFrameRateItems[8];

// Text of aspect_ratio_information ("unknown" for 0 and 5..15) and the list
// index it selects (1, "4:3", when unknown).
const char* Aspect_Ratio_Text(int aspect_ratio_information);
int Default_Aspect_Index(int aspect_ratio_information);

// Text of frame_rate_code ("unknown" for 0 and 9..15).
const char* Frame_Rate_Text(int frame_rate_code);

// Film carried with soft 3:2 pulldown in a 29.97 or 30 fps interlaced
// sequence: one frame is decoded for every 2.5 fields shown, so the frames
// run at 23.976 or 24 fps. The index of that rate in the frame rate list, or
// -1 when the stream is not such film.
int Film_Frame_Rate_Index(const StreamInfo& stream);

// The frame rate list index a stream selects: film at its true rate, else
// the rate of frame_rate_code (2, "25 fps", when unknown).
int Default_Frame_Rate_Index(const StreamInfo& stream);

// The lines of the property list: width, height, interlace line, aspect
// ratio, frame rate, and for film with pulldown a sixth line that says so.
std::vector<std::string> Stream_Property_Lines(const StreamInfo& stream);
