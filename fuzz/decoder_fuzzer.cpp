// libFuzzer target: any bytes as a one- or two-file input, decoded to the
// end (at most a few dozen frames) and turned into output frames.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "convert/frame_source.h"

namespace {

std::string Write_Temp(const char* name, const uint8_t* data, size_t size) {
  std::string path = "/dev/shm/vidorlan_fuzz_" + std::to_string(getpid()) + "_" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte chooses where the input is cut into two files and the
  // output frame's geometry.
  if (size < 1) return 0;
  const uint8_t control = data[0];
  ++data;
  --size;
  size_t cut = size * (control & 0x0F) / 16;
  std::string a = Write_Temp("a", data, cut);
  std::string b = Write_Temp("b", data + cut, size - cut);
  const char* paths[] = {a.c_str(), b.c_str(), nullptr};

  FrameSource source;
  if (source.Open(paths) == 0) {
    const StreamInfo& info = source.stream_info;
    const int64_t pixels = int64_t{info.coded_width} * info.coded_height;
    if (pixels <= 1920 * 1088) {
      int crop_top = (control >> 4) & 3 ? info.coded_height / 4 : 0;
      int crop_height = info.coded_height - crop_top;
      int out_height = (control & 0x40) ? crop_height + 16 : crop_height;
      std::vector<uint8_t> frame(static_cast<size_t>(out_height) * info.coded_width * 3);
      for (int i = 0; i < 40; ++i) {
        if (source.NextFrame(frame.data(), crop_top, out_height, crop_height, control & 0x80) !=
            0) {
          break;
        }
      }
    }
    source.Close();
  }
  unlink(a.c_str());
  unlink(b.c_str());
  return 0;
}
