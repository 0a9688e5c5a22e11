// Memory for pictures and frames of several megabytes, in whole 2 MiB pages
// aligned to one that the kernel is asked to back with huge pages: walking
// such a picture then misses the TLB far less (with 4 KiB pages an HD frame
// spans some 750 of them). Only a hint: without transparent huge pages the
// memory works the same. Fresh memory reads as zeros.
#pragma once

#include <cstddef>
#include <cstdint>

// `bytes` rounded up to whole huge pages.
size_t Huge_Page_Bytes(size_t bytes);

// A zeroed region of Huge_Page_Bytes(bytes) bytes, or nullptr when out of
// memory (or for 0 bytes); Unmap_Huge_Pages with the same `bytes` frees it.
// The bytes past `bytes` are fenced off.
uint8_t* Map_Huge_Pages(size_t bytes);
void Unmap_Huge_Pages(uint8_t* region, size_t bytes);

// Marks `bytes` at `at`, inside a region, as not to be touched: under
// AddressSanitizer any access there is reported, as past the end of a heap
// block. Does nothing in other builds.
void Fence_Off(uint8_t* at, size_t bytes);

// Such a region, owned.
class HugePageBuffer {
 public:
  HugePageBuffer() = default;
  ~HugePageBuffer() { Free(); }
  HugePageBuffer(HugePageBuffer&& other) noexcept;
  HugePageBuffer& operator=(HugePageBuffer&& other) noexcept;
  HugePageBuffer(const HugePageBuffer&) = delete;
  HugePageBuffer& operator=(const HugePageBuffer&) = delete;

  // Frees what it held and holds `bytes` zeroed bytes; false, holding
  // nothing, when out of memory.
  bool Allocate(size_t bytes);
  void Free();

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};
