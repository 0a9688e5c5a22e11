#include "decoder/audio_packets.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decoder/file_chain.h"
#include "decoder/pes.h"
#include "decoder/start_codes.h"

namespace {

constexpr int FIRST_MPEG_AUDIO_STREAM = 0xC0;
constexpr int LAST_MPEG_AUDIO_STREAM = 0xDF;
// Private stream 1 sub-streams of AC-3 and DTS (0x80-0x8F) and LPCM.
constexpr int FIRST_AC3_SUB_STREAM = 0x80;
constexpr int LAST_DTS_SUB_STREAM = 0x8F;
constexpr int FIRST_LPCM_SUB_STREAM = 0xA0;
constexpr int LAST_LPCM_SUB_STREAM = 0xA7;
// Once a stream is chosen, its packets are met this far ahead of the video
// (about a second at 20 Mbit/s).
constexpr int64_t AUDIO_LOOK_AHEAD = 3 * 1024 * 1024;
// A clock that jumps back, or ahead by more than a second, starts a new
// segment of time stamps: a new program, or a joined or damaged stream.
constexpr int64_t MAX_CLOCK_STEP = 90000;
// Kept packets beyond this many bytes are dropped: an open that met no
// picture for so long is a damaged stream anyway.
constexpr size_t MAX_KEPT_BYTES = 4 * 1024 * 1024;

struct KeptPacket {
  AudioPesPacket packet;  // payload points into bytes
  std::vector<uint8_t> bytes;
};

bool keeping = false;
size_t kept_bytes = 0;
std::vector<KeptPacket> kept;

// Whether packets of `stream_id` are wanted now (kept or passed on), so
// that they are looked into only then.
bool Audio_Packets_Wanted(int stream_id) {
  const int chosen = decoder_state.audio_stream;
  if (keeping) return Audio_Stream_Number(stream_id, FIRST_AC3_SUB_STREAM) >= 0;
  if (decoder_state.audio_sink == nullptr) return false;
  return stream_id == (chosen >= FIRST_MPEG_AUDIO_STREAM ? chosen : PRIVATE_STREAM_1_ID);
}

void Audio_Packet_Met(const AudioPesPacket& packet) {
  const DecoderState& d = decoder_state;
  const int number =
      Audio_Stream_Number(packet.stream_id, packet.size > 0 ? packet.payload[0] : -1);
  if (number < 0) return;
  if (keeping) {
    if (kept_bytes + static_cast<size_t>(packet.size) > MAX_KEPT_BYTES) return;
    kept_bytes += static_cast<size_t>(packet.size);
    KeptPacket& k = kept.emplace_back();
    k.bytes.assign(packet.payload, packet.payload + packet.size);
    k.packet = packet;
    k.packet.payload = k.bytes.data();
    return;
  }
  if (d.audio_sink != nullptr && number == d.audio_stream)
    d.audio_sink(packet, d.audio_sink_context);
}

}  // namespace

int Audio_Stream_Number(int stream_id, int first_payload_byte) {
  if (stream_id >= FIRST_MPEG_AUDIO_STREAM && stream_id <= LAST_MPEG_AUDIO_STREAM) return stream_id;
  if (stream_id != PRIVATE_STREAM_1_ID) return -1;
  const int sub = first_payload_byte;
  const bool audio = (sub >= FIRST_AC3_SUB_STREAM && sub <= LAST_DTS_SUB_STREAM) ||
                     (sub >= FIRST_LPCM_SUB_STREAM && sub <= LAST_LPCM_SUB_STREAM);
  return audio ? sub : -1;
}

void Walk_Audio_Ahead() {
  DecoderState& d = decoder_state;
  if (!d.stream_is_multiplexed || d.audio_walk_ended || (!keeping && d.audio_sink == nullptr)) {
    return;
  }
  const int64_t taken = d.read_ahead.bytes_delivered;
  const int64_t until = taken + (keeping ? INPUT_BUFFER_SIZE : AUDIO_LOOK_AHEAD);
  int64_t& position = d.audio_walk_offset;
  position = std::max(position, taken);
  while (position < until) {
    // Resynchronise byte by byte on anything that is not a pack or packet
    // start code, as the video demultiplexer does.
    const int64_t base = position;
    const auto at = [base](int offset) { return Chain_Byte(base + offset); };
    if (at(0) < 0) break;  // the end of the input
    if (!Is_Packet_Boundary(at, 0)) {
      ++position;
      continue;
    }
    const int code = at(3);
    if (code == (PROGRAM_END_CODE & 0xFF)) {
      d.audio_walk_ended = 1;
      break;
    }
    if (code == (PACK_START_CODE & 0xFF)) {
      const int64_t clock = Pack_Clock(at, 4);
      if (clock >= 0) {
        const int64_t last = d.audio_walk_clock;
        if (last >= 0 && (clock < last || clock > last + MAX_CLOCK_STEP)) d.audio_walk_segment += 1;
        d.audio_walk_clock = clock;
      }
      position = base + Checked_End(at, 4, 4 + Pack_Header_Length(at, 4));
      continue;
    }
    if (at(5) < 0) break;
    const int end = Checked_End(at, 6, 6 + (at(4) << 8 | at(5)));
    if (Audio_Packets_Wanted(code)) {
      const int header = Packet_Header_Length(at, 6, end);
      if (header >= 0) {
        const int64_t pts = Packet_Pts(at, 6);
        Audio_Packet_Met(
            {code, Chain_Bytes(base + 6 + header), end - 6 - header, pts, d.audio_walk_segment});
      }
    }
    position = base + end;
  }
}

void Keep_Audio_Packets() {
  DecoderState& d = decoder_state;
  Release_Audio_Packets();
  keeping = true;
  d.audio_walk_offset = 0;
  d.audio_walk_clock = -1;
  d.audio_walk_segment = 0;
  d.audio_walk_ended = 0;
}

void Select_Audio_Stream(int stream, AudioPesSink sink, void* context) {
  DecoderState& d = decoder_state;
  keeping = false;
  d.audio_stream = stream;
  d.audio_sink = stream >= 0 ? sink : nullptr;
  d.audio_sink_context = context;
  std::vector<KeptPacket> packets;
  packets.swap(kept);
  kept_bytes = 0;
  for (const KeptPacket& k : packets) Audio_Packet_Met(k.packet);
}

void Release_Audio_Packets() {
  DecoderState& d = decoder_state;
  keeping = false;
  kept.clear();
  kept.shrink_to_fit();
  kept_bytes = 0;
  d.audio_sink = nullptr;
  d.audio_stream = -1;
}
