// The conversion job: the start checks and derivations both front ends
// share, and whole jobs on the bundled sample (limits, splitting, counters,
// cancel, failures), read back with ffprobe where files are written.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "convert/conversion_job.h"
#include "convert/messages.h"
#include "convert/progress_figures.h"
#include "tests/platform/avi_test_support.h"

namespace {

const std::string kSample = std::string(VIDORLAN_SOURCE_DIR) + "/samples/sample.mpg";

StreamInfo Stream(int coded_width, int coded_height) {
  StreamInfo s;
  s.coded_width = coded_width;
  s.coded_height = coded_height;
  return s;
}

StartForm Valid_Form() {
  StartForm f;
  f.output_path = "/tmp/out.avi";
  f.aspect_selection = 0;
  f.frame_rate_selection = 2;
  f.crop_top = 0;
  f.crop_height = 576;
  return f;
}

TEST(StartChecks, RefuseWithTheirMessagesInOrder) {
  const char* inputs[] = {kSample.c_str(), nullptr};
  StreamInfo pal = Stream(720, 576);
  struct Case {
    const char* name;
    void (*change)(StartForm&);
    const char* message;  // nullptr: silent
  };
  const Case cases[] = {
      {"no output", [](StartForm& f) { f.output_path.clear(); }, messages::kNoOutputFile},
      {"no frame count",
       [](StartForm& f) {
         f.process_all_frames = false;
         f.frame_count = Read_Number_Edit("");
       },
       messages::kNoFrameCount},
      {"no MBytes",
       [](StartForm& f) {
         f.split_choice = SPLIT_BY_SIZE;
         f.split_frames = Read_Number_Edit("10");
       },
       messages::kNoSplitValue},
      {"no frames value",
       [](StartForm& f) {
         f.split_choice = SPLIT_BY_FRAMES;
         f.split_mbytes = Read_Number_Edit("10");
       },
       messages::kNoSplitValue},
      {"no aspect", [](StartForm& f) { f.aspect_selection = -1; }, nullptr},
      {"crop below the picture", [](StartForm& f) { f.crop_top = 1; }, messages::kIllegalCropping},
      {"crop height 0", [](StartForm& f) { f.crop_height = 0; }, messages::kIllegalCropping},
      {"crop sum past 32 bits",
       [](StartForm& f) {
         f.crop_top = Read_Unsigned_Edit("4294967295");
         f.crop_height = 1;
       },
       messages::kIllegalCropping},
      {"no frame rate", [](StartForm& f) { f.frame_rate_selection = -1; }, nullptr},
      // One or two rows at a wide shape leave an output frame of no rows.
      {"no row at 4:3", [](StartForm& f) { f.crop_height = 1, f.aspect_selection = 1; },
       messages::kIllegalCropping},
      {"no row at 16:9", [](StartForm& f) { f.crop_height = 1, f.aspect_selection = 2; },
       messages::kIllegalCropping},
      {"no row at 2.21:1", [](StartForm& f) { f.crop_height = 1, f.aspect_selection = 3; },
       messages::kIllegalCropping},
      {"output is the input", [](StartForm& f) { f.output_path = kSample; },
       messages::kOutputIsInput},

  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartForm form = Valid_Form();
    c.change(form);
    ConversionSettings settings;
    StartResult r = Read_Start_Form(form, pal, inputs, &settings);
    if (c.message != nullptr) {
      EXPECT_EQ(r.outcome, StartResult::kRefused);
      EXPECT_STREQ(r.message, c.message);
    } else {
      EXPECT_EQ(r.outcome, StartResult::kSilent);
    }
  }
  const char* missing[] = {kSample.c_str(), "/nonexistent.mpg", nullptr};
  ConversionSettings settings;
  StartResult r = Read_Start_Form(Valid_Form(), pal, missing, &settings);
  EXPECT_EQ(r.outcome, StartResult::kRefused);
  EXPECT_STREQ(r.message, messages::kInputSizeFileError);
  // Standard input has no size: the job runs without a total.
  const char* piped[] = {kSample.c_str(), "-", nullptr};
  ASSERT_EQ(Read_Start_Form(Valid_Form(), pal, piped, &settings).outcome, StartResult::kStarted);
  EXPECT_FALSE(settings.input_size_known);
  EXPECT_EQ(settings.total_input_kbytes, std::filesystem::file_size(kSample) / 1024);
}

TEST(StartChecks, DeriveTheJobsSettings) {
  const char* inputs[] = {kSample.c_str(), kSample.c_str(), nullptr};
  StartForm form = Valid_Form();
  form.crop_top = Read_Unsigned_Edit("16");
  form.crop_height = Read_Unsigned_Edit("560");  // 16 + 560 = 576: equality is allowed
  form.process_all_frames = false;
  form.frame_count = Read_Number_Edit("123456789");  // only its first 8 characters count
  form.split_choice = SPLIT_BY_FRAMES;
  form.split_frames = Read_Number_Edit("25");
  ConversionSettings s;
  ASSERT_EQ(Read_Start_Form(form, Stream(720, 576), inputs, &s).outcome, StartResult::kStarted);
  EXPECT_EQ(s.crop_top, 16);
  EXPECT_EQ(s.crop_height, 560);
  EXPECT_EQ(s.frame_limit, 12345678);
  EXPECT_EQ(s.split_mode, SPLIT_BY_FRAMES);
  EXPECT_EQ(s.split_frames, 25);
  EXPECT_EQ(s.output_width, 720);
  EXPECT_EQ(s.output_height, 560);
  EXPECT_EQ(s.total_input_kbytes, 2 * (std::filesystem::file_size(kSample) / 1024));

  // A count that does not start with a number leaves the limit as it was.
  form.frame_count = Read_Number_Edit("x12");
  ASSERT_EQ(Read_Start_Form(form, Stream(720, 576), inputs, &s).outcome, StartResult::kStarted);
  EXPECT_EQ(s.frame_limit, 12345678);
}

TEST(StartChecks, OutputHeightFollowsTheDisplayShape) {
  // 720 x 576 whole picture: 1:1, 4:3, 16:9 and the 2:1 shape of "2.21:1".
  EXPECT_EQ(Output_Height(0, 576, 720, 576), 576);
  EXPECT_EQ(Output_Height(1, 576, 720, 576), 544);         // 540 rounded up
  EXPECT_EQ(Output_Height(2, 576, 720, 576), 416);         // 405 rounded up
  EXPECT_EQ(Output_Height(3, 576, 720, 576), 368);         // 360 rounded up
  EXPECT_EQ(Output_Height(0, 570, 720, 576), 576);         // 570 rounded up: a stretch
  EXPECT_EQ(Output_Height(1, 288, 720, 576), 272);         // the crop scales the shape
  EXPECT_EQ(Output_Height(2, 16383, 16383, 16383), 9216);  // no overflow
}

TEST(ProgressFigures, TheDialogsExamplePoints) {
  ConversionProgress p;
  ConversionSettings s;
  s.convert_all_frames = false;
  s.frame_limit = 100;
  ProgressFigures f = Compute_Progress_Figures(p, s, 3);
  EXPECT_EQ(f.bar_position, 0);
  EXPECT_EQ(Format_Clock(f.remaining_seconds), "00:00:00");
  p.frames_written = 25;
  f = Compute_Progress_Figures(p, s, 10);
  EXPECT_EQ(f.bar_position, 250);
  EXPECT_EQ(Format_Clock(f.remaining_seconds), "00:00:30");
  EXPECT_EQ(Format_Clock(3725), "01:02:05");
  p.frames_written = 150;  // past the total: beyond 1000, negative time
  f = Compute_Progress_Figures(p, s, 150);
  EXPECT_EQ(f.bar_position, 1500);
  EXPECT_EQ(f.remaining_seconds, -50);
  EXPECT_EQ(Format_Clock(-50), "00:00:-50");
  s.convert_all_frames = true;
  s.total_input_kbytes = 0;
  p.input_kbytes_read = 10;
  EXPECT_EQ(Compute_Progress_Figures(p, s, 5).bar_position, 0);
  s.total_input_kbytes = 100;
  s.input_size_known = false;  // a pipe among the inputs: no share, no time
  f = Compute_Progress_Figures(p, s, 5);
  EXPECT_FALSE(f.share_known);
  EXPECT_EQ(f.input_kbytes_read, 10);
  EXPECT_EQ(f.bar_position, 0);
  EXPECT_EQ(f.remaining_seconds, 0);
}

// --- Whole jobs on the sample ------------------------------------------------

// The sample's whole job at 1:1 and 25 fps, `crop_height` rows from the top.
StartForm Sample_Form(const std::string& output_path, int crop_height) {
  StartForm form;
  form.output_path = output_path;
  form.aspect_selection = 0;
  form.frame_rate_selection = 2;
  form.crop_top = 0;
  form.crop_height = crop_height;
  return form;
}

class Job : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(source_.Open(inputs_), 0);
    form_ = Sample_Form(dir_.File("film.avi"), 288);
  }
  void TearDown() override { source_.Close(); }

  // Runs a job to its end and returns its state.
  int Run(const StartForm& form) {
    EXPECT_EQ(Read_Start_Form(form, source_.stream_info, inputs_, &settings_).outcome,
              StartResult::kStarted);
    ConversionJob job(source_, writer_, settings_, progress_);
    EXPECT_EQ(job.Start().outcome, StartResult::kStarted);
    job.Join();
    EXPECT_EQ(progress_.worker_finished.load(), 1);
    return progress_.job_state.load();
  }

  const char* inputs_[2] = {kSample.c_str(), nullptr};
  FrameSource source_;
  AviWriter writer_;
  ConversionSettings settings_;
  ConversionProgress progress_;
  avi_test::TempDir dir_;
  StartForm form_;
};

