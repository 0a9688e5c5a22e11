// Audio streams made by ffmpeg inside MPEG program and system streams, run
// through the audio converters, and ffmpeg's own reading of them.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/audio_converter.h"
#include "tests/platform/avi_test_support.h"
#include "tests/platform/pes_walker.h"

namespace avi_test {

// How ffmpeg makes one test stream: `channels` tones of different pitch,
// encoded with `codec` (ffmpeg arguments) into `muxer` ("vob", "mpeg").
struct AudioSource {
  int channels;
  int rate;
  const char* codec;
  const char* muxer;
};

inline bool MakeAudioStream(const std::string& path, const AudioSource& source,
                            double seconds = 1.0) {
  std::string exprs;
  for (int c = 0; c < source.channels; ++c)
    exprs += (c ? "|" : "") + std::string("0.4*sin(2*PI*") + std::to_string(220 + 110 * c) + "*t)";
  std::vector<std::string> args = {"ffmpeg",
                                   "-v",
                                   "error",
                                   "-nostdin",
                                   "-y",
                                   "-f",
                                   "lavfi",
                                   "-i",
                                   "aevalsrc=exprs=" + exprs + ":s=" + std::to_string(source.rate) +
                                       ":d=" + std::to_string(seconds)};
  std::istringstream codec(source.codec);
  for (std::string arg; codec >> arg;) args.push_back(arg);
  args.insert(args.end(), {"-f", source.muxer, path});
  return RunCommand(args).exit_status == 0;
}

struct ConvertedAudio {
  bool probed = false;
  AudioProperties properties;
  std::unique_ptr<AudioConverter> converter;
  std::vector<AudioPacket> packets;
  std::vector<std::string> diagnostics;
  int64_t first_pts = -1;  // of the stream's first PES packet
};

// Probes the first audio stream of `packets` in its first payloads and runs
// all its packets through a converter of `output`.
inline ConvertedAudio ConvertAudio(const std::vector<PesPacket>& packets, AudioOutput output) {
  ConvertedAudio result;
  int stream = -1;
  std::vector<std::vector<uint8_t>> start;
  for (const PesPacket& p : packets) {
    const int s = AudioStreamOf(p);
    if (s < 0 || (stream >= 0 && s != stream)) continue;
    if (stream < 0) result.first_pts = p.pts;
    stream = s;
    if (start.size() < 8) start.push_back(p.payload);
  }
  result.probed = ProbeAudioPackets(stream, start, &result.properties);
  if (result.probed) result.converter = CreateAudioConverter(result.properties, output);
  if (!result.converter) return result;
  result.converter->SetDiagnosticSink([&diagnostics = result.diagnostics](const std::string& line) {
    diagnostics.push_back(line);
  });
  for (const PesPacket& p : packets)
    if (AudioStreamOf(p) == stream) result.converter->Push(p.payload, p.pts, &result.packets);
  result.converter->Flush(&result.packets);
  return result;
}

inline std::vector<uint8_t> Joined(const std::vector<AudioPacket>& packets) {
  std::vector<uint8_t> all;
  for (const AudioPacket& p : packets) all.insert(all.end(), p.data.begin(), p.data.end());
  return all;
}

inline int64_t TotalSamples(const std::vector<AudioPacket>& packets) {
  int64_t total = 0;
  for (const AudioPacket& p : packets) total += p.samples;
  return total;
}

// ffmpeg's output for the first audio stream of `path`: `format` is "s16le"
// or "s24le" (decoded) or a raw muxer ("ac3", "dts", "mp2", "mp3") for the
// stream copied.
inline std::vector<uint8_t> FfmpegAudio(const std::string& path, const std::string& format) {
  std::vector<std::string> args = {"ffmpeg", "-v", "error", "-nostdin",
                                   "-i",     path, "-map",  "0:a:0"};
  if (format != "s16le" && format != "s24le")
    args.insert(args.end(), {"-c", "copy", "-write_xing", "0", "-id3v2_version", "0"});
  args.insert(args.end(), {"-f", format, "-"});
  const CommandResult r = RunCommand(args);
  return std::vector<uint8_t>(r.out.begin(), r.out.end());
}

// The largest difference between two streams of 16-bit samples, or -1 when
// their lengths differ.
inline int LargestDifference16(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.size() % 2) return -1;
  int largest = 0;
  for (size_t i = 0; i < a.size(); i += 2) {
    const int x = static_cast<int16_t>(a[i] | a[i + 1] << 8);
    const int y = static_cast<int16_t>(b[i] | b[i + 1] << 8);
    largest = std::max(largest, std::abs(x - y));
  }
  return largest;
}

}  // namespace avi_test
