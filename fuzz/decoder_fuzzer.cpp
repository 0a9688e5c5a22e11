// libFuzzer target: the decoder from open to the end of the input, which is
// cut into one to four files at offsets taken from the data. Every frame due
// for display is looked at, as the y4m output does.
#include <cstdlib>

#include "decoder/decoder.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Drop_Decoder_Diagnostics();
  FuzzControl control(data, size);
  const int files = 1 + (control.Byte() & 3);
  FuzzFiles input(control, files);
  if (Decoder_Open(input.list()) == DECODER_OK &&
      int64_t{Decoder_Coded_Width()} * Decoder_Coded_Height() <= kFuzzMaxPixels) {
    unsigned sum = 0;
    for (int frame = 0; frame < 60; ++frame) {
      const int result = Decoder_Next_Picture();
      FrameStore store;
      int progressive = 0;
      if (Display_Store(result == DECODER_END_OF_SEQUENCE, &store, &progressive)) {
        // Touch the first and last sample of each plane.
        sum += store.plane[0][0] + store.plane[1][0] + store.plane[2][0];
        sum += store.plane[0][Decoder_Coded_Width() * Decoder_Coded_Height() - 1];
      }
      if (result != DECODER_OK) break;
    }
    if (sum == 0xFFFFFFFF) std::abort();  // keeps the reads
  }
  Decoder_Close();
  return 0;
}
