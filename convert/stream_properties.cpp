#include "convert/stream_properties.h"

const char* const kAspectRatioItems[4] = {"1:1", "4:3", "16:9", "2.21:1"};
const char* const kFrameRateItems[8] = {"23.976 fps", "24 fps", "25 fps",    "29.97 fps",
                                        "30 fps",     "50 fps", "59.94 fps", "60 fps"};

const char* Aspect_Ratio_Text(int code) {
  return code >= 1 && code <= 4 ? kAspectRatioItems[code - 1] : "unknown";
}

int Default_Aspect_Index(int code) {
  return code >= 1 && code <= 4 ? code - 1 : 1;
}

const char* Frame_Rate_Text(int code) {
  return code >= 1 && code <= 8 ? kFrameRateItems[code - 1] : "unknown";
}

int Default_Frame_Rate_Index(int code) {
  return code >= 1 && code <= 8 ? code - 1 : 2;
}

std::vector<std::string> Stream_Property_Lines(int coded_width, int coded_height,
                                               int progressive_sequence,
                                               int aspect_ratio_information, int frame_rate_code) {
  return {
      "Width: " + std::to_string(coded_width),
      "Height: " + std::to_string(coded_height),
      progressive_sequence ? "Sequence is not interlaced"
                           : "Sequence may contain interlaced frames",
      std::string("Aspect Ratio: ") + Aspect_Ratio_Text(aspect_ratio_information),
      std::string("Framerate: ") + Frame_Rate_Text(frame_rate_code),
  };
}
