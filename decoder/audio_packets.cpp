#include "decoder/audio_packets.h"

#include <cstdint>
#include <vector>

#include "decoder/start_codes.h"

namespace {

constexpr int FIRST_MPEG_AUDIO_STREAM = 0xC0;
constexpr int LAST_MPEG_AUDIO_STREAM = 0xDF;
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

bool Is_Chosen(const AudioPesPacket& packet) {
  const DecoderState& d = decoder_state;
  if (packet.stream_id != d.audio_stream_id) return false;
  if (packet.stream_id != PRIVATE_STREAM_1_ID) return true;
  return packet.size > 0 && packet.payload[0] == d.audio_sub_stream_id;
}

}  // namespace

bool Is_Audio_Stream(int stream_id, int sub_stream_id) {
  if (stream_id >= FIRST_MPEG_AUDIO_STREAM && stream_id <= LAST_MPEG_AUDIO_STREAM) return true;
  return stream_id == PRIVATE_STREAM_1_ID && sub_stream_id >= FIRST_AC3_SUB_STREAM &&
         sub_stream_id <= LAST_LPCM_SUB_STREAM &&
         (sub_stream_id < FIRST_DTS_SUB_STREAM + 8 || sub_stream_id >= FIRST_LPCM_SUB_STREAM);
}

bool Audio_Packets_Wanted(int stream_id) {
  if (keeping) return Is_Audio_Stream(stream_id, stream_id == PRIVATE_STREAM_1_ID ? 0x80 : 0);
  return decoder_state.audio_sink != nullptr && stream_id == decoder_state.audio_stream_id;
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

void Keep_Audio_Packets() {
  Release_Audio_Packets();
  keeping = true;
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
