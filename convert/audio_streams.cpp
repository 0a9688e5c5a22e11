#include "convert/audio_streams.h"

#include <algorithm>

std::vector<ListedAudioStream> List_Audio_Streams(std::span<const SurveyedAudio> surveyed) {
  std::vector<ListedAudioStream> listed;
  for (const SurveyedAudio& audio : surveyed) {
    AudioProperties properties;
    if (!ProbeAudioPackets(audio.stream, audio.packets, &properties)) continue;
    listed.push_back({properties, DescribeAudio(properties)});
  }
  std::sort(listed.begin(), listed.end(),
            [](const ListedAudioStream& a, const ListedAudioStream& b) {
              return a.properties.stream < b.properties.stream;
            });
  return listed;
}
