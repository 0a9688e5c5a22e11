#include "convert/conversion_job.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include "convert/frame_builder.h"
#include "convert/frame_queue.h"
#include "convert/messages.h"
#include "convert/output_paths.h"
#include "decoder/decoder_state.h"
#include "decoder/huge_pages.h"

void ConversionProgress::Reset() {
  frames_written.store(0);
  kbytes_written.store(0);
  current_file_index.store(0);
  input_kbytes_read.store(0);
  cancel_requested.store(0);
  worker_finished.store(0);
  job_state.store(JOB_OK);
}

NumberEdit Read_Number_Edit(const std::string& text) {
  NumberEdit edit;
  edit.empty = text.empty();
  long parsed = 0;
  if (std::sscanf(text.substr(0, 8).c_str(), "%ld", &parsed) == 1)
    edit.value = static_cast<int32_t>(parsed);  // eight characters always fit
  return edit;
}

int64_t Read_Unsigned_Edit(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 0xFFFFFFFFLL) return 0;
  }
  return value;
}

namespace {

// Sum of (size / 1024) over the input files, or -1 when one cannot be
// measured. A pipe or standard input ("-") has no size until it has been
// read: then `known` is cleared and those inputs count 0.
int64_t Measure_Input(const char* const* paths, bool* known) {
  int64_t total = 0;
  *known = true;
  for (const char* const* p = paths; p != nullptr && *p != nullptr; ++p) {
    struct stat status;
    if (std::strcmp(*p, "-") != 0 && ::stat(*p, &status) != 0) return -1;
    if (std::strcmp(*p, "-") == 0 || S_ISFIFO(status.st_mode)) {
      *known = false;
    } else if (S_ISREG(status.st_mode)) {
      total += static_cast<int64_t>(status.st_size) / 1024;
    } else {
      return -1;
    }
  }
  return total;
}

constexpr StartResult Refused(const char* message) {
  return {StartResult::kRefused, message};
}
constexpr StartResult kSilent{StartResult::kSilent, nullptr};
constexpr StartResult kStarted{StartResult::kStarted, nullptr};

}  // namespace

int32_t Output_Height(int32_t aspect_index, int32_t crop_height, int32_t coded_width,
                      int32_t coded_height) {
  // The shape of the whole coded picture at the display aspect, scaled for
  // the crop; 64-bit products cannot overflow.
  const int64_t h = crop_height, w = coded_width, v = coded_height;
  int64_t height = h;
  if (v > 0) {
    switch (aspect_index) {
      case 1:
        height = h * w * 3 / (v * 4);
        break;
      case 2:
        height = h * w * 9 / (v * 16);
        break;
      case 3:
        height = h * w / (v * 2);  // a 2:1 shape
        break;
      default:
        break;
    }
  }
  return static_cast<int32_t>((height + 15) & ~int64_t{15});
}

StartResult Read_Start_Form(const StartForm& form, const StreamInfo& stream,
                            const char* const* input_paths, ConversionSettings* settings) {
  ConversionSettings& s = *settings;
  s.input_paths = input_paths;
  if (form.output_path.empty()) return Refused(messages::kNoOutputFile);
  s.output_path = form.output_path;
  s.deinterlace = form.deinterlace;

  if (form.process_all_frames) {
    s.convert_all_frames = true;
  } else {
    s.convert_all_frames = false;
    if (form.frame_count.empty) return Refused(messages::kNoFrameCount);
    if (form.frame_count.value) s.frame_limit = *form.frame_count.value;
  }

  if (form.split_choice == SPLIT_NONE) {
    s.split_mode = SPLIT_NONE;
  } else {
    const bool by_size = form.split_choice == SPLIT_BY_SIZE;
    s.split_mode = by_size ? SPLIT_BY_SIZE : SPLIT_BY_FRAMES;
    const NumberEdit& edit = by_size ? form.split_mbytes : form.split_frames;
    if (edit.empty) return Refused(messages::kNoSplitValue);
    if (edit.value) (by_size ? s.split_mbytes : s.split_frames) = *edit.value;
  }

  if (form.aspect_selection < 0 || form.aspect_selection > 3) return kSilent;
  s.aspect_index = form.aspect_selection;

  // Each value is checked against the coded height before they are added,
  // so no sum can wrap; an empty crop band is refused.
  const int64_t coded_height = stream.coded_height;
  if (form.crop_top < 0 || form.crop_height <= 0 || form.crop_top > coded_height ||
      form.crop_height > coded_height || form.crop_top + form.crop_height > coded_height) {
    return Refused(messages::kIllegalCropping);
  }
  s.crop_top = static_cast<int32_t>(form.crop_top);
  s.crop_height = static_cast<int32_t>(form.crop_height);

  if (form.frame_rate_selection < 0 || form.frame_rate_selection > 7) return kSilent;
  s.frame_rate_index = form.frame_rate_selection;
  if (const char* refused = Read_Audio_Choice(form.audio, stream, s.frame_rate_index, &s.audio))
    return Refused(refused);

  s.output_width = stream.coded_width;
  s.output_height =
      Output_Height(s.aspect_index, s.crop_height, stream.coded_width, stream.coded_height);
  // A band of a row or two shown at a wide shape leaves no row at all.
  if (s.output_height <= 0) return Refused(messages::kIllegalCropping);

  if (Output_Overwrites_Input(s.output_path, s.split_mode != SPLIT_NONE, input_paths))
    return Refused(messages::kOutputIsInput);

  bool size_known = true;
  int64_t total = Measure_Input(input_paths, &size_known);
  if (total < 0) return Refused(messages::kInputSizeFileError);
  s.total_input_kbytes = total;
  s.input_size_known = size_known;
  return kStarted;
}

