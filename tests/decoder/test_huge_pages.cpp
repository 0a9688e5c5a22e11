#include "decoder/huge_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

constexpr uintptr_t kHugePage = uintptr_t{2} << 20;

// Buffers of sizes around a huge page start on one, read as zeros to their
// last byte, can be written throughout, and move without a copy.
TEST(HugePageBuffer, HoldsZeroedAlignedMemoryAndMoves) {
  HugePageBuffer buffer;
  for (size_t bytes : {size_t{1}, size_t{4096}, size_t{2} << 20, (size_t{2} << 20) + 1}) {
    ASSERT_TRUE(buffer.Allocate(bytes)) << bytes;
    EXPECT_EQ(buffer.size(), bytes);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % kHugePage, 0u) << bytes;
    EXPECT_TRUE(
        std::all_of(buffer.data(), buffer.data() + bytes, [](uint8_t b) { return b == 0; }));
    std::fill(buffer.data(), buffer.data() + bytes, uint8_t{0xAB});
  }
  uint8_t* const data = buffer.data();
  HugePageBuffer moved(std::move(buffer));
  EXPECT_EQ(buffer.data(), nullptr);
  EXPECT_EQ(moved.data(), data);
  EXPECT_EQ(moved.data()[moved.size() - 1], 0xAB);
  moved = HugePageBuffer();
  EXPECT_EQ(moved.data(), nullptr);
  EXPECT_EQ(moved.size(), 0u);
  EXPECT_FALSE(moved.Allocate(0));
  EXPECT_FALSE(moved.Allocate(SIZE_MAX));
  EXPECT_FALSE(moved.Allocate(SIZE_MAX - (size_t{4} << 20)));
}

}  // namespace
