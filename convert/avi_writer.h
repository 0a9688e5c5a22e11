// The AVI writer: the output frames of a job into one AVI file, or into a
// numbered series of files when the job splits its output.
//
// One AviWriter exists for the whole run of the program. Open runs on the
// user-interface thread (it calls the choose-compressor hook); afterwards
// only the worker thread uses the writer until it has called Close.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/audio_avi_format.h"
#include "platform/avi_file.h"
#include "platform/compressor.h"

// Rate and scale of the AVI stream for the frame-rate list's index 0..7
// (23.976, 24, 25, 29.97, 30, 50, 59.94, 60 fps); any other index gives 25/1.
struct AviFrameRate {
  uint32_t rate;
  uint32_t scale;
};
AviFrameRate AviFrameRateForIndex(int frame_rate_index);

// The stream name every output file carries.
inline constexpr char kAviStreamName[] = "Written with Vidorlan MPEG.";

class AviWriter {
 public:
  // Shown where a compressor is chosen for a job: receives the current
  // options as starting values, may change them, and returns true to go on
  // or false when the user cancels.
  using ChooseCompressorHook = std::function<bool(CompressOptions& options)>;

  AviWriter() = default;
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Without a hook Open keeps the current options as they are.
  void SetChooseCompressorHook(ChooseCompressorHook hook);

  // Creates the first output file of a job for frames of width x height
  // (24-bit, bottom-up, rows of 3 x width bytes). With `split` the file is
  // named from `path` without its extension plus "0.avi"; otherwise `path`
  // is used as it is. Returns 0 on success, 1 on an error (file, stream,
  // compressor or format refused; the writer is closed), 2 when the
  // choose-compressor hook cancels (the writer is closed, the options are
  // kept as they were). The hook is called after the file is made; on a
  // result other than 0 the file is removed again unless it existed before.
  // With `audio` every file of the job (each split file too) gets an audio
  // stream of that format beside the video.
  int Open(const std::string& path, int width, int height, int frame_rate_index, bool split,
           const AviAudioFormat* audio = nullptr);

  // Ends the current split file and starts the next number with the same
  // header, format and options (the hook is not called again). 0 on
  // success; non-zero when the file just ended could not be completed or the
  // next one cannot be made (the writer is closed then, except when the
  // new file could not be created at all).
  int NextFile();

  // Compresses and writes one frame of width x height x 3 bytes; with
  // `padded`, CompressedStream::kReadAhead readable bytes follow it (see
  // CompressedStream::Compress). 0 on success, otherwise a platform result
  // code (AVI_ERROR_*).
  int WriteFrame(const uint8_t* frame, bool padded = false);

  // Has the next frame, padded, compressed ahead where the compressor can
  // (see CompressedStream::CompressAhead): its WriteFrame then only takes
  // the packet. The frame stays unchanged until it is written or the file
  // ends, and is the next one written. False when it was not taken.
  bool CompressAhead(const uint8_t* frame);

  // Writes one audio chunk (see AviFile::WriteAudio) to the current file;
  // its bytes count in KBytesInFile. 0 on success, otherwise AVI_ERROR_*
  // (AVI_ERROR_STATE when the job has no audio).
  int WriteAudio(std::span<const uint8_t> chunk);

  // Completes and closes the current file and zeroes the per-file counters.
  // Returns 0, or the first write error the file met (full disk, I/O error).
  // A file that cannot be completed is removed if the writer made it (see
  // AviFile::Release); each split file is judged alone.
  int ReleaseFile();

  // Ends the current file and the job's use of the options. Safe at any
  // time; returns ReleaseFile's result.
  int Close();

  // Bytes of video and audio written to the current file, in KBytes.
  int64_t KBytesInFile() const { return bytes_in_file / 1024; }
  int FramesInFile() const { return frames_in_file; }

  // Whether frames are stored as they come (no encoder); valid while open.
  bool StoresUncompressed() const {
    return compressed_stream.OutputFormat().biCompression == BI_RGB;
  }

  // The compressor choice, kept for the whole run: each job's hook starts
  // from the previous job's choice (all zero for the first job).
  const CompressOptions& Options() const { return compress_options; }
  void SetOptions(const CompressOptions& options) { compress_options = options; }

 private:
  int StartStreams();

  AviFile file;  // its one video stream stands for the raw stream
  CompressedStream compressed_stream;
  AviStreamInfo stream_header;
  CompressOptions compress_options;
  BitmapInfoHeader format;
  std::optional<AviAudioFormat> audio_format;  // the job writes audio
  bool options_held = false;                   // a job's options are in force (Open succeeded)
  int32_t frames_in_file = 0;
  int64_t bytes_in_file = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::string base_name;  // output path without its extension (splitting only)
  int32_t file_number = 0;
  bool split = false;
  ChooseCompressorHook choose_compressor;
};