TEST_F(Job, FrameLimitsZeroAndOneWriteOneFrame) {
  for (int32_t limit : {0, 1}) {
    form_.process_all_frames = false;
    form_.frame_count = NumberEdit{false, limit};
    EXPECT_EQ(Run(form_), JOB_OK);
    EXPECT_EQ(progress_.frames_written.load(), 1);
    source_.Close();
    ASSERT_EQ(source_.Open(inputs_), 0);
  }
}

TEST_F(Job, SplitsBySizeAsTheStreamReportsIt) {
  SKIP_WITHOUT_FFMPEG();
  form_.split_choice = SPLIT_BY_SIZE;
  form_.split_mbytes = NumberEdit{false, 1};  // 304128 bytes a frame: a file closes after its 4th
  EXPECT_EQ(Run(form_), JOB_OK);
  EXPECT_EQ(progress_.frames_written.load(), 50);
  int files = 0;
  int64_t frames = 0;
  while (std::filesystem::exists(dir_.File("film" + std::to_string(files) + ".avi"))) {
    int64_t n = avi_test::CountFrames(dir_.File("film" + std::to_string(files) + ".avi"));
    EXPECT_EQ(n, files < 12 ? 4 : 2);
    frames += n;
    ++files;
  }
  EXPECT_EQ(files, 13);
  EXPECT_EQ(frames, 50);
  // Whole KBytes per finished file plus the current file's.
  EXPECT_EQ(progress_.kbytes_written.load(), 12 * (4 * 304128 / 1024) + 2 * 304128 / 1024);
}

