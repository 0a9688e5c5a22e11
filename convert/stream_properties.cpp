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

int Film_Frame_Rate_Index(const StreamInfo& stream) {
  if (!stream.pulldown_cadence || stream.progressive_sequence) return -1;
  switch (stream.frame_rate_code) {
    case 4:  // 29.97
      return 0;
    case 5:  // 30
      return 1;
    default:  // 25 stays 25
      return -1;
  }
}

int Default_Frame_Rate_Index(const StreamInfo& stream) {
  const int film = Film_Frame_Rate_Index(stream);
  if (film >= 0) return film;
  const int code = stream.frame_rate_code;
  return code >= 1 && code <= 8 ? code - 1 : 2;
}

std::vector<std::string> Stream_Property_Lines(const StreamInfo& stream) {
  std::vector<std::string> lines = {
      "Width: " + std::to_string(stream.coded_width),
      "Height: " + std::to_string(stream.coded_height),
      stream.progressive_sequence ? "Sequence is not interlaced"
                                  : "Sequence may contain interlaced frames",
      std::string("Aspect Ratio: ") + Aspect_Ratio_Text(stream.aspect_ratio_information),
      std::string("Framerate: ") + Frame_Rate_Text(stream.frame_rate_code),
  };
  const int film = Film_Frame_Rate_Index(stream);
  if (film >= 0) lines.push_back(std::string("3:2 pulldown: film at ") + kFrameRateItems[film]);
  return lines;
}
