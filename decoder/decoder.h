// The decoder's face to the rest of the program.
//
// One stream is open per process. Calling order: Decoder_Open, the getters,
// any number of Decoder_Next_Picture calls (each followed by taking the
// picture due for display), Decoder_Close. The decoder is not thread-safe
// and is never used by two threads at once.
#pragma once

#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/survey.h"

// Opens the null-terminated list of paths as one stream and decodes its first
// picture. The caller keeps the strings alive until Decoder_Close. Returns a
// DecoderResult; on any result but DECODER_OK nothing stays open.
int Decoder_Open(const char* const* paths);

// Decodes one more frame (a frame picture or a pair of field pictures) in
// coded order: DECODER_OK, DECODER_NO_MEMORY, DECODER_END_OF_SEQUENCE (also the
// end of all input) or DECODER_UNKNOWN_STREAM (a first sequence header that
// cannot be decoded).
int Decoder_Next_Picture();

// Releases the frame stores and closes the open file. Safe in any state.
void Decoder_Close();

int Decoder_Horizontal_Size();
int Decoder_Vertical_Size();
int Decoder_Coded_Width();
int Decoder_Coded_Height();
int Decoder_Progressive_Sequence();
int Decoder_Frame_Rate_Code();
int Decoder_Aspect_Ratio_Code();
int Decoder_Chroma_Format();
int Decoder_Is_MPEG2();
int Decoder_Stream_Is_Multiplexed();

// The audio streams found in the first megabytes of a program stream, by
// stream number (audio_packets.h), with the payloads of their first packets.
const std::vector<SurveyedAudio>& Decoder_Audio_Streams();

// Program streams: from now on the packets of audio stream `stream` (its
// number, audio_packets.h) go to `sink`, called during Decoder_Next_Picture
// (ahead of the video by up to a few megabytes of the stream); first those
// met while the stream was opened. -1 chooses none. Call once, after the open.
void Decoder_Select_Audio(int stream, AudioPesSink sink, void* context);

// 1 when the stream's first pictures carry the 3:2 pulldown cadence of film
// (progressive frames, repeat_first_field on every other one), else 0.
int Decoder_Pulldown_Cadence();

// Progress: index of the input file being read, kilobytes consumed.
int Decoder_Current_File();
int Decoder_Kilobytes_Read();

// The frame store due for display after the last Decoder_Next_Picture:
// flush is 0 after DECODER_OK, 1 after DECODER_END_OF_SEQUENCE. Returns
// false (and leaves the outputs alone) when nothing is due, which happens
// only on a flush without a held reference. `progressive` receives the
// picture's progressive_frame value, `stamp` (when given) its time stamp.
bool Display_Store(int flush, FrameStore* store, int* progressive, FrameStamp* stamp = nullptr);

// The colour conversion's coefficients from matrix_coefficients.
void Select_Colour_Coefficients();

// Frame stores and upsampling buffers, sized by the first sequence header.
// Allocate returns 0, or 1 when memory runs out (everything is freed then).
int Allocate_Frame_Stores();
void Free_Frame_Stores();
