#include "convert/avi_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <span>

#include "convert/output_paths.h"

AviFrameRate AviFrameRateForIndex(int frame_rate_index) {
  static constexpr AviFrameRate kRates[] = {
      {24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}, {50, 1}, {60000, 1001}, {60, 1},
  };
  if (frame_rate_index < 0 || frame_rate_index >= static_cast<int>(std::size(kRates)))
    return {25, 1};
  return kRates[frame_rate_index];
}

AviWriter::~AviWriter() {
  Close();
}

void AviWriter::SetChooseCompressorHook(ChooseCompressorHook hook) {
  choose_compressor = std::move(hook);
}

int AviWriter::Open(const std::string& path, int frame_width, int frame_height,
                    int frame_rate_index, bool split_output, const AviAudioFormat* audio) {
  Close();
  audio_format.reset();
  if (audio != nullptr) audio_format = *audio;
  width = frame_width;
  height = frame_height;
  file_number = 0;
  split = split_output;
  base_name = split ? Split_Base_Name(path) : std::string();
  if (file.Create(split ? Split_File_Name(base_name, file_number) : path) != AVI_OK) return 1;

  const AviFrameRate frame_rate = AviFrameRateForIndex(frame_rate_index);
  stream_header = AviStreamInfo{};
  stream_header.fccType = MakeFourCC("vids");
  stream_header.dwRate = frame_rate.rate;
  stream_header.dwScale = frame_rate.scale;
  const int64_t frame_bytes = int64_t{width} * height * 3;
  stream_header.dwSuggestedBufferSize = static_cast<uint32_t>(
      std::clamp<int64_t>(frame_bytes, 0, std::numeric_limits<uint32_t>::max()));
  stream_header.dwQuality = 0xFFFFFFFFu;  // the compressor's default quality
  stream_header.rcFrame = AviRect{0, 0, width, height};
  static_assert(sizeof kAviStreamName <= sizeof stream_header.szName);
  std::memcpy(stream_header.szName, kAviStreamName, sizeof kAviStreamName);
  if (file.CreateStream(stream_header) != AVI_OK) {
    Close();
    return 1;
  }

  if (choose_compressor) {
    CompressOptions chosen = compress_options;
    if (!choose_compressor(chosen)) {
      Close();
      return 2;
    }
    compress_options = chosen;
  }
  options_held = true;

  format = BitmapInfoHeader{};
  format.biSize = 40;
  format.biWidth = width;
  format.biHeight = height;  // positive: rows stored bottom-up
  format.biPlanes = 1;
  format.biBitCount = 24;
  format.biCompression = BI_RGB;
  if (StartStreams() != AVI_OK) {
    Close();
    return 1;
  }
  return 0;
}

// Makes the compressed stream for the open file and declares its format:
// a fresh encoder per file, so every file starts with a key frame.
int AviWriter::StartStreams() {
  const int opened =
      compressed_stream.Open(compress_options, format, stream_header.dwRate, stream_header.dwScale);
  if (opened != AVI_OK) return opened;
  const int formatted =
      file.SetFormat(compressed_stream.OutputFormat(), compressed_stream.Extradata());
  if (formatted != AVI_OK || !audio_format) return formatted;
  return file.AddAudioStream(audio_format->info, audio_format->format, audio_format->extradata);
}

int AviWriter::NextFile() {
  if (!options_held || !split) return AVI_ERROR_STATE;
  // A file that could not be completed ends the series: the disk is full or
  // failing, and the job stops with a write error.
  const int released = ReleaseFile();
  if (released != AVI_OK) return released;
  ++file_number;
  const int created = file.Create(Split_File_Name(base_name, file_number));
  if (created != AVI_OK) return created;
  if (file.CreateStream(stream_header) != AVI_OK || StartStreams() != AVI_OK) {
    Close();
    return 1;
  }
  return 0;
}

int AviWriter::WriteFrame(const uint8_t* frame, bool padded) {
  if (!file.IsOpen() || !compressed_stream.IsOpen()) return AVI_ERROR_STATE;
  if (frame == nullptr) return AVI_ERROR_ARGUMENT;
  CompressedFrame packet;
  const int compressed =
      compressed_stream.Compress(std::span(frame, compressed_stream.FrameBytes()), &packet, padded);
  if (compressed != AVI_OK) return compressed;
  int32_t samples = 0;
  int64_t bytes = 0;
  const int written = file.WriteFrame(packet.data, packet.key_frame, &samples, &bytes);
  frames_in_file += samples;
  bytes_in_file += bytes;
  return written;
}

bool AviWriter::CompressAhead(const uint8_t* frame) {
  return file.IsOpen() && frame != nullptr &&
         compressed_stream.CompressAhead(std::span(frame, compressed_stream.FrameBytes()));
}

int AviWriter::WriteAudio(std::span<const uint8_t> chunk) {
  if (!file.IsOpen() || !compressed_stream.IsOpen()) return AVI_ERROR_STATE;
  int64_t bytes = 0;
  const int written = file.WriteAudio(chunk, &bytes);
  bytes_in_file += bytes;
  return written;
}

int AviWriter::ReleaseFile() {
  compressed_stream.Close();
  const int released = file.Release();
  frames_in_file = 0;
  bytes_in_file = 0;
  return released;
}

int AviWriter::Close() {
  const int released = ReleaseFile();
  file_number = 0;
  options_held = false;
  return released;
}
