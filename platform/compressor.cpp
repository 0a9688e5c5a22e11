#include "platform/compressor.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/libav_library.h"
#include "platform/libav_objects.h"
#include "platform/picture_converter.h"

namespace {

// How the options are applied to a compressor's encoder.
enum class Tuning {
  kNone,       // intra-only: options have nothing to steer
  kGop,        // key-frame interval only (FFV1)
  kQuantiser,  // fixed quantiser from quality (MJPEG)
  kMpegVideo,  // key-frame interval, bit rate or fixed quantiser (MPEG-4)
  kX264,       // key-frame interval, bit rate or constant rate factor
};

struct CompressorSpec {
  const char* name;
  const char* display_name;
  const char* encoder;  // libavcodec encoder name; nullptr: frames pass through
  uint32_t fourcc;
  AVPixelFormat pixel_format;
  bool lossless;
  Tuning tuning;
  // Codec level that cuts each frame into slices for the slice threads
  // (FFV1 version 3, its layout fixed by the picture size alone); 0: the
  // encoder's default.
  int sliced_level;
  // Every frame is coded on its own, so two encoders taking turns give the
  // bytes of one (HuffYUV without per-frame tables, Ut Video).
  bool independent_frames;
};

// In the order a compressor list shows them.
constexpr CompressorSpec kCompressors[] = {
    {"uncompressed", "Full Frames (Uncompressed)", nullptr, BI_RGB, AV_PIX_FMT_BGR24, true,
     Tuning::kNone, 0, false},
    {"ffv1", "FFV1 (lossless)", "ffv1", MakeFourCC("FFV1"), AV_PIX_FMT_BGR0, true, Tuning::kGop, 3,
     false},
    {"huffyuv", "HuffYUV (lossless)", "huffyuv", MakeFourCC("HFYU"), AV_PIX_FMT_RGB24, true,
     Tuning::kNone, 0, true},
    {"utvideo", "Ut Video RGB (lossless)", "utvideo", MakeFourCC("ULRG"), AV_PIX_FMT_GBRP, true,
     Tuning::kNone, 0, true},
    {"mjpeg", "Motion JPEG", "mjpeg", MakeFourCC("MJPG"), AV_PIX_FMT_YUVJ420P, false,
     Tuning::kQuantiser, 0, false},
    {"mpeg4", "MPEG-4 Part 2", "mpeg4", MakeFourCC("FMP4"), AV_PIX_FMT_YUV420P, false,
     Tuning::kMpegVideo, 0, false},
    {"h264", "H.264 (x264)", "libx264", MakeFourCC("H264"), AV_PIX_FMT_YUV420P, false,
     Tuning::kX264, 0, false},
};

constexpr int kDefaultQuality = 90;

bool Available(const CompressorSpec& spec) {
  if (spec.encoder == nullptr) return true;
  const LibavApi* av = Libav();
  return av != nullptr && av->avcodec_find_encoder_by_name(spec.encoder) != nullptr;
}

const CompressorSpec* FindSpec(const std::string& name) {
  const std::string& key = name.empty() ? kCompressors[0].name : name;
  for (const CompressorSpec& spec : kCompressors)
    if (key == spec.name) return Available(spec) ? &spec : nullptr;
  return nullptr;
}

CompressorInfo InfoOf(const CompressorSpec& spec) {
  CompressorInfo info;
  info.name = spec.name;
  info.display_name = spec.display_name;
  info.fourcc = spec.fourcc;
  info.lossless = spec.lossless;
  info.honours_keyframe_every = spec.tuning == Tuning::kGop || spec.tuning == Tuning::kMpegVideo ||
                                spec.tuning == Tuning::kX264;
  info.honours_data_rate = spec.tuning == Tuning::kMpegVideo || spec.tuning == Tuning::kX264;
  info.honours_quality = spec.tuning == Tuning::kQuantiser || spec.tuning == Tuning::kMpegVideo ||
                         spec.tuning == Tuning::kX264;
  return info;
}

// Encoders report through av_log; only their errors are of interest here.
void QuietLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { Libav()->av_log_set_level(AV_LOG_ERROR); });
}

int Quantiser(int quality) {
  int q = quality > 0 ? std::min(quality, 100) : kDefaultQuality;
  return 1 + (100 - q) * 30 / 99;
}

