// Input file chain and program-stream demultiplexer.
//
// The files of file_list are read one after the other, so the stream runs on
// across file boundaries without a seam; "-" stands for standard input. The
// chain is read ahead of the bit reader's buffer, which lets the
// demultiplexer check where a packet length leads before trusting it and lets
// the probe look at the first bytes of a pipe without losing them.
//
// In a program stream only the payload of the packets of video stream 0
// (0xE0) reaches the bit reader. Damage in the multiplex (a broken pack or
// packet header, a wrong length, stray video start codes between packets) is
// passed over by resynchronising on the next pack or packet start code; only
// a program end code or the end of the last file ends the input. Once all
// input is used up the stream goes on for ever with the bytes 00 00 01 B7
// (sequence_end_code), which is how the end reaches the header loop.
#pragma once

#include <cstdint>
#include <cstdio>

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

// Empties the bit reader and the buffer and primes the bit window from the
// chain (the bytes read ahead first, then input_file and the files after it)
// in the mode stream_is_multiplexed selects.
void Reset_Input();

// Loads the next buffer (elementary path of the bit reader, read_position at
// the buffer end). On an exhausted input fills the buffer with end codes.
void Refill_Buffer();

// Next byte of the raw input (program streams: headers and payload alike).
int Read_Byte();
int Read_Word16();
uint32_t Read_Word32();

// Program streams: called when read_position has reached packet_end. On
// return read_position is at the first payload byte of the next video packet
// and packet_end at its end, or the input is exhausted (end codes follow).
void Next_Video_Packet();

inline bool Input_Exhausted() {
  return decoder_state.valid_data_end != INPUT_BUFFER_SIZE;
}
