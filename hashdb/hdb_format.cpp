#include "hashdb/hdb_format.h"

namespace {

std::uint32_t ReadLittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void WriteLittleEndian32(std::uint8_t* bytes, std::uint32_t word) {
  bytes[0] = static_cast<std::uint8_t>(word);
  bytes[1] = static_cast<std::uint8_t>(word >> 8);
  bytes[2] = static_cast<std::uint8_t>(word >> 16);
  bytes[3] = static_cast<std::uint8_t>(word >> 24);
}

}  // namespace

std::uint32_t HashDatabaseHeader::hash_set_count() const { return ReadLittleEndian32(&bytes[16]); }

std::uint32_t HashSetRecord::alert() const { return ReadLittleEndian32(&bytes[0]); }

void HashSetRecord::set_alert(std::uint32_t word) { WriteLittleEndian32(&bytes[0], word); }

void HashDatabaseHeader::set_hash_set_count(std::uint32_t count) {
  WriteLittleEndian32(&bytes[16], count);
}

std::string_view HashSetRecord::name() const {
  const auto* field = reinterpret_cast<const char*>(&bytes[4]);
  std::size_t length = 0;
  while (length < kNameFieldSize && field[length] != '\0') ++length;
  return std::string_view(field, length);
}

void HashSetRecord::set_name(std::string_view name) {
  const std::size_t length = name.size() < kNameFieldSize ? name.size() : kNameFieldSize - 1;
  for (std::size_t i = 0; i < length; ++i) bytes[4 + i] = static_cast<std::uint8_t>(name[i]);
  bytes[4 + length] = 0;
}