// Applies the options to a context that is not yet open.
void ApplyOptions(const CompressorSpec& spec, const CompressOptions& options, AVCodecContext* ctx) {
  const LibavApi& av = *Libav();
  const bool use_rate = options.data_rate > 0;
  if (options.keyframe_every > 0 && spec.tuning != Tuning::kNone &&
      spec.tuning != Tuning::kQuantiser)
    ctx->gop_size = options.keyframe_every;
  switch (spec.tuning) {
    case Tuning::kNone:
    case Tuning::kGop:
      break;
    case Tuning::kMpegVideo:
      if (use_rate) {
        ctx->bit_rate = int64_t{options.data_rate} * 8192;
        // libavcodec's default tolerance (4 Mbit) would swamp low rates for
        // the first seconds; allow one second's worth of deviation.
        ctx->bit_rate_tolerance = static_cast<int>(std::min<int64_t>(ctx->bit_rate, INT32_MAX));
        break;
      }
      [[fallthrough]];
    case Tuning::kQuantiser:
      ctx->flags |= AV_CODEC_FLAG_QSCALE;
      ctx->global_quality = FF_QP2LAMBDA * Quantiser(options.quality);
      ctx->qmin = 1;
      ctx->qmax = 31;
      break;
    case Tuning::kX264:
      av.av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
      if (use_rate) {
        ctx->bit_rate = int64_t{options.data_rate} * 8192;
      } else if (options.quality > 0) {
        double crf = (100 - std::min(options.quality, 100)) * 51 / 100.0;
        av.av_opt_set_double(ctx->priv_data, "crf", crf, 0);
      }
      break;
  }
}

struct StreamShape {
  int width;
  int height;
  uint32_t rate;  // frames per second = rate / scale
  uint32_t scale;
};

// Makes and opens an encoder context of `codec` for the stream; none when
// the encoder refuses. `level` 0 leaves the codec's default level. Slice
// threads only: frame threading would hold frames back, so an encoder that
// ends up with it is refused.
CodecContextPtr OpenEncoder(const AVCodec* codec, const CompressorSpec& spec,
                            const CompressOptions& options, const StreamShape& shape, int level) {
  const LibavApi& av = *Libav();
  CodecContextPtr context(av.avcodec_alloc_context3(codec));
  AVCodecContext* ctx = context.get();
  if (ctx == nullptr) return nullptr;
  ctx->width = shape.width;
  ctx->height = shape.height;
  ctx->pix_fmt = spec.pixel_format;
  ctx->time_base = AVRational{static_cast<int>(shape.scale), static_cast<int>(shape.rate)};
  ctx->framerate = AVRational{static_cast<int>(shape.rate), static_cast<int>(shape.scale)};
  ctx->sample_aspect_ratio = AVRational{1, 1};
  ctx->thread_type = FF_THREAD_SLICE;
  ctx->thread_count = 0;  // as many as the machine has cores
  if (level != 0) ctx->level = level;
  ctx->max_b_frames = 0;
  if (!spec.lossless) {
    // The pictures are converted with the BT.601 matrix; say so in the
    // stream.
    ctx->colorspace = AVCOL_SPC_SMPTE170M;
    ctx->color_range =
        spec.pixel_format == AV_PIX_FMT_YUVJ420P ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
  }
  ApplyOptions(spec, options, ctx);
  if (av.avcodec_open2(ctx, codec, nullptr) < 0) return nullptr;
  if (ctx->active_thread_type & FF_THREAD_FRAME) return nullptr;
  return context;
}

bool ValidInput(const BitmapInfoHeader& format) {
  return format.biWidth > 0 && format.biHeight > 0 && format.biWidth <= 16384 &&
         format.biHeight <= 16384 && format.biBitCount == 24 && format.biPlanes == 1 &&
         format.biCompression == BI_RGB;
}

}  // namespace

std::vector<CompressorInfo> AvailableCompressors() {
  std::vector<CompressorInfo> list;
  for (const CompressorSpec& spec : kCompressors)
    if (Available(spec)) list.push_back(InfoOf(spec));
  return list;
}

bool FindCompressor(const std::string& name, CompressorInfo* info) {
  const CompressorSpec* spec = FindSpec(name);
  if (spec == nullptr) return false;
  if (info) *info = InfoOf(*spec);
  return true;
}

