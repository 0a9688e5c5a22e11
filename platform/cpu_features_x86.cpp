#include "platform/cpu_features.h"

// x86: the compiler's CPUID query, which also checks that the operating
// system saves the wider registers.

SimdLevel Detect_Simd_Level() {
  __builtin_cpu_init();
  if (!__builtin_cpu_supports("sse2")) return SimdLevel::kPortable;
  if (!__builtin_cpu_supports("ssse3") || !__builtin_cpu_supports("sse4.1")) {
    return SimdLevel::kSse2;
  }
  if (!__builtin_cpu_supports("avx2")) return SimdLevel::kSse41;
  if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512bw") ||
      !__builtin_cpu_supports("avx512vl") || !__builtin_cpu_supports("avx512vbmi")) {
    return SimdLevel::kAvx2;
  }
  return SimdLevel::kAvx512;
}

bool Cpu_Has_Mmx() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("mmx") != 0;
}
