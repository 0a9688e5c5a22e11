#include "platform/pixel_order.h"

namespace {

void Swap_Outer_Bytes(const uint8_t* in, uint8_t* out, int count) {
  for (int i = 0; i < 3 * count; i += 3) {
    out[i] = in[i + 2];
    out[i + 1] = in[i + 1];
    out[i + 2] = in[i];
  }
}

}  // namespace

const PixelOrderKernels portable_pixel_order_kernels = {Swap_Outer_Bytes};
PixelOrderKernels pixel_order_kernels = portable_pixel_order_kernels;
