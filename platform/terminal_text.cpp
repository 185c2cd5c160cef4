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
  const auto safe = [](unsigned char byte) { return byte >= 0x20 && byte != 0x7F && byte != '\\'; };
  std::size_t i = 0;
  while (i < value.size()) {
    // Runs of plain bytes go out in one append.
    std::size_t run = i;
    while (run < value.size() && safe(static_cast<unsigned char>(value[run]))) ++run;
    out.append(value.data() + i, run - i);
    if (run == value.size()) break;
    const char c = value[run];
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: {
        const char escaped[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0x0F]};
        out.append(escaped, sizeof escaped);
      }
    }
    i = run + 1;
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
