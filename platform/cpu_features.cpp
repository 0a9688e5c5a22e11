#include "platform/cpu_features.h"

const char* Simd_Level_Name(SimdLevel level) {
  switch (level) {
    case SimdLevel::kPortable:
      return "portable";
    case SimdLevel::kSse2:
      return "sse2";
    case SimdLevel::kSse41:
      return "sse41";
    case SimdLevel::kAvx2:
      return "avx2";
    case SimdLevel::kAvx512:
      return "avx512";
  }
  return "portable";
}