TEST_F(Job, CancelStopsAfterTheFrameInProgress) {
  ConversionJob job(source_, writer_, settings_, progress_);
  ASSERT_EQ(Read_Start_Form(form_, source_.stream_info, inputs_, &settings_).outcome,
            StartResult::kStarted);
  ASSERT_EQ(job.Start().outcome, StartResult::kStarted);
  job.RequestCancel();
  job.Join();
  EXPECT_EQ(progress_.job_state.load(), JOB_OK);
  EXPECT_GE(progress_.frames_written.load(), 1);
  EXPECT_LT(progress_.frames_written.load(), 50);
}

// WaitFor times out while the worker runs and returns as soon as it ends.
TEST_F(Job, WaitForEndsWithTheWorker) {
  ASSERT_EQ(Read_Start_Form(form_, source_.stream_info, inputs_, &settings_).outcome,
            StartResult::kStarted);
  ConversionJob job(source_, writer_, settings_, progress_);
  std::function<void()> held;
  job.SetLauncher([&held](std::function<void()> work, std::thread*) {
    held = std::move(work);
    return true;
  });
  ASSERT_EQ(job.Start().outcome, StartResult::kStarted);
  EXPECT_FALSE(job.WaitFor(std::chrono::milliseconds(1)));
  std::thread worker(held);
  EXPECT_TRUE(job.WaitFor(std::chrono::minutes(1)));
  EXPECT_EQ(progress_.worker_finished.load(), 1);
  worker.join();
}

