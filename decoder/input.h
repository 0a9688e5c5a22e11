// The input buffer and the program-stream demultiplexer of the video.
//
// The bytes of the file chain (file_chain.h) reach the bit reader through one
// buffer, so the stream runs on across file boundaries without a seam.
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

#include "decoder/decoder_state.h"

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

// Right after next_start_code() has found a picture start code: the
// picture's time stamp and segment from the video packet the start code
// begins in (program streams; elementary streams have none).
FrameStamp Take_Picture_Stamp();

inline bool Input_Exhausted() {
  return decoder_state.valid_data_end != INPUT_BUFFER_SIZE;
}
