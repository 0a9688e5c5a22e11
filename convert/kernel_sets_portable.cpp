#include "convert/kernel_setup.h"

// Processors without vectorised kernels.

std::span<const KernelSet> Vector_Kernel_Sets() {
  return {};
}
