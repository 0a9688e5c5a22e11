// vidorlan-convert as users and scripts see it: options, messages, exit
// statuses, and the files it writes as real readers see them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/avi_test_support.h"
#include "tests/support/stream_builder.h"
#include "tests/support/temp_files.h"

namespace {

using avi_test::CommandResult;

const std::string kConvert = VIDORLAN_CONVERT_PATH;
const std::string kSample = std::string(VIDORLAN_SOURCE_DIR) + "/samples/sample.mpg";

CommandResult Convert(std::vector<std::string> args) {
  args.insert(args.begin(), kConvert);
  return avi_test::RunCommand(args);
}

std::string Message(const std::string& text) {
  return "vidorlan-convert: " + text + "\n";
}

TEST(Cli, UsageErrors) {
  EXPECT_EQ(Convert({"--help"}).exit_status, 0);
  EXPECT_EQ(Convert({"--version"}).out, "vidorlan-convert (Vidorlan MPEG) 0.67\n");
  for (auto args :
       std::vector<std::vector<std::string>>{{},
                                             {"--bogus", kSample},
                                             {"--frames", "-3", kSample},
                                             {"--aspect", "5:4", kSample},
                                             {"--quality", "101", kSample},
                                             {"--codec", "nonesuch", kSample},
                                             {"--cpu", "fastest", kSample},
                                             {"--split-mb", "1", "--split-frames", "2", kSample},
                                             {"--audio", "0", kSample},
                                             {"--audio", "second", kSample},
                                             {"--audio-format", "wav", kSample},
                                             // more digits than the pages' edits hold
                                             {"--frames", "100000000", kSample},
                                             {"--split-mb", "100000000", kSample},
                                             {"--split-frames", "100000000", kSample}}) {
    CommandResult r = Convert(args);
    EXPECT_EQ(r.exit_status, 1) << r.err;
    EXPECT_NE(r.err.find("vidorlan-convert: "), std::string::npos);
  }
}

TEST(Cli, InputsAreRefusedWithTheInputPagesMessages) {
  TempFiles temp;
  std::vector<std::string> seventeen(17, kSample);
  CommandResult r = Convert(seventeen);
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.err, Message("No more than 16 files allowed."));

  struct Case {
    std::vector<uint8_t> bytes;
    const char* message;
  };
  BitWriter no_picture;
  Write_Sequence_Header(no_picture, SequenceParams{});
  Write_Sequence_End(no_picture);
  for (const Case& c : {Case{{0x47, 0x40, 0x00, 0x10}, "Streamtype not supported."},
                        Case{{1, 2, 3, 4, 5}, "Streamtype not supported."},
                        Case{no_picture.Bytes(), "Error opening MPEG stream."}}) {
    r = Convert({"--info", temp.Write("input", c.bytes)});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.err, Message(c.message));
  }
  r = Convert({"--info", temp.Path("missing.mpg")});
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.err, Message("File error while opening MPEG."));
}

TEST(Cli, InfoPrintsThePropertyLinesAndValues) {
  CommandResult r = Convert({"--info", kSample});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out,
            "Width: 352\nHeight: 288\nSequence is not interlaced\nAspect Ratio: 1:1\n"
            "Framerate: 25 fps\nhorizontal_size=352\nvertical_size=288\ncoded_width=352\n"
            "coded_height=288\nprogressive_sequence=1\nframe_rate_code=3\n"
            "aspect_ratio_information=1\nchroma_format=1\nmpeg=2\nstream=program\n"
            "pulldown=0\ndefault_rate=25\naudio1=mp2 48000 Hz 1 ch (0xc0)\n");
}

