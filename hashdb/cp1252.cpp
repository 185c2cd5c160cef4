#include "hashdb/cp1252.h"

#include <cstdint>

namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    const std::uint32_t code = (byte >= 0x80 && byte <= 0x9F) ? kHighControls[byte - 0x80] : byte;
    AppendUtf8(out, code);
  }
  return out;
}

unsigned char Cp1252ToUpper(unsigned char byte) {
  if (byte >= 'a' && byte <= 'z') return static_cast<unsigned char>(byte - 0x20);
  if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) return static_cast<unsigned char>(byte - 0x20);
  switch (byte) {
    case 0x9A: return 0x8A;   // š
    case 0x9C: return 0x8C;   // œ
    case 0x9E: return 0x8E;   // ž
    case 0xFF: return 0x9F;   // ÿ
    default: return byte;
  }
}

unsigned char Cp1252ToLower(unsigned char byte) {
  if (byte >= 'A' && byte <= 'Z') return static_cast<unsigned char>(byte + 0x20);
  if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) return static_cast<unsigned char>(byte + 0x20);
  switch (byte) {
    case 0x8A: return 0x9A;   // Š
    case 0x8C: return 0x9C;   // Œ
    case 0x8E: return 0x9E;   // Ž
    case 0x9F: return 0xFF;   // Ÿ
    default: return byte;
  }
}
