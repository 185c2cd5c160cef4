#include "platform/large_buffer.h"

#ifndef _WIN32
#include <sys/mman.h>
#endif

#include <new>
#include <utility>

namespace {

constexpr std::size_t kHugePage = 2u << 20;

}  // namespace

LargeBuffer::LargeBuffer(std::size_t size) {
  if (size == 0) return;
#ifdef _WIN32
  // Windows gives large pages only to holders of a privilege: plain memory.
  const bool plain = true;
#else
  const bool plain = size < kHugePage;
#endif
  if (plain) {
    data_ = new (std::nothrow) std::uint8_t[size];
    if (data_) size_ = size;
    return;
  }
#ifndef _WIN32
  // A mapping with room to start on a huge page boundary, so the kernel can back
  // it with huge pages from the first byte.
  const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  if (rounded < size || rounded + kHugePage < rounded) return;
  void* mapping = ::mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) return;
  const auto address = reinterpret_cast<std::uintptr_t>(mapping);
  auto* aligned =
      reinterpret_cast<std::uint8_t*>((address + kHugePage - 1) / kHugePage * kHugePage);
  (void)::madvise(aligned, rounded, MADV_HUGEPAGE);  // a hint; without it the block still works
  mapping_ = mapping;
  mapping_size_ = rounded + kHugePage;
  data_ = aligned;
  size_ = size;
#endif
}

LargeBuffer::~LargeBuffer() { Release(); }

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapping_(std::exchange(other.mapping_, nullptr)),
      mapping_size_(std::exchange(other.mapping_size_, 0)) {}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapping_ = std::exchange(other.mapping_, nullptr);
    mapping_size_ = std::exchange(other.mapping_size_, 0);
  }
  return *this;
}

void LargeBuffer::Release() {
#ifndef _WIN32
  if (mapping_) {
    ::munmap(mapping_, mapping_size_);
  } else
#endif
  {
    delete[] data_;
  }
  data_ = nullptr;
  size_ = 0;
  mapping_ = nullptr;
  mapping_size_ = 0;
}