TEST(Cli, Y4mCarriesEveryPictureInDisplayOrder) {
  CommandResult r = Convert({"--y4m", "-", kSample});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out.rfind("YUV4MPEG2 W352 H288 F25:1 Ip A0:0 C420mpeg2\n", 0), 0u);
  size_t frames = 0;
  for (size_t at = r.out.find("FRAME\n"); at != std::string::npos;
       at = r.out.find("FRAME\n", at + 1)) {
    ++frames;
  }
  EXPECT_EQ(frames, 50u);
  const size_t frame_bytes = 352 * 288 * 3 / 2 + 6;
  EXPECT_EQ(r.out.size(), r.out.find('\n') + 1 + 50 * frame_bytes);
  EXPECT_EQ(Convert({"--y4m", "-", "--frames", "7", kSample}).out.size(),
            r.out.find('\n') + 1 + 7 * frame_bytes);
  // The portable kernels give the same pictures as the processor's own.
  EXPECT_EQ(Convert({"--y4m", "-", "--cpu", "portable", kSample}).out, r.out);
}

TEST(Cli, StartChecksRefuseWithTheirMessages) {
  TempFiles temp;
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  for (const Case& c : {
           Case{{kSample}, "No output file selected."},
           Case{{"--crop-height", "0", "-o", temp.Path("a.avi"), kSample},
                "Illegal cropping values."},
           Case{{"--crop-top", "1", "-o", temp.Path("a.avi"), kSample}, "Illegal cropping values."},
           Case{{"--crop-top", "4294967295", "--crop-height", "1", "-o", temp.Path("a.avi"),
                 kSample},
                "Illegal cropping values."},
           // A row shown at a wide shape leaves no row: nothing to write.
           Case{{"--crop-height", "1", "--aspect", "4:3", "-o", temp.Path("a.avi"), kSample},
                "Illegal cropping values."},
           Case{{"--crop-height", "1", "--aspect", "16:9", "-o", temp.Path("a.avi"), kSample},
                "Illegal cropping values."},
           Case{{"--crop-height", "1", "--aspect", "2.21:1", "-o", temp.Path("a.avi"), kSample},
                "Illegal cropping values."},
           Case{{"-o", temp.Path("no/such/dir/a.avi"), kSample}, "Error creating AVI-file"},
           Case{{"-o", kSample + "/a.avi", kSample}, "Error creating AVI-file"},
       }) {
    CommandResult r = Convert(c.args);
    EXPECT_EQ(r.exit_status, 3) << c.message;
    EXPECT_EQ(r.err, Message(c.message));
    EXPECT_FALSE(std::filesystem::exists(temp.Path("a.avi")));
  }
  // Equality of crop_top + crop_height with the coded height is allowed.
  CommandResult r = Convert({"-q", "--frames", "1", "--crop-top", "8", "--crop-height", "280", "-o",
                             temp.Path("b.avi"), kSample});
  EXPECT_EQ(r.exit_status, 0) << r.err;
}

// No output may overwrite an input, under any name: the start is refused
// before anything is opened for writing.
TEST(Cli, AnOutputOverAnInputIsRefused) {
  TempFiles temp;
  const std::string sample = avi_test::ReadWholeFile(kSample);
  const std::string a = temp.Write("a.m1v", std::vector<uint8_t>(sample.begin(), sample.end()));
  const std::string b1 = temp.Write("b1.avi", std::vector<uint8_t>(sample.begin(), sample.end()));
  std::filesystem::create_symlink(a, temp.Path("link.avi"));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-o", a, a},
           {"-o", temp.Path("link.avi"), a},
           {"--y4m", a, a},
           {"--split-frames", "10", "-o", temp.Path("b.avi"), b1},
           {"--split-mb", "1", "-o", temp.Path("b"), kSample, b1}}) {
    CommandResult r = Convert(args);
    EXPECT_EQ(r.exit_status, 3) << args[args.size() - 2];
    EXPECT_EQ(r.err, Message("The output would overwrite an input file."));
  }
  EXPECT_EQ(avi_test::ReadWholeFile(a), sample);
  EXPECT_EQ(avi_test::ReadWholeFile(b1), sample);
  EXPECT_FALSE(std::filesystem::exists(temp.Path("b0.avi")));
}

