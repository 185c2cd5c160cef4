#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Hash databases built byte by byte in tests, so every byte a test checks is in
// view.
struct TestRecord {
  std::uint32_t alert = 0;
  std::string name_field;  // the raw bytes of the 256-byte field, padded with NULs
};

inline std::string Le32(std::uint32_t word) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(word >> (8 * i));
  return bytes;
}

inline std::string DatabaseBytes(const std::vector<TestRecord>& records,
                                 const std::string& tail = "",
                                 const std::string& preamble = "PREAMBLE-16-BYTE") {
  std::string bytes = preamble.substr(0, 16);
  bytes.resize(16, '\0');
  bytes += Le32(static_cast<std::uint32_t>(records.size()));
  for (const TestRecord& record : records) {
    std::string field = record.name_field.substr(0, 256);
    field.resize(256, '\0');
    bytes += Le32(record.alert) + field;
  }
  return bytes + tail;
}

inline std::uint64_t AlertOffset(std::uint32_t index) { return 20 + 260ull * index; }