ConversionJob::ConversionJob(FrameSource& source, AviWriter& writer,
                             const ConversionSettings& settings, ConversionProgress& progress)
    : source_(source), writer_(writer), settings_(settings), progress_(progress) {
  launcher_ = [](std::function<void()> work, std::thread* thread) {
    try {
      *thread = std::thread(std::move(work));
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  };
}

ConversionJob::~ConversionJob() {
  Join();
}

StartResult ConversionJob::Start() {
  const ConversionSettings& s = settings_;
  audio_feed_.reset();
  if (s.audio.enabled) {
    audio_feed_ = AudioFeed::Create(s.audio);
    if (!audio_feed_) return Refused(messages::kAudioNotConvertible);
  }
  int opened =
      writer_.Open(s.output_path, s.output_width, s.output_height, s.frame_rate_index,
                   s.split_mode != SPLIT_NONE, audio_feed_ ? &audio_feed_->Format() : nullptr);
  if (opened == 2) return kSilent;
  if (opened != 0) return Refused(messages::kCreateAviFailed);
  progress_.Reset();
  finished_ = false;
  auto work = [this] {
    Run();
    {
      std::lock_guard lock(finished_mutex_);
      finished_ = true;
    }
    finished_changed_.notify_all();
  };
  if (!launcher_(work, &worker_)) {
    writer_.Close();
    return Refused(messages::kWriteError);
  }
  return kStarted;
}

void ConversionJob::RequestCancel() {
  progress_.cancel_requested.store(1);
}

void ConversionJob::Join() {
  if (worker_.joinable()) worker_.join();
}

bool ConversionJob::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(finished_mutex_);
  return finished_changed_.wait_for(lock, timeout, [this] { return finished_; });
}

namespace {

// Frames in flight between the two stages: one being decoded, one being
// written, the next one (which may be compressed meanwhile) and one more,
// so that a slow frame on either side does not stall the other at once.
constexpr size_t kQueuedFrames = 4;

bool Frame_Limit_Reached(const ConversionSettings& s, int32_t frames) {
  return !s.convert_all_frames && frames >= s.frame_limit;
}

// Building a frame costs about as much as decoding its picture. It goes to
// the writing side when frames are stored uncompressed, which costs that
// side little, and stays with the decoding side when an encoder has to
// compress them.
Handover Side_By_Side_Handover(const AviWriter& writer) {
  return writer.StoresUncompressed() ? Handover::kCopy : Handover::kFrame;
}

// Bytes of a buffer for one output frame: the frame and the read-ahead of
// the compressors, so that they take it where it lies.
size_t Frame_Buffer_Bytes(const ConversionSettings& s) {
  return static_cast<size_t>(s.output_height) * static_cast<size_t>(s.output_width) * 3 +
         CompressedStream::kReadAhead;
}

// Decodes the job's next picture into `frame`, as its handover says (kFrame
// builds it with `builder`, which may be null otherwise), with the input
// figures and the audio (from `audio`, when the job writes audio) that go
// with it. The end of the input brings what the audio converter still holds.
void Decode_Next(FrameSource& source, const ConversionSettings& s, AudioFeed* audio,
                 FrameBuilder* builder, DecodedFrame& frame) {
  frame.result = source.NextPicture(&frame.stamp);
  if (frame.result == 0) {
    switch (frame.handover) {
      case Handover::kView:
        frame.picture.View(source.Picture());
        break;
      case Handover::kCopy:
        frame.picture.Copy(source.Picture());
        break;
      case Handover::kFrame:
        builder->Build(source.Picture(), s.crop_top, s.output_height, s.crop_height, s.deinterlace,
                       frame.pixels.data());
        break;
    }
  }
  frame.current_file_index = source.CurrentFileIndex();
  frame.input_kbytes_read = source.KBytesRead();
  if (audio == nullptr) return;
  if (frame.result == DECODER_END_OF_SEQUENCE) audio->Flush();
  frame.audio = audio->Take();
}

// The writing side of a job: takes the decoded pictures in stream order,
// builds the output frame of each where the decoding side has not, writes
// it, publishes the progress that describes it and decides whether the job
// goes on. The first of a failed write and a decoder failure in stream order
// ends the job; the other is never reached. With `audio`, each frame is
// followed by the audio due up to its end, and every file ends with the
// audio up to its last frame's end.
class WriteStage {
 public:
  WriteStage(AviWriter& writer, const ConversionSettings& settings, ConversionProgress& progress,
             AudioWriter* audio)
      : writer_(writer), settings_(settings), progress_(progress), audio_(audio) {}

