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

bool Audio_Packets_Wanted(int stream_id) {
  if (keeping) return Is_Audio_Stream(stream_id, stream_id == PRIVATE_STREAM_1_ID ? 0x80 : 0);
  return decoder_state.audio_sink != nullptr && stream_id == decoder_state.audio_stream_id;
}

bool Is_Chosen(const AudioPesPacket& packet) {
  const DecoderState& d = decoder_state;
  if (packet.stream_id != d.audio_stream_id) return false;
  if (packet.stream_id != PRIVATE_STREAM_1_ID) return true;
  return packet.size > 0 && packet.payload[0] == d.audio_sub_stream_id;
}

void Audio_Packet_Met(const AudioPesPacket& packet) {
  const DecoderState& d = decoder_state;
  const int sub_stream_id = packet.size > 0 ? packet.payload[0] : -1;
  if (keeping) {
    if (!Is_Audio_Stream(packet.stream_id, sub_stream_id)) return;
    if (kept_bytes + static_cast<size_t>(packet.size) > MAX_KEPT_BYTES) return;
    kept_bytes += static_cast<size_t>(packet.size);
    KeptPacket& k = kept.emplace_back();
    k.bytes.assign(packet.payload, packet.payload + packet.size);
    k.packet = packet;
    k.packet.payload = k.bytes.data();
    return;
  }
  if (d.audio_sink != nullptr && Is_Chosen(packet)) d.audio_sink(packet, d.audio_sink_context);
}

}  // namespace

bool Is_Audio_Stream(int stream_id, int sub_stream_id) {
  if (stream_id >= FIRST_MPEG_AUDIO_STREAM && stream_id <= LAST_MPEG_AUDIO_STREAM) return true;
  return stream_id == PRIVATE_STREAM_1_ID && sub_stream_id >= FIRST_AC3_SUB_STREAM &&
         sub_stream_id <= LAST_LPCM_SUB_STREAM &&
         (sub_stream_id < FIRST_DTS_SUB_STREAM + 8 || sub_stream_id >= FIRST_LPCM_SUB_STREAM);
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
    if (!Is_Packet_Boundary(at, 0) || at(0) < 0) {
      if (at(0) < 0) break;  // the end of the input
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
  Release_Audio_Packets();
  keeping = true;
  decoder_state.audio_walk_offset = 0;
  decoder_state.audio_walk_clock = -1;
  decoder_state.audio_walk_segment = 0;
  decoder_state.audio_walk_ended = 0;
}

void Select_Audio_Stream(int stream_id, int sub_stream_id, AudioPesSink sink, void* context) {
  DecoderState& d = decoder_state;
  keeping = false;
  d.audio_stream_id = stream_id;
  d.audio_sub_stream_id = sub_stream_id;
  d.audio_sink = stream_id != 0 ? sink : nullptr;
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
  d.audio_stream_id = 0;
}
