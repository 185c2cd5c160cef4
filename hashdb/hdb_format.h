#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The bytes of a hash database file (.hdb): a 20-byte header, n records of 260
// bytes, then the tail, which is never interpreted. Little-endian throughout.
inline constexpr std::size_t kHeaderSize = 20;
inline constexpr std::size_t kRecordSize = 260;
inline constexpr std::size_t kNameFieldSize = 256;

struct HashDatabaseHeader {
  std::array<std::uint8_t, kHeaderSize> bytes{};  // preamble (16) + hash_set_count (4)

  std::uint32_t hash_set_count() const;
  void set_hash_set_count(std::uint32_t count);
};

struct HashSetRecord {
  std::array<std::uint8_t, kRecordSize> bytes{};  // alert word (4) + name (256)

  std::uint32_t alert() const;
  void set_alert(std::uint32_t word);
  // The name: the field's bytes up to the first NUL, all 256 when it has none.
  std::string_view name() const;
  // Stores at most 255 bytes of name and a NUL; the bytes after the NUL stay.
  void set_name(std::string_view name);
};

static_assert(sizeof(HashSetRecord) == kRecordSize, "records are read and written as one block");

// Offset of the tail: 20 + 260 * n, in 64 bits.
inline constexpr std::uint64_t TailOffset(std::uint32_t count) {
  return kHeaderSize + static_cast<std::uint64_t>(kRecordSize) * count;
}
