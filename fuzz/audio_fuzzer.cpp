// libFuzzer target: the audio converters on an elementary stream of each
// kind, probed from its first bytes and cut into PES payloads of sizes
// taken from the data; both outputs.
#include <algorithm>
#include <span>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "platform/audio_converter.h"

namespace {
constexpr int kStreams[4] = {0xC0, 0x80, 0x88, 0xA0};  // MPEG audio, AC-3, DTS, LPCM
constexpr size_t kProbeBytes = 16384;
constexpr int kLpcmHeaderBytes = 3;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzControl control(data, size);
  const uint8_t kind = control.Byte();
  const uint8_t cut = control.Byte();
  const int stream = kStreams[kind & 3];
  const AudioOutput output = kind & 4 ? AudioOutput::kCopy : AudioOutput::kPcm;
  std::span<const uint8_t> stream_bytes(control.data(), control.size());
  AudioProperties properties;
  if (!ProbeAudio(stream, stream_bytes.first(std::min(stream_bytes.size(), kProbeBytes)),
                  &properties))
    return 0;
  auto converter = CreateAudioConverter(properties, output);
  if (!converter) return 0;
  converter->SetDiagnosticSink([](const std::string&) {});

  // LPCM packets each repeat the header in front of the stream's samples.
  const bool lpcm = stream == 0xA0;
  const std::span<const uint8_t> lpcm_header = stream_bytes.first(lpcm ? kLpcmHeaderBytes : 0);
  stream_bytes = stream_bytes.subspan(lpcm_header.size());
  std::vector<AudioPacket> out;
  int64_t pts = 0;
  for (size_t pos = 0, i = 0; pos < stream_bytes.size(); ++i) {
    const size_t piece = std::min(stream_bytes.size() - pos, 1 + (cut * (i % 3 + 1) * 7) % 4096);
    std::vector<uint8_t> payload;
    if (stream < 0xC0) {  // private stream 1: sub-stream id, one frame, pointer from the data
      payload = {static_cast<uint8_t>(stream), 1, 0, static_cast<uint8_t>(cut & 7)};
      payload.insert(payload.end(), lpcm_header.begin(), lpcm_header.end());
    }
    payload.insert(payload.end(), stream_bytes.begin() + pos, stream_bytes.begin() + pos + piece);
    converter->Push(payload, i % 2 ? kNoAudioPts : pts, &out);
    out.clear();
    pos += piece;
    pts += 1800;
  }
  converter->Flush(&out);
  return 0;
}
