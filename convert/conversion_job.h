// A conversion job: the open input (FrameSource) into one or more AVI files
// (AviWriter) on a worker thread.
//
// Both front ends use this one piece of code: the desktop app reads its
// controls into a StartForm, the command line its options. Read_Start_Form
// checks the form and derives the job's settings; ConversionJob creates the
// first file (the writer's choose-compressor hook may cancel), starts the
// worker and publishes its progress through ConversionProgress, which the
// front end polls.
//
// On a machine with more than one core the worker hands compression and
// writing (and, for frames stored uncompressed, the conversion to RGB) to a
// second thread of its own and decodes the next pictures meanwhile, a few
// ahead at most. Files, split points, the frame limit, progress, cancel and
// errors are those of one thread doing each frame in turn: every decision
// that depends on what was written stays with the writing side.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "convert/audio_choice.h"
#include "convert/avi_writer.h"
#include "convert/frame_source.h"
#include "convert/job_audio.h"

enum SplitMode : int32_t { SPLIT_NONE = 0, SPLIT_BY_SIZE = 1, SPLIT_BY_FRAMES = 2 };
enum JobState : int32_t { JOB_OK = 0, JOB_WRITE_ERROR = 1, JOB_READ_ERROR = 2 };

// The job's parameters; read-only while the worker runs.
struct ConversionSettings {
  const char* const* input_paths = nullptr;  // null-terminated; the frame source is open on it
  std::string output_path;
  bool deinterlace = false;
  bool convert_all_frames = false;
  int32_t frame_limit = 0;
  int32_t split_mode = SPLIT_NONE;
  int32_t split_mbytes = 0;
  int32_t split_frames = 0;
  int32_t aspect_index = 0;  // 0 "1:1", 1 "4:3", 2 "16:9", 3 "2.21:1"
  int32_t crop_top = 0;
  int32_t crop_height = 0;
  int32_t frame_rate_index = 0;
  int32_t output_width = 0;
  int32_t output_height = 0;
  int64_t total_input_kbytes = 0;  // sum of (file size / 1024)
  bool input_size_known = true;    // false when an input is a pipe
  AudioSettings audio;
};

// Shared by the worker (the only writer, except cancel_requested) and the
// front end, which polls it.
struct ConversionProgress {
  std::atomic<int32_t> frames_written{0};
  std::atomic<int64_t> kbytes_written{0};  // finished split files plus the current one
  std::atomic<int32_t> current_file_index{0};
  std::atomic<int32_t> input_kbytes_read{0};
  std::atomic<int32_t> cancel_requested{0};
  std::atomic<int32_t> worker_finished{0};
  std::atomic<int32_t> job_state{JOB_OK};

  void Reset();
};

// A "%ld" number edit as the Start handler reads it: the frame count and
// the two split values.
struct NumberEdit {
  bool empty = true;
  std::optional<int32_t> value;  // none: the text does not start with a number
};

// The page controls as the user left them, each number already in its final
// type: the desktop app reads its edits' texts with Read_Number_Edit and
// Read_Unsigned_Edit, the command line gives its options' values. A
// selection of -1 means none.
struct StartForm {
  std::string output_path;  // "Output file:"
  bool deinterlace = false;
  bool process_all_frames = true;
  NumberEdit frame_count;  // beside "Process"
  int32_t split_choice = SPLIT_NONE;
  NumberEdit split_mbytes;
  NumberEdit split_frames;
  int aspect_selection = -1;
  int64_t crop_top = 0;  // 0 .. 2^32 - 1
  int64_t crop_height = 0;
  int frame_rate_selection = -1;
  AudioChoice audio;  // Output page: "No audio" or a listed stream, and its form
};

// The text of a number edit: its first 8 characters read as "%ld".
NumberEdit Read_Number_Edit(const std::string& text);

// The text of a crop edit: digits read as an unsigned number; text that
// cannot be read, or a number past the 32-bit range, counts as 0.
int64_t Read_Unsigned_Edit(const std::string& text);

// How a start ended: started, refused with a message for the user, or ended
// silently (nothing to report: no input, no list selection, cancelled
// compressor choice).
struct StartResult {
  enum Outcome { kStarted, kRefused, kSilent } outcome;
  const char* message;  // kRefused only
};

// Checks the form and derives the settings: the values, the crop band
// against the coded picture, the output size from the display shape (an
// empty frame is refused as a crop), that no output file is one of the
// inputs, and the input size (each input file measured; pipes have none).
// Leaves fields it did not reach as they were, as the pages would.
StartResult Read_Start_Form(const StartForm& form, const StreamInfo& stream,
                            const char* const* input_paths, ConversionSettings* settings);

// Height of the output frame for a crop of crop_height rows of a picture of
// coded width x coded height, shown at the display shape of `aspect_index`,
// rounded up to a multiple of 16.
int32_t Output_Height(int32_t aspect_index, int32_t crop_height, int32_t coded_width,
                      int32_t coded_height);

class ConversionJob {
 public:
  // Starts `work` on a new thread; returns false when no thread could be made.
  using Launcher = std::function<bool(std::function<void()> work, std::thread* thread)>;

  ConversionJob(FrameSource& source, AviWriter& writer, const ConversionSettings& settings,
                ConversionProgress& progress);
  ~ConversionJob();
  ConversionJob(const ConversionJob&) = delete;
  ConversionJob& operator=(const ConversionJob&) = delete;

  // Creates the first AVI file, zeroes the progress and starts the worker.
  // Refused with "Error creating AVI-file" when the writer cannot open, silent
  // when the compressor choice is cancelled, and refused with "Error writing
  // AVI-file." when no worker thread can be started (the writer is closed
  // then, and nothing waits for a worker that never ran).
  StartResult Start();

  // Asks the worker to stop after the frame being written; frames decoded
  // ahead of it are dropped.
  void RequestCancel();

  // Waits until the worker has finished (a no-op when none runs).
  void Join();

  // Waits until the worker has finished or `timeout` has passed, whichever
  // comes first; true when it has finished.
  bool WaitFor(std::chrono::milliseconds timeout);

  // For tests: how the worker thread is started.
  void SetLauncher(Launcher launcher) { launcher_ = std::move(launcher); }

  // Whether compression and writing get a thread of their own beside
  // decoding. Default: on a machine with more than one core. Set before
  // Start.
  void SetWriterThread(bool writer_thread) { writer_thread_ = writer_thread; }

 private:
  void Run();

  FrameSource& source_;
  std::unique_ptr<AudioFeed> audio_feed_;  // made at Start when the job writes audio
  AviWriter& writer_;
  const ConversionSettings& settings_;
  ConversionProgress& progress_;
  std::thread worker_;
  std::mutex finished_mutex_;
  std::condition_variable finished_changed_;
  bool finished_ = false;  // the worker's Run has returned
  Launcher launcher_;
  bool writer_thread_ = std::thread::hardware_concurrency() > 1;
};