TEST(Cli, ConvertsToAviWithTheStreamsDefaults) {
  SKIP_WITHOUT_FFMPEG();
  TempFiles temp;
  std::string out = temp.Path("film.avi");
  CommandResult r = Convert({"-q", "-o", out, kSample});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  auto info = avi_test::ProbeVideoStream(out);
  EXPECT_EQ(info["codec_name"], "rawvideo");
  EXPECT_EQ(info["width"], "352");
  EXPECT_EQ(info["height"], "288");  // the stream's square pixels
  EXPECT_EQ(info["r_frame_rate"], "25/1");
  EXPECT_EQ(info["nb_frames"], "50");
  EXPECT_EQ(info["TAG:title"], "Written with Vidorlan MPEG.");

  r = Convert({"-q", "--aspect", "16:9", "--rate", "29.97", "--frames", "0", "--codec", "ffv1",
               "-o", out, kSample});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  info = avi_test::ProbeVideoStream(out);
  EXPECT_EQ(info["codec_name"], "ffv1");
  EXPECT_EQ(info["height"], "208");  // 288 * 352 * 9 / (288 * 16) = 198, rounded up
  EXPECT_EQ(info["r_frame_rate"], "30000/1001");
  EXPECT_EQ(avi_test::CountFrames(out), 1);  // a frame limit of 0 still writes one frame
}

// The chosen audio stream, decoded or as it is, beside the video and as
// long as it; refused where there is none or where it would drift.
TEST(Cli, WritesTheChosenAudioStream) {
  SKIP_WITHOUT_FFMPEG();
  TempFiles temp;
  const std::string out = temp.Path("sound.avi");
  for (const auto& [format, codec] : {std::pair{"pcm", "pcm_s16le"}, {"copy", "mp2"}}) {
    CommandResult r =
        Convert({"-q", "--audio", "first", "--audio-format", format, "-o", out, kSample});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    r = avi_test::RunCommand({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                              "stream=codec_name,sample_rate,channels:format=duration", "-of",
                              "csv=p=0", out});
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), std::string(codec) + ",48000,1") << format;
    EXPECT_EQ(avi_test::CountFrames(out), 50);
  }
  // 50 frames at 25 fps: two seconds of sound, sample for sample.
  EXPECT_EQ(Convert({"-q", "--audio", "1", "-o", out, kSample}).exit_status, 0);
  EXPECT_EQ(
      avi_test::RunCommand({"ffmpeg", "-v", "error", "-i", out, "-map", "0:a", "-f", "s16le", "-"})
          .out.size(),
      2u * 48000 * 2);

  const std::string elementary = temp.Path("video.m2v");
  ASSERT_EQ(avi_test::RunCommand({"ffmpeg", "-v", "error", "-i", kSample, "-map", "0:v", "-c",
                                  "copy", "-f", "mpeg2video", elementary})
                .exit_status,
            0);
  EXPECT_EQ(Convert({"--info", elementary}).out.find("audio"), std::string::npos);
  for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, const char*>>{
           {{"--audio", "first", "-o", out, elementary},
            "An elementary video stream carries no audio: choose no audio."},
           {{"--audio", "2", "-o", out, kSample}, "The input has no audio stream of that number."},
           {{"--audio", "first", "--rate", "24", "-o", out, kSample},
            "The frame rate is not the stream's own: the sound would drift. Choose the stream's "
            "frame rate or No audio."}}) {
    const CommandResult r = Convert(args);
    EXPECT_EQ(r.exit_status, 3) << message;
    EXPECT_EQ(r.err, Message(message));
  }
  // Without audio any rate goes.
  EXPECT_EQ(Convert({"-q", "--rate", "24", "-o", out, elementary}).exit_status, 0);
}

