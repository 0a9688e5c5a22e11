#include "convert/kernel_setup.h"

SimdLevel Install_Kernels(KernelChoice choice) {
  idct_kernels = portable_idct_kernels;
  prediction_kernels = portable_prediction_kernels;
  chroma_upsample_kernels = portable_chroma_upsample_kernels;
  colour_convert_kernels = portable_colour_convert_kernels;
  row_blend_kernels = portable_row_blend_kernels;
  pixel_order_kernels = portable_pixel_order_kernels;
  yuv420_kernels = portable_yuv420_kernels;
  SimdLevel installed = SimdLevel::kPortable;
  if (choice == KernelChoice::kPortable) return installed;

  const SimdLevel processor = Detect_Simd_Level();
  for (const KernelSet& set : Vector_Kernel_Sets()) {
    if (set.level > processor) break;
    if (set.idct) idct_kernels = *set.idct;
    if (set.prediction) prediction_kernels = *set.prediction;
    if (set.chroma_upsample) chroma_upsample_kernels = *set.chroma_upsample;
    if (set.colour_convert) colour_convert_kernels = *set.colour_convert;
    if (set.row_blend) row_blend_kernels = *set.row_blend;
    if (set.pixel_order) pixel_order_kernels = *set.pixel_order;
    if (set.yuv420) yuv420_kernels = *set.yuv420;
    installed = set.level;
  }
  return installed;
}