  // The output frame and the builder's work rows, for frames the writing
  // side builds; false when out of memory.
  bool Allocate(int picture_width, int picture_height) {
    return pixels_.Allocate(Frame_Buffer_Bytes(settings_)) &&
           builder_.Allocate(picture_width, picture_height);
  }

  // False once the job ends with this frame (or this end of the input).
  // Takes the frame's audio. `next`, the frame after it when it is already
  // decoded, may be compressed meanwhile; it must stay unchanged until it
  // is taken in turn or the writer is closed.
  bool Take(DecodedFrame& frame, const DecodedFrame* next = nullptr) {
    const ConversionSettings& s = settings_;
    ConversionProgress& p = progress_;
    if (frame.result != 0) {
      read_result = frame.result;
      if (audio_ != nullptr) audio_->Push(std::move(frame.audio));
      return false;
    }
    if (audio_ != nullptr) {
      audio_->AddFrame(frame.stamp);
      audio_->Push(std::move(frame.audio));
    }
    if (next != nullptr && next->result == 0 && next->handover == Handover::kFrame)
      writer_.CompressAhead(next->pixels.data());
    const uint8_t* pixels = frame.pixels.data();
    if (frame.handover != Handover::kFrame) {
      builder_.Build(frame.picture.Picture(), s.crop_top, s.output_height, s.crop_height,
                     s.deinterlace, pixels_.data());
      pixels = pixels_.data();
    }
    if (writer_.WriteFrame(pixels, true) != 0 || !WriteAudio(false)) {
      write_failed = true;
      return false;
    }
    const int32_t written = p.frames_written.fetch_add(1) + 1;
    p.kbytes_written.store(prior_kbytes_ + writer_.KBytesInFile());
    p.current_file_index.store(frame.current_file_index);
    p.input_kbytes_read.store(frame.input_kbytes_read);
    // Cancel and limit come before the split test, so neither leaves an
    // empty numbered file behind.
    if (p.cancel_requested.load() != 0 || Frame_Limit_Reached(s, written)) return false;
    bool split = false;
    if (s.split_mode == SPLIT_BY_SIZE) split = writer_.KBytesInFile() / 1024 >= s.split_mbytes;
    if (s.split_mode == SPLIT_BY_FRAMES) split = writer_.FramesInFile() >= s.split_frames;
    if (split) {
      if (!WriteAudio(true)) {
        write_failed = true;
        return false;
      }
      prior_kbytes_ += writer_.KBytesInFile();
      if (writer_.NextFile() != 0) {
        write_failed = true;
        return false;
      }
    }
    return true;
  }

  // After the last frame: the last file's audio up to its end.
  void Finish() {
    if (!write_failed && !WriteAudio(true)) write_failed = true;
  }

  bool write_failed = false;
  int read_result = 0;  // the decoder's result that ended the input, 0 before

 private:
  AviWriter& writer_;
  const ConversionSettings& settings_;
  ConversionProgress& progress_;
  AudioWriter* audio_;
  FrameBuilder builder_;
  HugePageBuffer pixels_;     // the frame built here
  int64_t prior_kbytes_ = 0;  // whole KBytes of the finished split files