TEST_F(Job, AWorkerThatCannotStartIsReportedWithoutWaiting) {
  ASSERT_EQ(Read_Start_Form(form_, source_.stream_info, inputs_, &settings_).outcome,
            StartResult::kStarted);
  ConversionJob job(source_, writer_, settings_, progress_);
  job.SetLauncher([](std::function<void()>, std::thread*) { return false; });
  StartResult r = job.Start();
  EXPECT_EQ(r.outcome, StartResult::kRefused);
  EXPECT_STREQ(r.message, messages::kWriteError);
  job.Join();  // returns at once
  EXPECT_EQ(writer_.FramesInFile(), 0);
}

// A cancelled compressor choice ends silently, a compressor that cannot
// start is refused; neither leaves a file behind that was not there before.
TEST_F(Job, AStartEndedAtTheCompressorLeavesNoNewFile) {
  struct Case {
    const char* name;
    bool cancel;
    const char* compressor;
    StartResult::Outcome outcome;
    bool existed;
  };
  for (const Case& c :
       {Case{"cancelled", true, "", StartResult::kSilent, false},
        Case{"cancelled over a file", true, "", StartResult::kSilent, true},
        Case{"refused", false, "nonesuch", StartResult::kRefused, false},
        Case{"refused over a file", false, "nonesuch", StartResult::kRefused, true}}) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(form_.output_path);
    if (c.existed) avi_test::WriteFile(form_.output_path, "earlier");
    writer_.SetChooseCompressorHook([&c](CompressOptions& options) {
      options.compressor = c.compressor;
      return !c.cancel;
    });
    ASSERT_EQ(Read_Start_Form(form_, source_.stream_info, inputs_, &settings_).outcome,
              StartResult::kStarted);
    ConversionJob job(source_, writer_, settings_, progress_);
    const StartResult r = job.Start();
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_STREQ(r.message, c.cancel ? nullptr : messages::kCreateAviFailed);
    EXPECT_EQ(std::filesystem::exists(form_.output_path), c.existed);
  }
}

// --- The writer thread against one thread doing each frame in turn -----------

// What a job left: its end, the progress figures of the last written frame
// and every file of its output directory.
struct JobOutcome {
  int state = -1;
  int32_t frames_written = 0;
  int64_t kbytes_written = 0;
  int32_t current_file_index = 0;
  int32_t input_kbytes_read = 0;
  std::map<std::string, std::string> files;  // name -> contents
};

// What a case may change before its job starts; the source is open.
struct JobSetup {
  FrameSource& source;
  StartForm& form;
  AviWriter& writer;
  std::string dir;
};
using JobStep = std::function<void(JobSetup& job)>;