// One opened encoder with its pixel format converter.
class LibavEncoder {
 public:
  // Converts and encodes one frame into one packet, valid until the next
  // call. AVI_OK or AVI_ERROR_COMPRESSOR.
  int Encode(std::span<const uint8_t> frame, bool padded, CompressedFrame* out);
  // The two steps of Encode: the conversion of `frame` into `picture` with
  // `converter` (this encoder's or another), and the encoding of a
  // converted picture. A padded frame may be converted on another thread
  // than the encoding (an unpadded one is copied into `input` first).
  // AVI_OK or AVI_ERROR_COMPRESSOR.
  int Convert(std::span<const uint8_t> frame, bool padded, PictureConverter* converter,
              AVFrame* picture);
  int EncodePicture(AVFrame* picture, CompressedFrame* out);

  CodecContextPtr context;
  FramePtr picture;
  PacketPtr packet;
  std::unique_ptr<PictureConverter> converter;
  // A frame without padding is copied here before conversion, which may
  // read a few bytes past the end of a row: past the last row of the
  // caller's buffer that may be memory that is not there.
  std::vector<uint8_t> input;  // frame bytes, then kReadAhead zeros
  std::vector<uint8_t> extradata;
  int64_t next_pts = 0;
};

namespace {

std::span<const uint8_t> Packet_Bytes(const AVPacket& packet) {
  return {packet.data, static_cast<size_t>(packet.size)};
}

// Gives `picture`, which holds no buffer, one of its own for a picture of
// `format`, width x height; false when out of memory.
bool Allocate_Picture(AVFrame* picture, int format, int width, int height) {
  picture->format = format;
  picture->width = width;
  picture->height = height;
  return Libav()->av_frame_get_buffer(picture, 0) >= 0;
}

// A picture in the encoder's pixel format; nullptr when out of memory.
FramePtr Make_Picture(const CompressorSpec& spec, const StreamShape& shape) {
  FramePtr picture(Libav()->av_frame_alloc());
  if (picture == nullptr ||
      !Allocate_Picture(picture.get(), spec.pixel_format, shape.width, shape.height))
    return nullptr;
  return picture;
}

// Opens an encoder of `spec` for the stream; nullptr when it cannot be
// opened.
std::unique_ptr<LibavEncoder> Make_Encoder(const CompressorSpec& spec,
                                           const CompressOptions& options,
                                           const StreamShape& shape) {
  // FindSpec gives a compressor with an encoder only once Libav() has loaded.
  const LibavApi& av = *Libav();
  QuietLibraryLog();
  const AVCodec* codec = av.avcodec_find_encoder_by_name(spec.encoder);
  if (codec == nullptr) return nullptr;
  auto encoder = std::make_unique<LibavEncoder>();
  encoder->context = OpenEncoder(codec, spec, options, shape, spec.sliced_level);
  // A picture too narrow for two slice columns is coded as one slice.
  if (encoder->context == nullptr && spec.sliced_level != 0)
    encoder->context = OpenEncoder(codec, spec, options, shape, 0);
  encoder->picture = Make_Picture(spec, shape);
  encoder->packet.reset(av.av_packet_alloc());
  encoder->converter = PictureConverter::Make(spec.pixel_format, shape.width, shape.height);
  if (encoder->context == nullptr || encoder->picture == nullptr || encoder->packet == nullptr ||
      encoder->converter == nullptr)
    return nullptr;
  encoder->input.assign(
      size_t{3} * static_cast<size_t>(shape.width) * static_cast<size_t>(shape.height) +
          CompressedStream::kReadAhead,
      0);
  const AVCodecContext* ctx = encoder->context.get();
  if (ctx->extradata != nullptr && ctx->extradata_size > 0)
    encoder->extradata.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);
  return encoder;
}

}  // namespace

// A thread of its own that works on the frames handed to it, in the order
// handed, up to `slots` in hand at a time. work(slot, frame) runs there; the
// slot tells which of its outputs it fills, and that output stays as it is
// until the slot is handed a frame again.
class WorkAhead {
 public:
  using Work = std::function<int(int slot, std::span<const uint8_t> frame)>;

  WorkAhead(int slots, Work work)
      : work_(std::move(work)), slots_(static_cast<size_t>(slots)), thread_([this] { Run(); }) {}

