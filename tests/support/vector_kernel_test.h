// Tests run once per vectorised kernel set of this build (none where only
// the portable kernels are built); a set the processor cannot run is skipped
// and says so.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "convert/kernel_setup.h"
#include "platform/cpu_features.h"

// gtest names a set by its level in messages.
inline void PrintTo(const KernelSet& set, std::ostream* os) {
  *os << Simd_Level_Name(set.level);
}

class VectorKernelTest : public testing::TestWithParam<KernelSet> {
 protected:
  void SetUp() override {
    if (GetParam().level > Detect_Simd_Level()) {
      GTEST_SKIP() << Simd_Level_Name(GetParam().level) << " is not available on this processor";
    }
  }
};

// The kernel sets of this build that have kernels of one family.
template <typename Family>
std::vector<KernelSet> Sets_With(const Family* KernelSet::*family) {
  std::vector<KernelSet> sets;
  for (const KernelSet& set : Vector_Kernel_Sets()) {
    if (set.*family != nullptr) sets.push_back(set);
  }
  return sets;
}

// Instantiates the tests of `fixture` (derived from VectorKernelTest) once
// per kernel set with kernels of `family` (a member of KernelSet), named by
// level.
#define INSTANTIATE_VECTOR_KERNEL_TESTS(fixture, family)                                    \
  GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(fixture);                                   \
  INSTANTIATE_TEST_SUITE_P(Sets, fixture, testing::ValuesIn(Sets_With(&KernelSet::family)), \
                           [](const testing::TestParamInfo<KernelSet>& info) {              \
                             return std::string(Simd_Level_Name(info.param.level));         \
                           })

// Random bytes in which runs of 0 and 255, the extremes, are common.
inline uint8_t Random_Sample(std::mt19937& rng) {
  const unsigned r = rng();
  switch (r % 8) {
    case 0:
      return 0;
    case 1:
      return 255;
    default:
      return static_cast<uint8_t>(r >> 8);
  }
}
