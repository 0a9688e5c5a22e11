// What the processor offers the vectorised kernels.
//
// The levels build on each other: a processor at one level has every feature
// of the levels below it, so one number says which kernel sets it can run.
#pragma once

enum class SimdLevel {
  kPortable,  // plain C++ only (processors without vectorised kernels)
  kSse2,      // the x86-64 baseline
  kSse41,     // byte shuffles (pshufb, SSSE3) and 32-bit multiplies (SSE4.1)
  kAvx2,      // 256-bit integer vectors
  kAvx512,    // AVX-512 F, BW, VL and VBMI (512-bit vectors, byte permutes)
};

// The highest level this processor and its operating system support.
SimdLevel Detect_Simd_Level();

// "portable", "sse2", "sse41", "avx2" or "avx512".
const char* Simd_Level_Name(SimdLevel level);

// True when the processor has MMX, the least the desktop application asks
// for; processors that are not x86 pass.
bool Cpu_Has_Mmx();
