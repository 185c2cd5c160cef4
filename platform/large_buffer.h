#pragma once

#include <cstddef>
#include <cstdint>

// Memory for a large table that is filled at once from a file (a database's
// record table). Large blocks ask for huge pages where the system offers them:
// filling memory page by page costs a fault for each 4 KiB, which dominates the
// time of reading hundreds of MiB. The bytes are not cleared.
class LargeBuffer {
 public:
  LargeBuffer() = default;
  explicit LargeBuffer(std::size_t size);  // empty (data() null) when there is no memory
  ~LargeBuffer();
  LargeBuffer(LargeBuffer&& other) noexcept;
  LargeBuffer& operator=(LargeBuffer&& other) noexcept;
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  void Release();

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  void* mapping_ = nullptr;  // set when the block is a mapping of its own
  std::size_t mapping_size_ = 0;
};
