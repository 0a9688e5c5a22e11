#include "tools/y4m.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace y4m {
namespace {

constexpr std::string_view kMagic = "YUV4MPEG2";
constexpr std::string_view kFrameTag = "FRAME";
constexpr size_t kMaxLineLength = 4096;

// A decimal number of at most 9 digits, nothing else.
bool ParseCount(std::string_view text, int& value) {
  if (text.empty() || text.size() > 9) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

bool ParseRatio(std::string_view text, int& numerator, int& denominator) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  return ParseCount(text.substr(0, colon), numerator) &&
         ParseCount(text.substr(colon + 1), denominator);
}

bool SamplingFromTag(std::string_view tag, Sampling& sampling) {
  if (tag == "420jpeg" || tag == "420mpeg2" || tag == "420paldv" || tag == "420") {
    sampling = Sampling::k420;
  } else if (tag == "422") {
    sampling = Sampling::k422;
  } else if (tag == "444") {
    sampling = Sampling::k444;
  } else if (tag == "411") {
    sampling = Sampling::k411;
  } else if (tag == "mono") {
    sampling = Sampling::kMono;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int ChromaWidth(const Header& h) {
  switch (h.sampling) {
    case Sampling::k420:
    case Sampling::k422:
      return (h.width + 1) / 2;
    case Sampling::k411:
      return (h.width + 3) / 4;
    case Sampling::k444:
      return h.width;
    case Sampling::kMono:
      return 0;
  }
  return 0;
}

int ChromaHeight(const Header& h) {
  switch (h.sampling) {
    case Sampling::k420:
      return (h.height + 1) / 2;
    case Sampling::k422:
    case Sampling::k411:
    case Sampling::k444:
      return h.height;
    case Sampling::kMono:
      return 0;
  }
  return 0;
}

int64_t FrameBytes(const Header& h) {
  return int64_t{h.width} * h.height + 2 * int64_t{ChromaWidth(h)} * ChromaHeight(h);
}

std::string ParseHeader(std::string_view line, Header& header) {
  if (line.substr(0, kMagic.size()) != kMagic) return "not a YUV4MPEG2 file";
  if (line.size() > kMagic.size() && line[kMagic.size()] != ' ') return "not a YUV4MPEG2 file";
  Header h;
  bool have_width = false;
  bool have_height = false;
  std::string_view rest = line.substr(kMagic.size());
  while (!rest.empty()) {
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    rest = rest.substr(start);
    const size_t end = rest.find(' ');
    const std::string_view token = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    const std::string_view value = token.substr(1);
    switch (token[0]) {
      case 'W':
        if (!ParseCount(value, h.width) || h.width < 1 || h.width > kMaxDimension) {
          return "bad width in header";
        }
        have_width = true;
        break;
      case 'H':
        if (!ParseCount(value, h.height) || h.height < 1 || h.height > kMaxDimension) {
          return "bad height in header";
        }
        have_height = true;
        break;
      case 'F':
        if (!ParseRatio(value, h.rate_numerator, h.rate_denominator)) return "bad frame rate";
        break;
      case 'A':
        if (!ParseRatio(value, h.aspect_numerator, h.aspect_denominator)) return "bad aspect";
        break;
      case 'I':
        if (value.size() != 1 ||
            std::string_view("ptbm?").find(value[0]) == std::string_view::npos) {
          return "bad interlacing";
        }
        h.interlacing = value[0];
        break;
      case 'C':
        if (!SamplingFromTag(value, h.sampling)) {
          return "unsupported chroma format C" + std::string(value);
        }
        h.chroma_tag = std::string(value);
        break;
      default:
        break;  // X and unknown fields carry nothing needed here
    }
  }
  if (!have_width || !have_height) return "header without W and H";
  if (FrameBytes(h) > kMaxFrameBytes) return "frame size too large";
  header = h;
  return {};
}

std::string ParseFrameLine(std::string_view line) {
  if (line.substr(0, kFrameTag.size()) != kFrameTag) return "missing FRAME marker";
  if (line.size() > kFrameTag.size() && line[kFrameTag.size()] != ' ') {
    return "missing FRAME marker";
  }
  return {};
}

bool SameSampling(const Header& a, const Header& b) {
  return a.sampling == b.sampling;
}

void Reader::Closer::operator()(std::FILE* f) const {
  if (f != nullptr && f != stdin) std::fclose(f);
}

bool Reader::ReadLine(std::string& line, size_t limit, bool& too_long) {
  line.clear();
  too_long = false;
  for (;;) {
    const int c = std::fgetc(file_.get());
    if (c == EOF) return false;
    if (c == '\n') return true;
    if (line.size() >= limit) {
      too_long = true;
      return false;
    }
    line.push_back(static_cast<char>(c));
  }
}

std::string Reader::Open(const std::string& path) {
  file_.reset(path == "-" ? stdin : std::fopen(path.c_str(), "rb"));
  if (!file_) return "cannot open " + path;
  std::string line;
  bool too_long = false;
  if (!ReadLine(line, kMaxLineLength, too_long)) {
    return too_long ? "header line too long" : "no complete header line";
  }
  return ParseHeader(line, header_);
}

int Reader::ReadFrame(std::vector<uint8_t>& frame, std::string& error) {
  if (!file_) {
    error = "file not open";
    return -1;
  }
  std::string line;
  bool too_long = false;
  if (!ReadLine(line, kMaxLineLength, too_long)) {
    if (!too_long && line.empty()) return 0;
    error = too_long ? "frame line too long" : "truncated frame line";
    return -1;
  }
  error = ParseFrameLine(line);
  if (!error.empty()) return -1;
  frame.resize(static_cast<size_t>(FrameBytes(header_)));
  if (std::fread(frame.data(), 1, frame.size(), file_.get()) != frame.size()) {
    error = "truncated frame data";
    return -1;
  }
  return 1;
}

void Writer::Closer::operator()(std::FILE* f) const {
  if (f != nullptr && f != stdout) std::fclose(f);
}

std::string Writer::Open(const std::string& path, const Header& header) {
  file_.reset(path == "-" ? stdout : std::fopen(path.c_str(), "wb"));
  if (!file_) return "cannot create " + path;
  header_ = header;
  std::fprintf(file_.get(), "YUV4MPEG2 W%d H%d F%d:%d I%c A%d:%d C%s\n", header.width,
               header.height, header.rate_numerator, header.rate_denominator, header.interlacing,
               header.aspect_numerator, header.aspect_denominator, header.chroma_tag.c_str());
  return std::ferror(file_.get()) ? "write error" : "";
}

std::string Writer::WriteFrame(const uint8_t* y, const uint8_t* cb, const uint8_t* cr) {
  if (!file_) return "file not open";
  const size_t luma = static_cast<size_t>(header_.width) * header_.height;
  const size_t chroma = static_cast<size_t>(ChromaWidth(header_)) * ChromaHeight(header_);
  std::fputs("FRAME\n", file_.get());
  std::fwrite(y, 1, luma, file_.get());
  if (chroma > 0) {
    std::fwrite(cb, 1, chroma, file_.get());
    std::fwrite(cr, 1, chroma, file_.get());
  }
  return std::ferror(file_.get()) ? "write error" : "";
}

std::string Writer::Close() {
  if (!file_) return {};
  const bool failed = std::fflush(file_.get()) != 0 || std::ferror(file_.get());
  file_.reset();
  return failed ? "write error" : "";
}

void CompareFrame(const Header& h, const uint8_t* a, const uint8_t* b, PlaneDifference out[3]) {
  const int widths[3] = {h.width, ChromaWidth(h), ChromaWidth(h)};
  const int heights[3] = {h.height, ChromaHeight(h), ChromaHeight(h)};
  size_t offset = 0;
  for (int p = 0; p < 3; ++p) {
    PlaneDifference d;
    for (int y = 0; y < heights[p]; ++y) {
      for (int x = 0; x < widths[p]; ++x) {
        const int diff = std::abs(int{a[offset]} - int{b[offset]});
        d.squared_error += static_cast<uint64_t>(diff * diff);
        if (diff > d.max_difference) {
          d.max_difference = diff;
          d.max_x = x;
          d.max_y = y;
        }
        ++offset;
      }
    }
    d.samples = static_cast<uint64_t>(widths[p]) * static_cast<uint64_t>(heights[p]);
    out[p] = d;
  }
}

double Psnr(uint64_t squared_error, uint64_t samples) {
  if (squared_error == 0 || samples == 0) return std::numeric_limits<double>::infinity();
  const double mse = static_cast<double>(squared_error) / static_cast<double>(samples);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace y4m