  bool WriteAudio(bool complete) {
    return audio_ == nullptr || audio_->WriteDue(writer_, complete) == AVI_OK;
  }
};

// Each frame decoded and then written, on this thread; the frame is a
// view.
void Run_In_Turn(FrameSource& source, const ConversionSettings& s, AudioFeed* audio,
                 DecodedFrame& frame, WriteStage& stage) {
  frame.handover = Handover::kView;
  do {
    Decode_Next(source, s, audio, nullptr, frame);
  } while (stage.Take(frame));
}

// Writing on a thread of its own while this thread decodes ahead, through
// a queue of `frames`, handed over as each says (`builder` builds kFrame
// frames). False when no thread could be started; nothing has been decoded
// then.
bool Run_Side_By_Side(FrameSource& source, const ConversionSettings& s, AudioFeed* audio,
                      FrameBuilder& builder, std::span<DecodedFrame> frames, WriteStage& stage) {
  FrameQueue queue(frames);
  std::thread writing;
  try {
    writing = std::thread([&queue, &stage] {
      while (DecodedFrame* frame = queue.TakeFilled()) {
        const bool go_on = stage.Take(*frame, queue.PeekFilled());
        queue.GiveBack(frame);
        if (!go_on) break;
      }
      queue.Stop();
    });
  } catch (const std::system_error&) {
    return false;
  }
  // Decoding ends with the decoder's end or failure, which the writing side
  // sees in turn, or at the frame limit, where the writing side ends too;
  // the writing side may stop it earlier.
  int32_t decoded = 0;
  while (DecodedFrame* frame = queue.TakeEmpty()) {
    Decode_Next(source, s, audio, &builder, *frame);
    const bool last = frame->result != 0 || Frame_Limit_Reached(s, ++decoded);
    queue.HandOn(frame);  // the frame is the writing side's from here
    if (last) break;
  }
  queue.EndInput();
  writing.join();
  return true;
}

}  // namespace

void ConversionJob::Run() {
  const ConversionSettings& s = settings_;
  ConversionProgress& p = progress_;
  std::optional<AudioWriter> audio;
  if (audio_feed_) {
    audio_feed_->Select(source_);
    audio.emplace(*audio_feed_, AviFrameRateForIndex(s.frame_rate_index));
  } else {
    source_.SelectAudio(-1, nullptr, nullptr);
  }
  WriteStage stage(writer_, s, p, audio ? &*audio : nullptr);
  // Side by side, each queued frame holds a copy of its picture or the
  // frame built from it; in turn, one frame views the decoder's picture.
  const StreamInfo& stream = source_.stream_info;
  const Handover handover = writer_thread_ ? Side_By_Side_Handover(writer_) : Handover::kView;
  FrameBuilder decoding_builder;
  std::vector<DecodedFrame> frames;
  bool allocated = true;
  try {
    frames.resize(writer_thread_ ? kQueuedFrames : 1);
    for (DecodedFrame& frame : frames) {
      frame.handover = handover;
      if (handover == Handover::kFrame)
        allocated = allocated && frame.pixels.Allocate(Frame_Buffer_Bytes(s));
      if (handover == Handover::kCopy)
        allocated = allocated && frame.picture.Allocate(stream.coded_width, stream.coded_height);
    }
  } catch (const std::bad_alloc&) {
    allocated = false;
  }
  // The writing side builds frames whenever decoding runs in turn: also
  // when no thread can be started for it.
  allocated = allocated && stage.Allocate(stream.coded_width, stream.coded_height);
  if (handover == Handover::kFrame)
    allocated = allocated && decoding_builder.Allocate(stream.coded_width, stream.coded_height);
  if (!allocated) {
    writer_.Close();
    p.job_state.store(JOB_WRITE_ERROR);
    p.worker_finished.store(1);
    return;
  }
  if (!writer_thread_ ||
      !Run_Side_By_Side(source_, s, audio_feed_.get(), decoding_builder, frames, stage))
    Run_In_Turn(source_, s, audio_feed_.get(), frames.front(), stage);
  stage.Finish();
  if (stage.read_result != 0 && stage.read_result != DECODER_END_OF_SEQUENCE)
    p.job_state.store(JOB_READ_ERROR);
  // A file that cannot be completed on disk is a write error too. Closing
  // first lets go of any frame still being compressed or converted ahead.
  int closed = writer_.Close();
  frames = std::vector<DecodedFrame>();
  if (stage.write_failed || (closed != 0 && p.job_state.load() == JOB_OK)) {
    p.job_state.store(JOB_WRITE_ERROR);
  }
  p.worker_finished.store(1);
}
