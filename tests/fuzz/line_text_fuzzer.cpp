// The escaping of names and replies for terminals and scripts, on arbitrary
// bytes: the escaped form holds no control byte and no line break, so one
// record stays one line, and unescaping gives the input back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/terminal_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string escaped = EscapeLineText(input);
  for (const char c : escaped) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      std::fprintf(stderr, "line_text_fuzzer: byte 0x%02x survived the escaping\n", byte);
      std::abort();
    }
  }
  std::string back;
  if (!UnescapeLineText(escaped, back) || back != input) {
    std::fprintf(stderr, "line_text_fuzzer: the escaped form does not give the input back\n");
    std::abort();
  }
  // Appending keeps what was there: fields of one line are escaped one by one.
  std::string line = "0\t1\t";
  AppendEscapedLine(line, input);
  if (line.compare(0, 4, "0\t1\t") != 0 || line.compare(4, std::string::npos, escaped) != 0) {
    std::fprintf(stderr, "line_text_fuzzer: appending changed the line\n");
    std::abort();
  }
  return 0;
}
