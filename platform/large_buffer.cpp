#include "platform/large_buffer.h"

#include <sys/mman.h>

#include <new>
#include <utility>

namespace {

constexpr std::size_t kHugePage = 2u << 20;

}  // namespace

LargeBuffer::LargeBuffer(std::size_t size) {
  if (size == 0) return;
  if (size < kHugePage) {
    data_ = new (std::nothrow) std::uint8_t[size];
    if (data_) size_ = size;
    return;
  }
  // A mapping with room to start on a huge page boundary, so the kernel can back
  // it with huge pages from the first byte.
  const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  if (rounded < size || rounded + kHugePage < rounded) return;
  void* mapping = ::mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) return;
  const auto address = reinterpret_cast<std::uintptr_t>(mapping);
  auto* aligned = reinterpret_cast<std::uint8_t*>((address + kHugePage - 1) / kHugePage * kHugePage);
  (void)::madvise(aligned, rounded, MADV_HUGEPAGE);   // a hint; without it the block still works
  mapping_ = mapping;
  mapping_size_ = rounded + kHugePage;
  data_ = aligned;
  size_ = size;
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
  if (mapping_) {
    ::munmap(mapping_, mapping_size_);
  } else {
    delete[] data_;
  }
  data_ = nullptr;
  size_ = 0;
  mapping_ = nullptr;
  mapping_size_ = 0;
}
