#include "convert/frame_source.h"

#include "decoder/decoder.h"

int FrameSource::Open(const char* const* paths) {
  Close();
  const int result = Decoder_Open(paths);
  if (result != DECODER_OK) {
    // The decoder promises to leave nothing open on failure; closing again is
    // harmless and keeps that true whatever stopped the open.
    Decoder_Close();
    return result;
  }
  is_open = true;
  end_of_stream = false;
  stream_info.horizontal_size = Decoder_Horizontal_Size();
  stream_info.vertical_size = Decoder_Vertical_Size();
  stream_info.coded_width = Decoder_Coded_Width();
  stream_info.coded_height = Decoder_Coded_Height();
  stream_info.progressive_sequence = Decoder_Progressive_Sequence();
  stream_info.frame_rate_code = Decoder_Frame_Rate_Code();
  stream_info.aspect_ratio_information = Decoder_Aspect_Ratio_Code();
  stream_info.pulldown_cadence = Decoder_Pulldown_Cadence();
  stream_info.program_stream = Decoder_Stream_Is_Multiplexed() != 0;
  stream_info.audio_streams = List_Audio_Streams(Decoder_Audio_Streams());
  return DECODER_OK;
}

void FrameSource::Close() {
  if (!is_open) return;
  Decoder_Close();
  is_open = false;
}

int FrameSource::NextPicture(FrameStamp* stamp) {
  if (end_of_stream) return DECODER_END_OF_SEQUENCE;
  if (!is_open) return DECODER_FILE_ERROR;
  const int result = Decoder_Next_Picture();
  if (result == DECODER_OK) {
    Select_Output_Picture(0, stamp);
    return DECODER_OK;
  }
  if (result != DECODER_END_OF_SEQUENCE) return result;
  end_of_stream = true;
  // After a successful open a reference is always held, so this cannot
  // fail; if it did, the output pointers could be stale, so no picture is
  // made from them.
  if (Select_Output_Picture(1, stamp) != 0) return DECODER_END_OF_SEQUENCE;
  return DECODER_OK;
}

OutputPicture FrameSource::Picture() const {
  return Output_Picture();
}

void FrameSource::SelectAudio(int stream, AudioPesSink sink, void* context) {
  if (is_open) Decoder_Select_Audio(stream, sink, context);
}

int FrameSource::CurrentFileIndex() const {
  return Decoder_Current_File();
}

int FrameSource::KBytesRead() const {
  return Decoder_Kilobytes_Read();
}
