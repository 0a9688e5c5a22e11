// Test support for the AVI output: synthetic frames, and reading written
// files back with the ffprobe and ffmpeg commands, the independent reference
// for what this project writes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace avi_test {

struct CommandResult {
  int exit_status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

// Runs a program found on PATH with `args` (args[0] is its name), standard
// input from /dev/null, and collects its output.
inline CommandResult RunCommand(const std::vector<std::string>& args) {
  CommandResult result;
  char err_template[] = "/tmp/avi_test_stderr_XXXXXX";
  int err_fd = mkstemp(err_template);
  if (err_fd < 0) return result;
  int out_pipe[2];
  if (pipe(out_pipe) != 0) {
    close(err_fd);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  if (spawned == 0) {
    char buffer[1 << 16];
    ssize_t n;
    while ((n = read(out_pipe[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, n);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  close(out_pipe[0]);
  close(err_fd);
  result.err = ReadWholeFile(err_template);
  unlink(err_template);
  return result;
}

inline bool HaveFfmpegTools() {
  static const bool have = RunCommand({"ffprobe", "-version"}).exit_status == 0 &&
                           RunCommand({"ffmpeg", "-version"}).exit_status == 0;
  return have;
}

#define SKIP_WITHOUT_FFMPEG() \
  if (!avi_test::HaveFfmpegTools()) GTEST_SKIP() << "ffprobe/ffmpeg not installed"

// key=value lines of ffprobe about the first video stream: codec_name,
// codec_tag_string, width, height, r_frame_rate, nb_frames, TAG:title.
inline std::map<std::string, std::string> ProbeVideoStream(const std::string& path) {
  CommandResult r = RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                "stream=codec_name,codec_tag_string,width,height,r_frame_rate,"
                                "nb_frames:stream_tags=title",
                                "-of", "default=noprint_wrappers=1", path});
  std::map<std::string, std::string> values;
  if (r.exit_status != 0) return values;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  if (!r.err.empty()) values["errors"] = r.err;
  return values;
}

// Frames a full read of the stream finds (-count_frames), -1 on failure.
// ffprobe says "N/A" for a stream in which it found no frame.
inline int64_t CountFrames(const std::string& path, std::string* errors = nullptr) {
  CommandResult r = RunCommand({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                                "-show_entries", "stream=nb_read_frames", "-of",
                                "default=noprint_wrappers=1:nokey=1", path});
  if (errors) *errors = r.err;
  if (r.exit_status != 0) return -1;
  if (r.out.rfind("N/A", 0) == 0) return 0;
  try {
    return std::stoll(r.out);
  } catch (...) {
    return -1;
  }
}

// The key-frame flag of every packet of the stream, in file order.
inline std::vector<bool> PacketKeyFlags(const std::string& path) {
  CommandResult r = RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                "packet=flags", "-of", "csv=p=0", path});
  std::vector<bool> flags;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) flags.push_back(line.find('K') != std::string::npos);
  return flags;
}

// All frames decoded to 24-bit B, G, R, top row first, as ffmpeg gives
// them. Decoding errors land in `errors`.
inline std::vector<uint8_t> DecodeToBgr(const std::string& path, std::string* errors = nullptr) {
  CommandResult r = RunCommand({"ffmpeg", "-v", "error", "-nostdin", "-i", path, "-f", "rawvideo",
                                "-pix_fmt", "bgr24", "-fps_mode", "passthrough", "-"});
  if (errors) *errors = r.err;
  return std::vector<uint8_t>(r.out.begin(), r.out.end());
}

// Decodes the stream to 24-bit B, G, R frames of `frame_bytes` and hands
// them to `on_frame` one at a time (top row first), without holding the
// whole video in memory. Returns the number of frames, -1 when ffmpeg
// failed or the output ended inside a frame.
inline int64_t ForEachDecodedFrame(const std::string& path, size_t frame_bytes,
                                   const std::function<void(int64_t, const uint8_t*)>& on_frame) {
  const std::string command = "ffmpeg -v error -nostdin -i '" + path +
                              "' -f rawvideo -pix_fmt bgr24 -fps_mode passthrough -";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::vector<uint8_t> frame(frame_bytes);
  int64_t count = 0;
  size_t got = 0;
  size_t n;
  while ((n = std::fread(frame.data() + got, 1, frame_bytes - got, pipe)) > 0) {
    got += n;
    if (got == frame_bytes) {
      on_frame(count++, frame.data());
      got = 0;
    }
  }
  const int status = pclose(pipe);
  if (status != 0 || got != 0) return -1;
  return count;
}

// Limits the size of any file this process writes (as a nearly full disk
// would), for the lifetime of the object. Writes past the limit fail with
// EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t previous_handler_;
};

// A frame in the writer's layout (B, G, R; the bottom row first) with
// smooth gradients, a box that moves with `index` and some texture, so that
// every encoder has work to do and orientation errors show.
inline std::vector<uint8_t> MakeFrame(int width, int height, int index) {
  std::vector<uint8_t> frame(size_t{3} * width * height);
  std::mt19937 rng(static_cast<unsigned>(index) * 7919u + 1);
  const int box_x = (index * 5) % std::max(1, width - 16);
  const int box_y = (index * 3) % std::max(1, height - 16);
  for (int y = 0; y < height; ++y) {  // y counts from the top of the picture
    uint8_t* row = frame.data() + size_t{3} * width * (height - 1 - y);
    for (int x = 0; x < width; ++x) {
      int b = (x * 255) / std::max(1, width - 1);
      int g = (y * 255) / std::max(1, height - 1);
      int r = ((x + y + index * 4) * 3) & 0xFF;
      if (x >= box_x && x < box_x + 16 && y >= box_y && y < box_y + 16) b = g = r = 240;
      if (y < 2) r = 250, g = 10, b = 10;  // top rows: red
      int noise = static_cast<int>(rng() % 5) - 2;
      row[3 * x + 0] = static_cast<uint8_t>(std::clamp(b + noise, 0, 255));
      row[3 * x + 1] = static_cast<uint8_t>(std::clamp(g + noise, 0, 255));
      row[3 * x + 2] = static_cast<uint8_t>(std::clamp(r + noise, 0, 255));
    }
  }
  return frame;
}

// The frame as a top-down image, the way decoders hand it out.
inline std::vector<uint8_t> TopDown(const std::vector<uint8_t>& bottom_up, int width, int height) {
  std::vector<uint8_t> out(bottom_up.size());
  const size_t row = size_t{3} * width;
  for (int y = 0; y < height; ++y)
    std::copy_n(bottom_up.data() + row * (height - 1 - y), row, out.data() + row * y);
  return out;
}

inline double Psnr(const uint8_t* a, const uint8_t* b, size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
    sum += d * d;
  }
  if (sum == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * n / sum);
}

// A fresh directory for one test's files, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char templ[] = "/tmp/vidorlan_avi_XXXXXX";
    const char* made = mkdtemp(templ);
    path_ = made ? made : "";
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace avi_test
