// vidorlan-y4m-compare: compares two YUV4MPEG2 files frame by frame.
//
//   vidorlan-y4m-compare A.y4m B.y4m [--max-diff N] [--min-psnr DB]
//                        [--min-frame-psnr DB] [--exact]
//
// Prints the frame count, the mean PSNR of each plane (from the squared
// error over all frames), the lowest PSNR of a frame (all planes together)
// and the largest sample difference. Exit status: 0 when the files have the
// same frame count and size and every given limit holds, 1 when not, 2 when
// an input cannot be read or the command line is wrong.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "tools/y4m.h"

namespace {

constexpr int kPass = 0;
constexpr int kFail = 1;
constexpr int kUnreadable = 2;

struct Limits {
  int max_difference = -1;  // -1: no limit
  double min_psnr = -std::numeric_limits<double>::infinity();
  double min_frame_psnr = -std::numeric_limits<double>::infinity();
};

int Usage() {
  std::fprintf(stderr,
               "usage: vidorlan-y4m-compare A.y4m B.y4m [--max-diff N] [--min-psnr DB] "
               "[--min-frame-psnr DB] [--exact]\n");
  return kUnreadable;
}

bool ParseInt(const char* text, int& value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < 0 || v > 255) return false;
  value = static_cast<int>(v);
  return true;
}

bool ParseDouble(const char* text, double& value) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || std::isnan(v)) return false;
  value = v;
  return true;
}

std::string FormatPsnr(double psnr) {
  if (std::isinf(psnr)) return "inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", psnr);
  return text;
}

// Counts the frames left in `reader`; -1 when the rest is malformed.
int CountRemaining(y4m::Reader& reader, std::vector<uint8_t>& buffer, std::string& error) {
  int count = 0;
  for (;;) {
    const int r = reader.ReadFrame(buffer, error);
    if (r < 0) return -1;
    if (r == 0) return count;
    ++count;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  Limits limits;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--exact") {
      limits.max_difference = 0;
    } else if (arg == "--max-diff" && i + 1 < argc) {
      if (!ParseInt(argv[++i], limits.max_difference)) return Usage();
    } else if (arg == "--min-psnr" && i + 1 < argc) {
      if (!ParseDouble(argv[++i], limits.min_psnr)) return Usage();
    } else if (arg == "--min-frame-psnr" && i + 1 < argc) {
      if (!ParseDouble(argv[++i], limits.min_frame_psnr)) return Usage();
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage();
    } else {
      files.emplace_back(arg);
    }
  }
  if (files.size() != 2) return Usage();

  y4m::Reader readers[2];
  for (int k = 0; k < 2; ++k) {
    const std::string error = readers[k].Open(files[k]);
    if (!error.empty()) {
      std::fprintf(stderr, "vidorlan-y4m-compare: %s: %s\n", files[k].c_str(), error.c_str());
      return kUnreadable;
    }
  }
  const y4m::Header& a = readers[0].header();
  const y4m::Header& b = readers[1].header();
  if (a.width != b.width || a.height != b.height || !y4m::SameSampling(a, b)) {
    std::printf("size differs: %dx%d C%s against %dx%d C%s\n", a.width, a.height,
                a.chroma_tag.c_str(), b.width, b.height, b.chroma_tag.c_str());
    return kFail;
  }

  std::vector<uint8_t> frames[2];
  uint64_t plane_error[3] = {};
  uint64_t plane_samples[3] = {};
  int max_difference = 0;
  int max_frame = 0;
  int max_plane = 0;
  int max_x = 0;
  int max_y = 0;
  double lowest_frame_psnr = std::numeric_limits<double>::infinity();
  int lowest_frame = 0;
  int count = 0;
  for (;;) {
    std::string error;
    int got[2];
    for (int k = 0; k < 2; ++k) {
      got[k] = readers[k].ReadFrame(frames[k], error);
      if (got[k] < 0) {
        std::fprintf(stderr, "vidorlan-y4m-compare: %s: frame %d: %s\n", files[k].c_str(), count,
                     error.c_str());
        return kUnreadable;
      }
    }
    if (got[0] == 0 && got[1] == 0) break;
    if (got[0] != got[1]) {
      const int longer = got[0] ? 0 : 1;
      const int rest = CountRemaining(readers[longer], frames[longer], error);
      if (rest < 0) {
        std::fprintf(stderr, "vidorlan-y4m-compare: %s: %s\n", files[longer].c_str(),
                     error.c_str());
        return kUnreadable;
      }
      const int counts[2] = {longer == 0 ? count + 1 + rest : count,
                             longer == 1 ? count + 1 + rest : count};
      std::printf("frame count differs: %d against %d\n", counts[0], counts[1]);
      return kFail;
    }
    y4m::PlaneDifference d[3];
    y4m::CompareFrame(a, frames[0].data(), frames[1].data(), d);
    uint64_t frame_error = 0;
    uint64_t frame_samples = 0;
    for (int p = 0; p < 3; ++p) {
      plane_error[p] += d[p].squared_error;
      plane_samples[p] += d[p].samples;
      frame_error += d[p].squared_error;
      frame_samples += d[p].samples;
      if (d[p].max_difference > max_difference) {
        max_difference = d[p].max_difference;
        max_frame = count;
        max_plane = p;
        max_x = d[p].max_x;
        max_y = d[p].max_y;
      }
    }
    const double psnr = y4m::Psnr(frame_error, frame_samples);
    if (psnr < lowest_frame_psnr) {
      lowest_frame_psnr = psnr;
      lowest_frame = count;
    }
    ++count;
  }

  static const char* const kPlaneNames[3] = {"Y", "Cb", "Cr"};
  std::printf("frames: %d, size %dx%d C%s\n", count, a.width, a.height, a.chroma_tag.c_str());
  double plane_psnr[3];
  for (int p = 0; p < 3; ++p) plane_psnr[p] = y4m::Psnr(plane_error[p], plane_samples[p]);
  std::printf("mean PSNR: Y %s dB, Cb %s dB, Cr %s dB\n", FormatPsnr(plane_psnr[0]).c_str(),
              FormatPsnr(plane_psnr[1]).c_str(), FormatPsnr(plane_psnr[2]).c_str());
  if (count > 0) {
    std::printf("lowest frame PSNR: %s dB (frame %d)\n", FormatPsnr(lowest_frame_psnr).c_str(),
                lowest_frame);
  }
  if (max_difference > 0) {
    std::printf("largest difference: %d (frame %d, %s plane, x %d, y %d)\n", max_difference,
                max_frame, kPlaneNames[max_plane], max_x, max_y);
  } else {
    std::printf("largest difference: 0\n");
  }

  int result = kPass;
  if (limits.max_difference >= 0 && max_difference > limits.max_difference) {
    std::printf("FAIL: largest difference %d exceeds %d\n", max_difference, limits.max_difference);
    result = kFail;
  }
  for (int p = 0; p < 3; ++p) {
    if (plane_samples[p] > 0 && plane_psnr[p] < limits.min_psnr) {
      std::printf("FAIL: %s mean PSNR %s dB below %.2f dB\n", kPlaneNames[p],
                  FormatPsnr(plane_psnr[p]).c_str(), limits.min_psnr);
      result = kFail;
    }
  }
  if (count > 0 && lowest_frame_psnr < limits.min_frame_psnr) {
    std::printf("FAIL: frame %d PSNR %s dB below %.2f dB\n", lowest_frame,
                FormatPsnr(lowest_frame_psnr).c_str(), limits.min_frame_psnr);
    result = kFail;
  }
  return result;
}
