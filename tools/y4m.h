// YUV4MPEG2 files: header and frame-line parsing, a reader that streams one
// frame at a time, a writer, and the comparison statistics of two frames.
//
// Only 8-bit formats are read: the chroma tags 420jpeg, 420mpeg2, 420paldv,
// 420 (all 4:2:0 sampling), 422, 444, 411 and mono. Malformed input is
// reported through the error text, never by reading out of bounds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace y4m {

enum class Sampling { k420, k422, k444, k411, kMono };

struct Header {
  int width = 0;
  int height = 0;
  Sampling sampling = Sampling::k420;
  std::string chroma_tag = "420jpeg";  // as written after 'C'
  int rate_numerator = 0;              // F, 0:0 when absent
  int rate_denominator = 0;
  char interlacing = '?';  // I: p, t, b, m or ?
  int aspect_numerator = 0;
  int aspect_denominator = 0;
};

// Header fields above this size are refused, so that a damaged header cannot
// ask for an absurd frame buffer.
inline constexpr int kMaxDimension = 1 << 15;
inline constexpr int64_t kMaxFrameBytes = int64_t{1} << 30;

int ChromaWidth(const Header& h);
int ChromaHeight(const Header& h);
// Bytes of one frame: Y plane, then Cb and Cr.
int64_t FrameBytes(const Header& h);

// The first line of a file without its newline, "YUV4MPEG2 W.. H.. ...".
// Returns an empty string on success, otherwise what is wrong.
std::string ParseHeader(std::string_view line, Header& header);

// A frame header line without its newline: "FRAME" and optional parameters.
std::string ParseFrameLine(std::string_view line);

// Sampling of the two headers are comparable: 4:2:0 tags differ only in
// chroma siting, not in the samples stored.
bool SameSampling(const Header& a, const Header& b);

class Reader {
 public:
  // `path` "-" reads standard input.
  std::string Open(const std::string& path);
  const Header& header() const { return header_; }
  // 1 when a frame was read into `frame` (FrameBytes long), 0 at a clean end
  // of file, -1 on malformed or truncated input (with `error` set).
  int ReadFrame(std::vector<uint8_t>& frame, std::string& error);

 private:
  struct Closer {
    void operator()(std::FILE* f) const;
  };
  // Reads up to a newline; false at end of file before any byte, or when
  // the line is longer than `limit` (then `too_long` is set).
  bool ReadLine(std::string& line, size_t limit, bool& too_long);

  std::unique_ptr<std::FILE, Closer> file_;
  Header header_;
};

// Writes the header and frames (planes tightly packed) to a file.
class Writer {
 public:
  std::string Open(const std::string& path, const Header& header);
  std::string WriteFrame(const uint8_t* y, const uint8_t* cb, const uint8_t* cr);
  std::string Close();

 private:
  struct Closer {
    void operator()(std::FILE* f) const;
  };
  std::unique_ptr<std::FILE, Closer> file_;
  Header header_;
};

// Per-plane squared error and largest difference of one frame pair.
struct PlaneDifference {
  uint64_t squared_error = 0;
  uint64_t samples = 0;
  int max_difference = 0;
  int max_x = 0;  // position of the first largest difference
  int max_y = 0;
};

// Compares two frames of the same header layout.
void CompareFrame(const Header& h, const uint8_t* a, const uint8_t* b, PlaneDifference out[3]);

// PSNR in dB for 8-bit samples; +infinity when the error is zero.
double Psnr(uint64_t squared_error, uint64_t samples);

}  // namespace y4m
