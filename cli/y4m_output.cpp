#include "cli/y4m_output.h"

#include "decoder/decoder.h"

namespace {

const char* Frame_Rate_Fraction(int frame_rate_code) {
  switch (frame_rate_code) {
    case 1:
      return "24000:1001";
    case 2:
      return "24:1";
    case 4:
      return "30000:1001";
    case 5:
      return "30:1";
    case 6:
      return "50:1";
    case 7:
      return "60000:1001";
    case 8:
      return "60:1";
    default:
      return "25:1";
  }
}

struct PlaneArea {
  int width;
  int height;
  int stride;
};

class Y4mWriter {
 public:
  explicit Y4mWriter(std::FILE* out) : out_(out) {
    const DecoderState& d = decoder_state;
    const int w = d.horizontal_size;
    const int h = d.vertical_size;
    const int cw = d.chroma_format == CHROMA_444 ? w : (w + 1) / 2;
    const int ch = d.chroma_format == CHROMA_420 ? (h + 1) / 2 : h;
    areas_[0] = {w, h, d.coded_width};
    areas_[1] = areas_[2] = {cw, ch, d.chroma_width};
    const char* colour = d.chroma_format == CHROMA_444   ? "C444"
                         : d.chroma_format == CHROMA_422 ? "C422"
                         : d.bitstream.is_mpeg2          ? "C420mpeg2"
                                                         : "C420jpeg";
    const char* interlace = d.progressive_sequence ? "Ip" : d.frame_top_field_first ? "It" : "Ib";
    ok_ = std::fprintf(out_, "YUV4MPEG2 W%d H%d F%s %s A0:0 %s\n", w, h,
                       Frame_Rate_Fraction(d.frame_rate_code), interlace, colour) > 0;
  }

  bool Write_Frame(const FrameStore& store) {
    ok_ = ok_ && std::fputs("FRAME\n", out_) >= 0;
    for (int p = 0; p < 3 && ok_; ++p) {
      const PlaneArea& a = areas_[p];
      const uint8_t* row = store.plane[p];
      // Rows without padding between them go out in one write, which a
      // stream writes straight from the plane when it is larger than the
      // stream's buffer.
      const int rows_at_once = a.width == a.stride ? a.height : 1;
      const size_t bytes = static_cast<size_t>(a.width) * static_cast<size_t>(rows_at_once);
      for (int y = 0; y < a.height && ok_; y += rows_at_once, row += a.stride * rows_at_once) {
        ok_ = std::fwrite(row, 1, bytes, out_) == bytes;
      }
    }
    return ok_;
  }

  bool ok() const { return ok_; }

 private:
  std::FILE* out_;
  PlaneArea areas_[3];
  bool ok_;
};

}  // namespace

Y4mResult Write_Y4m(std::FILE* out, long frame_limit, const std::atomic<bool>* stop) {
  Y4mResult result = Y4mResult::kDone;
  {
    Y4mWriter writer(out);
    long written = 0;
    while (writer.ok() && (frame_limit < 0 || written < frame_limit)) {
      if (stop->load(std::memory_order_relaxed)) {
        result = Y4mResult::kInterrupted;
        break;
      }
      int r = Decoder_Next_Picture();
      if (r != DECODER_OK && r != DECODER_END_OF_SEQUENCE) {
        result = Y4mResult::kReadError;
        break;
      }
      FrameStore store;
      int progressive = 0;
      if (Display_Store(r == DECODER_END_OF_SEQUENCE, &store, &progressive)) {
        if (!writer.Write_Frame(store)) break;
        ++written;
      }
      if (r == DECODER_END_OF_SEQUENCE) break;
    }
    if (!writer.ok()) result = Y4mResult::kWriteError;
  }
  if (std::fflush(out) != 0 && result == Y4mResult::kDone) result = Y4mResult::kWriteError;
  return result;
}
