#include "convert/kernel_setup.h"

// x86-64: SSE2 is part of the architecture; the wider levels are chosen at
// run time.

namespace {

constexpr KernelSet kSets[] = {
    {SimdLevel::kSse2, &idct_kernels_sse2, &prediction_kernels_sse2, &chroma_upsample_kernels_sse2,
     nullptr, &row_blend_kernels_sse2, nullptr, nullptr},
    {SimdLevel::kSse41, nullptr, nullptr, nullptr, &colour_convert_kernels_sse41, nullptr,
     &pixel_order_kernels_sse41, &yuv420_kernels_sse41},
    {SimdLevel::kAvx2, &idct_kernels_avx2, nullptr, &chroma_upsample_kernels_avx2,
     &colour_convert_kernels_avx2, nullptr, nullptr, &yuv420_kernels_avx2},
    {SimdLevel::kAvx512, nullptr, nullptr, nullptr, &colour_convert_kernels_avx512, nullptr,
     nullptr, nullptr},
};

}  // namespace

std::span<const KernelSet> Vector_Kernel_Sets() {
  return kSets;
}