  // Waits for the work under way, if any.
  ~WorkAhead() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // Takes `frame` in hand after those in hand; false when every slot is.
  bool Start(std::span<const uint8_t> frame) {
    {
      std::lock_guard lock(mutex_);
      if (held_ == Slots()) return false;
      slots_[static_cast<size_t>((first_ + held_) % Slots())] = {frame, AVI_OK};
      ++held_;
    }
    changed_.notify_all();
    return true;
  }

  // Whether `frame` is the first in hand.
  bool Holds(const uint8_t* frame) {
    std::lock_guard lock(mutex_);
    return held_ > 0 && slots_[static_cast<size_t>(first_)].frame.data() == frame;
  }

  // Waits for the work on the first frame in hand and gives its slot and
  // result; the slot is free again.
  int Take(int* slot) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return done_ > 0; });
    *slot = first_;
    const int result = slots_[static_cast<size_t>(first_)].result;
    first_ = (first_ + 1) % Slots();
    --held_;
    --done_;
    return result;
  }

 private:
  int Slots() const { return static_cast<int>(slots_.size()); }

  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stop_ || done_ < held_; });
      if (stop_) return;
      const int slot = (first_ + done_) % Slots();
      const std::span<const uint8_t> frame = slots_[static_cast<size_t>(slot)].frame;
      lock.unlock();
      const int result = work_(slot, frame);
      lock.lock();
      slots_[static_cast<size_t>(slot)].result = result;
      ++done_;
      changed_.notify_all();
    }
  }

  struct Slot {
    std::span<const uint8_t> frame;
    int result;
  };

  const Work work_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;
  int first_ = 0;  // the slot of the first frame in hand
  int held_ = 0;   // frames in hand, from Start to Take
  int done_ = 0;   // of those, the first ones worked on
  bool stop_ = false;
  std::thread thread_;  // last: starts once the rest is made
};

// A stream whose frames are independent compresses the frame after the one
// it compresses in turn with a second encoder, so that two frames are
// compressed at a time. Packets change hands whole, without a copy of their
// bytes: the second encoder's, and the first one's for a frame it compressed
// early, are swapped into the packet taken, which stays until the next.
class EncoderAhead {
 public:
  // Each packet must hold an AVPacket.
  EncoderAhead(std::unique_ptr<LibavEncoder> encoder, PacketPtr done, PacketPtr early,
               PacketPtr taken)
      : encoder_(std::move(encoder)),
        done_(std::move(done)),
        early_(std::move(early)),
        taken_(std::move(taken)),
        work_(1, [this](int, std::span<const uint8_t> frame) {
          CompressedFrame out;
          const int result = encoder_->Encode(frame, true, &out);
          encoder_->packet.swap(done_);
          key_frame_ = out.key_frame;
          return result;
        }) {}

  WorkAhead& Work() { return work_; }

  // Waits for the frame in hand; its packet becomes the one taken.
  int Take(bool* key_frame) {
    int slot;
    const int result = work_.Take(&slot);
    taken_.swap(done_);
    *key_frame = key_frame_;
    return result;
  }

  // Keeps the packet of a frame compressed early until Take_Early makes it
  // the one taken; `packet` gets one whose bytes are no longer in use.
  void Keep_Early(PacketPtr& packet) { early_.swap(packet); }
  void Take_Early() { taken_.swap(early_); }

  std::span<const uint8_t> Taken() const { return Packet_Bytes(*taken_); }

 private:
  std::unique_ptr<LibavEncoder> encoder_;  // used by the thread only
  PacketPtr done_;                         // the second encoder's last packet
  PacketPtr early_;
  PacketPtr taken_;
  bool key_frame_ = false;
  WorkAhead work_;  // last: its thread uses the rest
};

// A stream whose frames depend on each other converts up to two frames to
// come into its encoder's pixel format while the encoder codes the ones
// before.
class ConverterAhead {
 public:
  ConverterAhead(LibavEncoder* encoder, std::unique_ptr<PictureConverter> converter, FramePtr first,
                 FramePtr second)
      : converter_(std::move(converter)),
        pictures_{std::move(first), std::move(second)},
        work_(2, [this, encoder](int slot, std::span<const uint8_t> frame) {
          return encoder->Convert(frame, true, converter_.get(), pictures_[slot].get());
        }) {}

