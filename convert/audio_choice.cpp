#include "convert/audio_choice.h"

#include "convert/messages.h"
#include "convert/stream_properties.h"

const char* Read_Audio_Choice(const AudioChoice& choice, const StreamInfo& stream,
                              int frame_rate_selection, AudioSettings* settings) {
  *settings = AudioSettings{};
  if (choice.selection < 0) return nullptr;
  if (!stream.program_stream) return messages::kNoAudioInElementaryStream;
  if (static_cast<size_t>(choice.selection) >= stream.audio_streams.size())
    return messages::kNoSuchAudioStream;
  if (frame_rate_selection != Default_Frame_Rate_Index(stream)) return messages::kAudioWouldDrift;
  settings->enabled = true;
  settings->properties = stream.audio_streams[static_cast<size_t>(choice.selection)].properties;
  settings->output = choice.output;
  return nullptr;
}
