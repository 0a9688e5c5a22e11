// Audio packets of a program stream. Audio is demultiplexed on its own, by a
// walk over the file chain ahead of the video (a program stream carries the
// audio of a moment later than its video, and the output wants them
// together); the one stream chosen for the output goes on to its sink. Until
// a stream is chosen, the packets met while the stream is opened are kept, so
// that the chosen stream's first packets are not lost.
#pragma once

#include "decoder/decoder_state.h"

// Audio streams are named by one number: the stream id 0xC0-0xDF of MPEG
// audio, or the sub-stream id (the first payload byte) of private stream 1
// for AC-3 (0x80-0x87), DTS (0x88-0x8F) and LPCM (0xA0-0xA7). The number of
// a packet of `stream_id` whose payload begins with `first_payload_byte`, or
// -1 when it is not audio this program can take.
int Audio_Stream_Number(int stream_id, int first_payload_byte);

// Before the input buffer takes the next bytes of the chain: walks the
// packets that begin in them (and, once a stream is chosen, those of the
// next AUDIO_LOOK_AHEAD bytes), keeping or handing on the audio packets.
void Walk_Audio_Ahead();

// At open: keep every audio packet met from now on, until a stream is chosen
// or the stream is closed.
void Keep_Audio_Packets();

// Chooses the stream whose packets go to `sink` (-1: none), first the kept
// packets of that stream, in order; the others are dropped.
void Select_Audio_Stream(int stream, AudioPesSink sink, void* context);

// Drops the kept packets and the choice.
void Release_Audio_Packets();