  WorkAhead& Work() { return work_; }

  // Waits for the first frame in hand to be converted and gives its picture,
  // which stays as it is until the frame after the next one is started.
  int Take(AVFrame** picture) {
    int slot;
    const int result = work_.Take(&slot);
    *picture = pictures_[slot].get();
    return result;
  }

 private:
  std::unique_ptr<PictureConverter> converter_;
  FramePtr pictures_[2];
  WorkAhead work_;  // last: its thread uses the rest
};

CompressedStream::CompressedStream() = default;
CompressedStream::~CompressedStream() = default;

bool CompressedStream::IsOpen() const {
  return open_;
}
const BitmapInfoHeader& CompressedStream::OutputFormat() const {
  return output_format_;
}
size_t CompressedStream::FrameBytes() const {
  return frame_bytes_;
}

std::span<const uint8_t> CompressedStream::Extradata() const {
  if (!encoder_) return {};
  return encoder_->extradata;
}

void CompressedStream::Close() {
  converter_ahead_.reset();
  ahead_.reset();
  early_frame_ = nullptr;
  encoder_.reset();
  output_format_ = BitmapInfoHeader{};
  frame_bytes_ = 0;
  open_ = false;
}

int CompressedStream::Open(const CompressOptions& options, const BitmapInfoHeader& input_format,
                           uint32_t rate, uint32_t scale) {
  Close();
  if (!ValidInput(input_format) || rate == 0 || scale == 0 || rate > INT32_MAX || scale > INT32_MAX)
    return AVI_ERROR_ARGUMENT;
  const CompressorSpec* spec = FindSpec(options.compressor);
  if (spec == nullptr) return AVI_ERROR_COMPRESSOR;
  const int width = input_format.biWidth;
  const int height = input_format.biHeight;
  const size_t frame_bytes = size_t{3} * width * height;

  if (spec->encoder == nullptr) {
    output_format_ = input_format;
    frame_bytes_ = frame_bytes;
    open_ = true;
    return AVI_OK;
  }

  const StreamShape shape{width, height, rate, scale};
  std::unique_ptr<LibavEncoder> encoder = Make_Encoder(*spec, options, shape);
  if (encoder == nullptr) return AVI_ERROR_COMPRESSOR;
  const AVCodecContext* ctx = encoder->context.get();
  output_format_ = BitmapInfoHeader{};
  output_format_.biSize = 40;
  output_format_.biWidth = width;
  output_format_.biHeight = height;
  output_format_.biPlanes = 1;
  output_format_.biBitCount =
      static_cast<uint16_t>(ctx->bits_per_coded_sample > 0 ? ctx->bits_per_coded_sample : 24);
  output_format_.biCompression = spec->fourcc;
  output_format_.biSizeImage = static_cast<uint32_t>(frame_bytes);
  encoder_ = std::move(encoder);
  frame_bytes_ = frame_bytes;
  open_ = true;
  // Where there are cores for it, a second encoder for independent frames
  // or the conversion of the frames to come on a thread of its own; without
  // one every frame is compressed in turn.
  if (std::thread::hardware_concurrency() > 1) {
    try {
      if (spec->independent_frames) {
        const LibavApi& av = *Libav();
        std::unique_ptr<LibavEncoder> second = Make_Encoder(*spec, options, shape);
        PacketPtr packets[3] = {PacketPtr(av.av_packet_alloc()), PacketPtr(av.av_packet_alloc()),
                                PacketPtr(av.av_packet_alloc())};
        if (second != nullptr && packets[0] != nullptr && packets[1] != nullptr &&
            packets[2] != nullptr)
          ahead_ = std::make_unique<EncoderAhead>(std::move(second), std::move(packets[0]),
                                                  std::move(packets[1]), std::move(packets[2]));
      } else {
        auto converter = PictureConverter::Make(spec->pixel_format, width, height);
        FramePtr first = Make_Picture(*spec, shape);
        FramePtr second = Make_Picture(*spec, shape);
        if (converter != nullptr && first != nullptr && second != nullptr) {
          converter_ahead_ = std::make_unique<ConverterAhead>(encoder_.get(), std::move(converter),
                                                              std::move(first), std::move(second));
        }
      }
    } catch (const std::system_error&) {
      // No thread for it: every frame is compressed in turn.
    }
  }
  return AVI_OK;
}

