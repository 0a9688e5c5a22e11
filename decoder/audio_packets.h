// Audio packets of a program stream. Audio is demultiplexed on its own, by a
// walk over the file chain ahead of the video (a program stream carries the
// audio of a moment later than its video, and the output wants them
// together); the one stream chosen for the output goes on to its sink. Until
// a stream is chosen, the packets met while the stream is opened are kept, so
// that the chosen stream's first packets are not lost.
#pragma once

#include "decoder/decoder_state.h"

// Private stream 1 sub-stream ids of the audio it may carry: AC-3, DTS and
// LPCM.
constexpr int FIRST_AC3_SUB_STREAM = 0x80;
constexpr int FIRST_DTS_SUB_STREAM = 0x88;
constexpr int FIRST_LPCM_SUB_STREAM = 0xA0;
constexpr int LAST_LPCM_SUB_STREAM = 0xA7;

// Whether a packet of `stream_id` (and, for private stream 1, the first
// payload byte `sub_stream_id`) is audio this program can take.
bool Is_Audio_Stream(int stream_id, int sub_stream_id);

// Before the input buffer takes the next bytes of the chain: walks the
// packets that begin in them (and, once a stream is chosen, those of the
// next AUDIO_LOOK_AHEAD bytes), keeping or handing on the audio packets.
void Walk_Audio_Ahead();

// At open: keep every audio packet met from now on, until a stream is chosen
// or the stream is closed.
void Keep_Audio_Packets();

// Chooses the stream whose packets go to `sink` (stream_id 0: none), first
// the kept packets of that stream, in order; the others are dropped.
void Select_Audio_Stream(int stream_id, int sub_stream_id, AudioPesSink sink, void* context);

// Drops the kept packets and the choice.
void Release_Audio_Packets();
