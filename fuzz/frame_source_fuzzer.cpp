// libFuzzer target: the frame source with the crop band, display shape and
// deinterlacing taken from the data, including bands the start checks would
// refuse.
#include <vector>

#include "convert/conversion_job.h"
#include "convert/frame_builder.h"
#include "convert/frame_source.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Drop_Decoder_Diagnostics();
  FuzzControl control(data, size);
  const uint8_t shape = control.Byte();
  const int crop_top_choice = static_cast<int8_t>(control.Byte());
  const int crop_height_choice = static_cast<int8_t>(control.Byte());
  FuzzFiles input(control, 1 + ((shape >> 4) & 1));

  FrameSource source;
  if (source.Open(input.list()) != 0) return 0;
  const StreamInfo& info = source.stream_info;
  if (int64_t{info.coded_width} * info.coded_height <= kFuzzMaxPixels) {
    // Bands from well inside to past either end of the picture.
    const int crop_top = crop_top_choice * info.coded_height / 64;
    const int crop_height = info.coded_height + crop_height_choice * info.coded_height / 64;
    const int out_height =
        Output_Height(shape & 3, crop_height, info.coded_width, info.coded_height);
    if (out_height > 0 && out_height <= 2 * info.coded_height) {
      std::vector<uint8_t> frame(static_cast<size_t>(out_height) * info.coded_width * 3);
      FrameBuilder builder;
      if (!builder.Allocate(info.coded_width)) return 0;
      for (int i = 0; i < 30 && source.NextPicture() == 0; ++i) {
        builder.Build(source.Picture(), crop_top, out_height, crop_height, shape & 4, frame.data());
      }
    }
  }
  source.Close();
  return 0;
}
