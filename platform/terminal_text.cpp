#include "platform/terminal_text.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void AppendEscapedLine(std::string& out, std::string_view value) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += "\\x";
          out += kHex[byte >> 4];
          out += kHex[byte & 0x0F];
        } else {
          out += c;
        }
    }
  }
}

std::string EscapeLineText(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  AppendEscapedLine(out, value);
  return out;
}

bool UnescapeLineText(std::string_view escaped, std::string& value) {
  value.clear();
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != '\\') {
      value += escaped[i];
      continue;
    }
    if (++i == escaped.size()) return false;
    switch (escaped[i]) {
      case 't': value += '\t'; break;
      case 'n': value += '\n'; break;
      case 'r': value += '\r'; break;
      case '\\': value += '\\'; break;
      case 'x': {
        if (escaped.size() - i < 3) return false;
        const int hi = HexDigit(escaped[i + 1]);
        const int lo = HexDigit(escaped[i + 2]);
        if (hi < 0 || lo < 0) return false;
        value += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}
