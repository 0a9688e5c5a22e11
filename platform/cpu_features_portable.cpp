#include "platform/cpu_features.h"

// Processors without vectorised kernels: the portable ones run everywhere.

SimdLevel Detect_Simd_Level() {
  return SimdLevel::kPortable;
}

bool Cpu_Has_Mmx() {
  return true;
}