static_assert(CompressedStream::kReadAhead >= AV_INPUT_BUFFER_PADDING_SIZE);

int CompressedStream::Compress(std::span<const uint8_t> frame, CompressedFrame* out, bool padded) {
  *out = CompressedFrame{};
  if (!open_) return AVI_ERROR_STATE;
  if (frame.size() != frame_bytes_) return AVI_ERROR_ARGUMENT;
  if (!encoder_) {
    out->data = frame;
    out->key_frame = true;
    return AVI_OK;
  }
  if (converter_ahead_ != nullptr && converter_ahead_->Work().Holds(frame.data())) {
    AVFrame* picture = nullptr;
    const int result = converter_ahead_->Take(&picture);
    return result == AVI_OK ? encoder_->EncodePicture(picture, out) : result;
  }
  if (ahead_ != nullptr && ahead_->Work().Holds(frame.data())) {
    const int result = ahead_->Take(&out->key_frame);
    out->data = ahead_->Taken();
    return result;
  }
  if (early_frame_ != nullptr && early_frame_ == frame.data()) {
    early_frame_ = nullptr;
    ahead_->Take_Early();
    out->data = ahead_->Taken();
    out->key_frame = early_key_frame_;
    return early_result_;
  }
  return encoder_->Encode(frame, padded, out);
}

bool CompressedStream::CompressAhead(std::span<const uint8_t> frame) {
  if (!open_ || frame.size() != frame_bytes_) return false;
  if (converter_ahead_ != nullptr) return converter_ahead_->Work().Start(frame);
  if (ahead_ == nullptr) return false;
  if (ahead_->Work().Start(frame)) return true;
  if (early_frame_ != nullptr || ahead_->Work().Holds(frame.data())) return false;
  CompressedFrame out;
  early_result_ = encoder_->Encode(frame, true, &out);
  ahead_->Keep_Early(encoder_->packet);
  early_key_frame_ = out.key_frame;
  early_frame_ = frame.data();
  return true;
}

int LibavEncoder::Encode(std::span<const uint8_t> frame, bool padded, CompressedFrame* out) {
  AVFrame* picture = this->picture.get();
  const int result = Convert(frame, padded, converter.get(), picture);
  return result == AVI_OK ? EncodePicture(picture, out) : result;
}

int LibavEncoder::Convert(std::span<const uint8_t> frame, bool padded, PictureConverter* converter,
                          AVFrame* picture) {
  const LibavApi& av = *Libav();
  const AVCodecContext* ctx = context.get();
  // The encoder may still hold a reference to an earlier picture: then this
  // one gets a buffer of its own. The conversion writes every sample, so
  // nothing is copied over.
  if (!av.av_frame_is_writable(picture)) {
    const int format = picture->format;
    av.av_frame_unref(picture);
    if (!Allocate_Picture(picture, format, ctx->width, ctx->height)) return AVI_ERROR_COMPRESSOR;
  }
  if (!padded) {
    std::copy(frame.begin(), frame.end(), input.begin());
    frame = std::span<const uint8_t>(input.data(), frame.size());
  }
  return converter->Convert(frame, picture) ? AVI_OK : AVI_ERROR_COMPRESSOR;
}

int LibavEncoder::EncodePicture(AVFrame* picture, CompressedFrame* out) {
  const LibavApi& av = *Libav();
  AVCodecContext* ctx = context.get();
  AVPacket* packet = this->packet.get();
  picture->pts = next_pts++;
  picture->pict_type = AV_PICTURE_TYPE_NONE;
  // Fixed-quantiser encoders take the quantiser from each picture.
  picture->quality = ctx->global_quality;

  av.av_packet_unref(packet);
  if (av.avcodec_send_frame(ctx, picture) < 0) return AVI_ERROR_COMPRESSOR;
  // Without delay the packet is there at once; EAGAIN would mean the
  // encoder holds the frame back, which the one-in-one-out contract forbids.
  if (av.avcodec_receive_packet(ctx, packet) < 0) return AVI_ERROR_COMPRESSOR;
  out->data = Packet_Bytes(*packet);
  out->key_frame = (packet->flags & AV_PKT_FLAG_KEY) != 0;
  return AVI_OK;
}
