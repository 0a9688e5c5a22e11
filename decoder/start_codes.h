// Start codes of video streams and program streams, and the stream ids of
// program-stream packets. A start code is the prefix 0x000001 followed by one
// byte; the 32-bit values below include the prefix.
#pragma once

#include <cstdint>

constexpr uint32_t START_CODE_PREFIX = 0x000001;

// Video (ISO/IEC 11172-2, ISO/IEC 13818-2).
constexpr uint32_t PICTURE_START_CODE = 0x00000100;
constexpr uint32_t FIRST_SLICE_START_CODE = 0x00000101;
constexpr uint32_t LAST_SLICE_START_CODE = 0x000001AF;
constexpr uint32_t USER_DATA_START_CODE = 0x000001B2;
constexpr uint32_t SEQUENCE_HEADER_CODE = 0x000001B3;
constexpr uint32_t EXTENSION_START_CODE = 0x000001B5;
constexpr uint32_t SEQUENCE_END_CODE = 0x000001B7;
constexpr uint32_t GROUP_START_CODE = 0x000001B8;

// Program streams (ISO/IEC 11172-1, ISO/IEC 13818-1). Every code from the
// program end code up is a system start code; video streams never hold one.
constexpr uint32_t PROGRAM_END_CODE = 0x000001B9;
constexpr uint32_t PACK_START_CODE = 0x000001BA;
constexpr uint32_t FIRST_SYSTEM_START_CODE = PROGRAM_END_CODE;

// Stream ids (the byte after the prefix) of program-stream packets.
constexpr int PRIVATE_STREAM_1_ID = 0xBD;
constexpr int VIDEO_STREAM_0_ID = 0xE0;
constexpr uint32_t VIDEO_STREAM_0_CODE = 0x00000100 | VIDEO_STREAM_0_ID;

// The first byte of a transport stream packet.
constexpr int TRANSPORT_SYNC_BYTE = 0x47;
