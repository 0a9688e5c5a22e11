// The file chain: the input files read one after the other as one stream of
// bytes ("-" stands for standard input), read ahead of the decoder into a
// store of READ_AHEAD_CAPACITY bytes. Reading ahead lets the demultiplexer
// see where a packet length leads before it trusts it, lets the audio
// demultiplexer run ahead of the video, and lets the probe and the survey
// look at a stream that cannot be read twice (a pipe) without losing what
// they looked at.
//
// Bytes are named by their stream offset: how many bytes came before them
// since the input was reset (read_ahead.bytes_delivered is the offset of the
// first byte not yet taken).
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "decoder/decoder_state.h"

// Whether `path` can be part of the input: "-" (standard input), a regular
// file or a named pipe. Directories, devices and paths that do not exist
// cannot.
bool Input_Path_Is_Usable(const char* path);

// Opens an input for binary reading ("-": a new handle on standard input);
// nullptr when it cannot be opened or is not usable.
std::FILE* Open_Input_File(const char* path);

// What the probe found in the first file that is not empty (read ahead but
// not consumed): its first byte (-1 when every file is empty) and its first
// start code (0 when it holds none). The bytes before that start code are
// dropped; the decoder would pass over them anyway.
struct InputProbe {
  int first_byte;
  uint32_t first_start_code;
};
InputProbe Probe_Input();

// The next `count` bytes of the chain (at most SURVEY_BYTES; fewer when the
// input is shorter), read ahead but not taken: what a survey of the stream
// can look at before decoding starts. Valid until the chain is read again.
std::span<const uint8_t> Peek_Input_Ahead(int count);

// The byte at stream offset `offset` (not yet taken, at most
// READ_AHEAD_CAPACITY - 64 KiB ahead of the first byte not taken), read
// from the files if need be; -1 past the end of the input.
int Chain_Byte(int64_t offset);

// The bytes from stream offset `offset` to `end`, which Chain_Byte has
// shown to be there, in one piece. Valid until the chain is read again.
const uint8_t* Chain_Bytes(int64_t offset);

// Moves up to `count` bytes of the chain to `dest`; returns how many came.
int Take_From_Chain(uint8_t* dest, int count);
