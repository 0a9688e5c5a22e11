#include "decoder/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define VIDORLAN_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VIDORLAN_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef VIDORLAN_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

namespace {

constexpr size_t HUGE_PAGE_BYTES = size_t{2} << 20;

}  // namespace

size_t Huge_Page_Bytes(size_t bytes) {
  return (bytes + HUGE_PAGE_BYTES - 1) / HUGE_PAGE_BYTES * HUGE_PAGE_BYTES;
}

uint8_t* Map_Huge_Pages(size_t bytes) {
  const size_t size = Huge_Page_Bytes(bytes);
  if (size == 0 || size < bytes || size > SIZE_MAX - HUGE_PAGE_BYTES) return nullptr;
  // One huge page more than asked for, so that an aligned start lies inside;
  // the rest goes back.
  void* address = mmap(nullptr, size + HUGE_PAGE_BYTES, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (address == MAP_FAILED) return nullptr;
  auto* mapped = static_cast<uint8_t*>(address);
  const uintptr_t misalignment = reinterpret_cast<uintptr_t>(mapped) % HUGE_PAGE_BYTES;
  const size_t head = misalignment == 0 ? 0 : HUGE_PAGE_BYTES - misalignment;
  if (head > 0) munmap(mapped, head);
  if (head < HUGE_PAGE_BYTES) munmap(mapped + head + size, HUGE_PAGE_BYTES - head);
  madvise(mapped + head, size, MADV_HUGEPAGE);
  Fence_Off(mapped + head + bytes, size - bytes);
  return mapped + head;
}

void Unmap_Huge_Pages(uint8_t* region, size_t bytes) {
  if (region == nullptr) return;
#ifdef VIDORLAN_ADDRESS_SANITIZER
  // The addresses may be mapped again for something else.
  ASAN_UNPOISON_MEMORY_REGION(region, Huge_Page_Bytes(bytes));
#endif
  munmap(region, Huge_Page_Bytes(bytes));
}

void Fence_Off(uint8_t* at, size_t bytes) {
#ifdef VIDORLAN_ADDRESS_SANITIZER
  ASAN_POISON_MEMORY_REGION(at, bytes);
#else
  static_cast<void>(at);
  static_cast<void>(bytes);
#endif
}

HugePageBuffer::HugePageBuffer(HugePageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

HugePageBuffer& HugePageBuffer::operator=(HugePageBuffer&& other) noexcept {
  if (this != &other) {
    Free();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

bool HugePageBuffer::Allocate(size_t bytes) {
  Free();
  data_ = Map_Huge_Pages(bytes);
  if (data_ != nullptr) size_ = bytes;
  return data_ != nullptr;
}

void HugePageBuffer::Free() {
  Unmap_Huge_Pages(data_, size_);
  data_ = nullptr;
  size_ = 0;
}