// Runs a job on the sample read twice (100 frames of 352 x 64 unless
// `prepare` says otherwise) into a fresh directory, with or without the
// writer thread; `during` runs while the job does.
JobOutcome Run_Job(bool writer_thread, const JobStep& prepare,
                   const std::function<void(ConversionJob&, ConversionProgress&)>& during = {}) {
  avi_test::TempDir dir;
  const char* inputs[] = {kSample.c_str(), kSample.c_str(), nullptr};
  FrameSource source;
  EXPECT_EQ(source.Open(inputs), 0);
  StartForm form = Sample_Form(dir.File("film.avi"), 64);
  AviWriter writer;
  JobSetup setup{source, form, writer, dir.path()};
  if (prepare) prepare(setup);
  ConversionSettings settings;
  EXPECT_EQ(Read_Start_Form(form, source.stream_info, inputs, &settings).outcome,
            StartResult::kStarted);
  ConversionProgress progress;
  ConversionJob job(source, writer, settings, progress);
  job.SetWriterThread(writer_thread);
  EXPECT_EQ(job.Start().outcome, StartResult::kStarted);
  if (during) during(job, progress);
  job.Join();
  JobOutcome o{progress.job_state.load(),         progress.frames_written.load(),
               progress.kbytes_written.load(),    progress.current_file_index.load(),
               progress.input_kbytes_read.load(), {}};
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    if (entry.is_regular_file())
      o.files[entry.path().filename()] = avi_test::ReadWholeFile(entry.path());
  }
  return o;
}

void Expect_Same_Outcome(const JobOutcome& a, const JobOutcome& b) {
  EXPECT_EQ(a.state, b.state);
  EXPECT_EQ(a.frames_written, b.frames_written);
  EXPECT_EQ(a.kbytes_written, b.kbytes_written);
  EXPECT_EQ(a.current_file_index, b.current_file_index);
  EXPECT_EQ(a.input_kbytes_read, b.input_kbytes_read);
  ASSERT_EQ(a.files.size(), b.files.size());
  for (auto i = a.files.begin(), j = b.files.begin(); i != a.files.end(); ++i, ++j) {
    EXPECT_EQ(i->first, j->first);
    EXPECT_TRUE(i->second == j->second) << i->first << " differs";
  }
}

