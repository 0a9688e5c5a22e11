// How the stream's codes are shown and which option defaults they select:
// the property lines of the Processing page and of `vidorlan-convert --info`.
#pragma once

#include <string>
#include <vector>

// Aspect ratio list: 0 "1:1", 1 "4:3", 2 "16:9", 3 "2.21:1".
extern const char* const kAspectRatioItems[4];
// Frame rate list: 0 "23.976 fps" ... 7 "60 fps".
extern const char* const kFrameRateItems[8];

// Text of aspect_ratio_information ("unknown" for 0 and 5..15) and the list
// index it selects (1, "4:3", when unknown).
const char* Aspect_Ratio_Text(int aspect_ratio_information);
int Default_Aspect_Index(int aspect_ratio_information);

// Text of frame_rate_code ("unknown" for 0 and 9..15) and the list index it
// selects (2, "25 fps", when unknown).
const char* Frame_Rate_Text(int frame_rate_code);
int Default_Frame_Rate_Index(int frame_rate_code);

// The five lines of the property list: width, height, interlace line,
// aspect ratio, frame rate.
std::vector<std::string> Stream_Property_Lines(int coded_width, int coded_height,
                                               int progressive_sequence,
                                               int aspect_ratio_information, int frame_rate_code);
