// Video compressors for the AVI output: "Full Frames (Uncompressed)" and the
// encoders of the installed libavcodec, behind one compressed-stream
// interface.
//
// A compressed stream takes one frame at a time (24-bit B, G, R, rows of
// 3 x width bytes, the bottom row first) and returns exactly one packet for
// it at once: the encoders run without B frames, without frame-delay
// threading and, for H.264, with x264's zero-latency tuning. Lossless
// compressors store the RGB samples exactly.
//
// Encoders that can split a frame use every core for it: FFV1 (coded as
// version 3 with slices), MJPEG and MPEG-4 through slice threads, H.264
// through x264's sliced threads. HuffYUV and Ut Video, which code every
// frame on its own, can have two frames compressed at a time by two
// encoders; the others can have the frames to come converted to the
// encoder's pixel format while it codes (CompressAhead); that conversion is
// described in platform/picture_converter.h. The same frames always give
// the same bytes on one machine; FFV1, HuffYUV and Ut Video give them on
// any machine, while MJPEG, MPEG-4 and H.264 cut one slice per thread, so
// their bytes follow the number of cores.
//
// How the options reach the encoders (0 selects the compressor's default):
// - keyframe_every N: a key frame every N frames at the latest (the
//   encoder's GOP size) for FFV1 (its range-coder states restart at key
//   frames), MPEG-4 and H.264; x264 may add key frames at scene cuts.
//   Default: libavcodec's 12 for FFV1 and MPEG-4, x264's 250. The other
//   compressors make every frame a key frame.
// - data_rate (KB/s, 1 KB = 1024 bytes): average bit rate of
//   data_rate x 8192 bit/s for MPEG-4 and H.264, within one second's worth
//   of tolerance; it takes precedence over quality.
// - quality 1..100: MJPEG and MPEG-4 encode at the fixed quantiser
//   1 + (100 - quality) x 30 / 99 (1..31, rounded down); H.264 at the
//   constant rate factor (100 - quality) x 51 / 100. Default: 90 for MJPEG
//   and MPEG-4 (quantiser 4), x264's CRF 23.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/avi_file.h"

// The compressor choice and its settings. The all-zero record (empty
// compressor) is "Full Frames (Uncompressed)".
struct CompressOptions {
  std::string compressor;  // short name from AvailableCompressors; "" = uncompressed
  int keyframe_every = 0;  // key-frame interval in frames; 0 = compressor default
  int data_rate = 0;       // KB/s; 0 = none
  int quality = 0;         // 0..100; 0 = compressor default

  bool operator==(const CompressOptions&) const = default;
};

struct CompressorInfo {
  std::string name;          // for the command line: "uncompressed", "ffv1", ...
  std::string display_name;  // for a compressor list: "Full Frames (Uncompressed)", ...
  uint32_t fourcc = 0;       // biCompression of the stored frames; BI_RGB for uncompressed
  bool lossless = false;
  bool honours_keyframe_every = false;
  bool honours_data_rate = false;
  bool honours_quality = false;
};

// The compressors this build can use, "Full Frames (Uncompressed)" first,
// then those of FFV1, HuffYUV, Ut Video, MJPEG, MPEG-4 Part 2 and H.264
// (libx264) whose encoder the installed libavcodec provides.
std::vector<CompressorInfo> AvailableCompressors();

// The available compressor called `name` ("" and "uncompressed" are the
// uncompressed one); false when there is none of that name.
bool FindCompressor(const std::string& name, CompressorInfo* info);

struct CompressedFrame {
  std::span<const uint8_t> data;  // valid until the next Compress or Close
  bool key_frame = false;         // as the encoder reports it
};

class LibavEncoder;
class EncoderAhead;
class ConverterAhead;

class CompressedStream {
 public:
  CompressedStream();
  ~CompressedStream();
  CompressedStream(const CompressedStream&) = delete;
  CompressedStream& operator=(const CompressedStream&) = delete;

  // Opens the compressor of `options` for frames described by
  // `input_format` (24-bit BI_RGB, positive width and height: bottom-up
  // rows without padding) at rate / scale frames per second. Returns AVI_OK,
  // AVI_ERROR_ARGUMENT for an input format it does not take, or
  // AVI_ERROR_COMPRESSOR when the compressor is unknown or its encoder
  // refuses to open; the stream is closed then.
  int Open(const CompressOptions& options, const BitmapInfoHeader& input_format, uint32_t rate,
           uint32_t scale);
  void Close();
  bool IsOpen() const;

  // The format of the stored frames: the input format for uncompressed
  // output; otherwise biCompression is the compressor's FourCC, biSizeImage
  // the size of a decoded frame, and the codec's extra data follows it.
  const BitmapInfoHeader& OutputFormat() const;
  std::span<const uint8_t> Extradata() const;

  // Bytes of one input frame: width x height x 3.
  size_t FrameBytes() const;

  // Bytes past the end of a frame that the conversion to the encoder's
  // pixel format may read (it reads ahead of each row).
  static constexpr size_t kReadAhead = 64;

  // Compresses one frame of FrameBytes() bytes into one packet. With
  // `padded` the caller promises kReadAhead readable bytes after the frame,
  // which is then converted where it lies; otherwise it is first copied into
  // a padded buffer of the stream's own. The packet is the same either way.
  // Returns AVI_OK, AVI_ERROR_STATE when not open, AVI_ERROR_ARGUMENT for a
  // frame of another size, or AVI_ERROR_COMPRESSOR when the encoder fails
  // or holds the frame back.
  int Compress(std::span<const uint8_t> frame, CompressedFrame* out, bool padded = false);

  // Work on the frames to come, where the machine has more than one core:
  // - streams whose frames are coded each on its own (HuffYUV, Ut Video)
  //   have a second encoder on a thread of its own. CompressAhead hands it
  //   `frame`, or, while it has one in hand, compresses `frame` at once on
  //   this thread, so that both encoders keep busy;
  // - the other encoders have their conversion to the encoder's pixel
  //   format run ahead on a thread of its own, for up to two frames, while
  //   the encoder codes the frames before them.
  // The caller keeps the frame unchanged and readable, with kReadAhead
  // bytes after it, and compresses the frames handed over next, in the order
  // handed (same data pointers), until the stream closes; Compress then
  // finishes their work, with the same packets as compressing each in turn.
  // False, doing nothing, for uncompressed frames, on one core, or when all
  // hands are taken.
  bool CompressAhead(std::span<const uint8_t> frame);

 private:
  std::unique_ptr<LibavEncoder> encoder_;
  std::unique_ptr<EncoderAhead> ahead_;
  std::unique_ptr<ConverterAhead> converter_ahead_;
  // A frame CompressAhead compressed on the caller's thread (ahead_ keeps
  // its packet).
  const uint8_t* early_frame_ = nullptr;
  bool early_key_frame_ = false;
  int early_result_ = 0;
  BitmapInfoHeader output_format_;
  size_t frame_bytes_ = 0;
  bool open_ = false;
};