TEST(JobStages, TheWriterThreadChangesNothing) {
  struct Case {
    const char* name;
    JobStep prepare;
    int state;
    int32_t frames;
    size_t files;
    bool audio = false;  // every file holds audio chunks
  };
  const Case cases[] = {
      {"whole job", nullptr, JOB_OK, 100, 1},
      // Frames built on the writing side, and on the decoding side for an
      // encoder.
      {"deinterlaced and stretched",
       [](JobSetup& j) {
         j.form.deinterlace = true;
         j.form.aspect_selection = 1;
         j.form.crop_top = 40;
       },
       JOB_OK, 100, 1},
      {"compressed, converted ahead, split by frames",
       [](JobSetup& j) {
         j.form.deinterlace = true;
         j.form.aspect_selection = 1;
         j.form.split_choice = SPLIT_BY_FRAMES;
         j.form.split_frames = NumberEdit{false, 9};
         j.writer.SetOptions(CompressOptions{"ffv1"});
       },
       JOB_OK, 100, 12},
      {"compressed ahead, split by frames",
       [](JobSetup& j) {
         j.form.split_choice = SPLIT_BY_FRAMES;
         j.form.split_frames = NumberEdit{false, 7};
         j.writer.SetOptions(CompressOptions{"huffyuv"});
       },
       JOB_OK, 100, 15},
      {"decoded audio, split by frames",  // the second file's clocks start again
       [](JobSetup& j) {
         j.form.audio = {0, AudioOutput::kPcm};
         j.form.split_choice = SPLIT_BY_FRAMES;
         j.form.split_frames = NumberEdit{false, 7};
       },
       JOB_OK, 100, 15, true},
      {"copied audio, frame limit",
       [](JobSetup& j) {
         j.form.audio = {0, AudioOutput::kCopy};
         j.form.process_all_frames = false;
         j.form.frame_count = NumberEdit{false, 61};
       },
       JOB_OK, 61, 1, true},
      {"split by size",  // 67584 bytes a frame: 16 frames a file
       [](JobSetup& j) {
         j.form.split_choice = SPLIT_BY_SIZE;
         j.form.split_mbytes = NumberEdit{false, 1};
       },
       JOB_OK, 100, 7},
      {"split by frames",
       [](JobSetup& j) {
         j.form.split_choice = SPLIT_BY_FRAMES;
         j.form.split_frames = NumberEdit{false, 7};
       },
       JOB_OK, 100, 15},
      {"frame limit",
       [](JobSetup& j) {
         j.form.process_all_frames = false;
         j.form.frame_count = NumberEdit{false, 61};
         j.form.split_choice = SPLIT_BY_FRAMES;
         j.form.split_frames = NumberEdit{false, 20};
       },
       JOB_OK, 61, 4},
      {"read error", [](JobSetup& j) { j.source.Close(); }, JOB_READ_ERROR, 0, 1},
      {"next split file refused",  // a directory where the second file goes
       [](JobSetup& j) {
         j.form.split_choice = SPLIT_BY_FRAMES;
         j.form.split_frames = NumberEdit{false, 30};
         std::filesystem::create_directory(j.dir + "/film1.avi");
       },
       JOB_WRITE_ERROR, 30, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const JobOutcome one = Run_Job(false, c.prepare);
    EXPECT_EQ(one.state, c.state);
    EXPECT_EQ(one.frames_written, c.frames);
    EXPECT_EQ(one.files.size(), c.files);
    for (const auto& [name, contents] : one.files)
      EXPECT_EQ(contents.find("01wb") != std::string::npos, c.audio) << name;
    Expect_Same_Outcome(Run_Job(true, c.prepare), one);
  }
  // A disk that fills up: the same frames are written and the same whole
  // file is left either way.
  JobOutcome full[2];
  for (bool writer_thread : {false, true}) {
    avi_test::FileSizeLimit limit(2 << 20);
    full[writer_thread] = Run_Job(writer_thread, nullptr);
  }
  EXPECT_EQ(full[0].state, JOB_WRITE_ERROR);
  EXPECT_EQ(full[0].files.size(), 1u);
  Expect_Same_Outcome(full[1], full[0]);
}

// A cancel drops the frames decoded ahead: the files, audio included, are
// those of a job limited to the frames written, complete, and the figures
// are the last written frame's. Whole frames through FFV1 keep the writing
// side the slower one, so that decoded frames are waiting when the cancel
// comes.
TEST(JobStages, ACancelLeavesTheFilesOfTheFramesWritten) {
  SKIP_WITHOUT_FFMPEG();
  // HuffYUV also has frames compressed ahead when the cancel comes.
  for (const char* compressor : {"ffv1", "huffyuv"}) {
    SCOPED_TRACE(compressor);
    auto split = [compressor](JobSetup& j) {
      j.form.crop_height = 288;
      j.form.split_choice = SPLIT_BY_FRAMES;
      j.form.split_frames = NumberEdit{false, 4};
      j.form.audio = {0, AudioOutput::kPcm};
      j.writer.SetOptions(CompressOptions{compressor});
    };
    const JobOutcome cancelled =
        Run_Job(true, split, [](ConversionJob& job, ConversionProgress& progress) {
          while (progress.frames_written.load() < 10 && progress.worker_finished.load() == 0)
            std::this_thread::yield();
          job.RequestCancel();
        });
    EXPECT_EQ(cancelled.state, JOB_OK);
    ASSERT_GE(cancelled.frames_written, 10);
    ASSERT_LT(cancelled.frames_written, 100);
    const JobOutcome limited = Run_Job(false, [&](JobSetup& j) {
      split(j);
      j.form.process_all_frames = false;
      j.form.frame_count = NumberEdit{false, cancelled.frames_written};
    });
    Expect_Same_Outcome(cancelled, limited);
    avi_test::TempDir dir;
    int64_t frames = 0;
    for (const auto& [name, contents] : cancelled.files) {
      avi_test::WriteFile(dir.File(name), contents);
      frames += avi_test::CountFrames(dir.File(name));
    }
    EXPECT_EQ(frames, cancelled.frames_written);
  }
}

}  // namespace