TEST(Cli, SplitsIntoNumberedFiles) {
  SKIP_WITHOUT_FFMPEG();
  TempFiles temp;
  std::filesystem::create_directories(temp.Path("my.dir"));
  CommandResult r =
      Convert({"-q", "--split-frames", "25", "-o", temp.Path("my.dir/film"), kSample});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  // The split test fires after the last frame too: an empty third file.
  EXPECT_EQ(avi_test::CountFrames(temp.Path("my.dir/film0.avi")), 25);
  EXPECT_EQ(avi_test::CountFrames(temp.Path("my.dir/film1.avi")), 25);
  EXPECT_EQ(avi_test::CountFrames(temp.Path("my.dir/film2.avi")), 0);
  EXPECT_FALSE(std::filesystem::exists(temp.Path("my.dir/film3.avi")));

  r = Convert({"-q", "--split-mb", "2", "--aspect", "1:1", "-o", temp.Path("big.avi"), kSample});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  // 304128 bytes a frame: the file passes 2 MBytes with its 7th frame.
  EXPECT_EQ(avi_test::CountFrames(temp.Path("big0.avi")), 7);
  EXPECT_EQ(avi_test::CountFrames(temp.Path("big7.avi")), 1);
}

TEST(Cli, ADiskThatFillsUpIsAWriteError) {
  TempFiles temp;
  // A file size limit of 4 MBytes stands in for a full disk.
  std::string script = "ulimit -f 4096; exec '" + kConvert + "' -q -o '" + temp.Path("f.avi") +
                       "' '" + kSample + "'";
  CommandResult r = avi_test::RunCommand({"bash", "-c", script});
  EXPECT_EQ(r.exit_status, 4);
  EXPECT_EQ(r.err, Message("Error writing AVI-file."));
}

// Starts vidorlan-convert with `args` and returns its process id.
pid_t Start_Convert(std::vector<std::string> args) {
  args.insert(args.begin(), kConvert);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int Exit_Status_Of(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits up to 20 s for `done`.
bool Wait_For(const std::function<bool()>& done) {
  for (int i = 0; i < 2000 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

TEST(Cli, InterruptCancelsAndLeavesAReadableFile) {
  SKIP_WITHOUT_FFMPEG();
  TempFiles temp;
  std::string out = temp.Path("cut.avi");
  std::vector<std::string> args = {"-q", "--codec", "ffv1", "-o", out};
  for (int i = 0; i < 16; ++i) args.push_back(kSample);
  const pid_t pid = Start_Convert(args);
  ASSERT_GT(pid, 0);
  // Ctrl-C once frames are being written.
  EXPECT_TRUE(Wait_For([&] {
    std::error_code ec;
    const auto size = std::filesystem::file_size(out, ec);
    return !ec && size > (1 << 20);
  }));
  kill(pid, SIGINT);
  EXPECT_EQ(Exit_Status_Of(pid), 130);
  int64_t frames = avi_test::CountFrames(out);
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 800);
  EXPECT_EQ(avi_test::ProbeVideoStream(out)["nb_frames"], std::to_string(frames));
}

// Ctrl-C while the input is still being probed (here a pipe that never
// delivers) ends the program at once with 130, and nothing is written.
TEST(Cli, InterruptWhileProbingEndsAtOnce) {
  TempFiles temp;
  const std::string fifo = temp.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const pid_t pid = Start_Convert({"-q", "-o", temp.Path("out.avi"), fifo});
  ASSERT_GT(pid, 0);
  // The write end opens once the program has opened the read end; from then
  // on it waits in the probe for data.
  int writer = -1;
  EXPECT_TRUE(Wait_For([&] { return (writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }));
  kill(pid, SIGINT);
  EXPECT_EQ(Exit_Status_Of(pid), 130);
  if (writer >= 0) close(writer);
  EXPECT_FALSE(std::filesystem::exists(temp.Path("out.avi")));
}

}  // namespace
