#include "tools/hashdb/output_formats.h"

#include <openssl/evp.h>

#include <cstdio>

namespace {

// Whether utf8 holds a C1 control (U+0080 to U+009F, encoded C2 80 to C2 9F)
// at i: some terminals act on them as on ESC sequences.
bool C1ControlAt(std::string_view utf8, std::size_t i) {
  return static_cast<unsigned char>(utf8[i]) == 0xC2 && i + 1 < utf8.size() &&
         static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
         static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view utf8) {
  out += '"';
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    const auto byte = static_cast<unsigned char>(c);
    if (C1ControlAt(utf8, i)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(utf8[++i]));
      out += escaped;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void AppendCsvField(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string ControlsShownAsQuestionMarks(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (C1ControlAt(utf8, i)) {
      out += '?';
      ++i;
    } else {
      out += byte < 0x20 || byte == 0x7F ? '?' : utf8[i];
    }
  }
  return out;
}

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  // EVP_Digest fails only without memory or a SHA-256 provider; an empty
  // result then stands for "unknown" rather than a wrong sum.
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1) return "";
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0F];
  }
  return hex;
}
