#include "platform/terminal_text.h"

#include <gtest/gtest.h>

namespace {

TEST(TerminalText, EscapesEverythingThatCouldDriveATerminalOrStartALine) {
  struct Case {
    const char* name;
    std::string raw;
    std::string escaped;
  };
  const Case cases[] = {
      {"plain text and high bytes pass", "Fälle \x96 x", "Fälle \x96 x"},
      {"the four named escapes", "a\tb\nc\rd\\e", "a\\tb\\nc\\rd\\\\e"},
      {"a forged row", "x\n99\t1\tFORGED", "x\\n99\\t1\\tFORGED"},
      {"terminal title and clear", "9\x1b]2;owned\x07\x1b[2J", "9\\x1b]2;owned\\x07\\x1b[2J"},
      {"NUL, DEL and the edges of the range", std::string("\0\x1f\x20\x7f\x80", 5),
       "\\x00\\x1f \\x7f\x80"},
      {"a backslash before an x stays unambiguous", "\\x41", "\\\\x41"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EscapeLineText(c.raw), c.escaped);
    std::string back;
    ASSERT_TRUE(UnescapeLineText(c.escaped, back));
    EXPECT_EQ(back, c.raw);
  }
}

TEST(TerminalText, EveryByteRoundTripsAndNoControlByteSurvives) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string escaped = EscapeLineText(all);
  for (const char c : escaped) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 && byte != 0x7F) << int(byte);
  }
  std::string back;
  ASSERT_TRUE(UnescapeLineText(escaped, back));
  EXPECT_EQ(back, all);
}

TEST(TerminalText, UnescapeRefusesWhatEscapeNeverWrites) {
  std::string value;
  for (const char* bad : {"\\", "a\\q", "\\x4", "\\xg0", "end\\x"}) {
    EXPECT_FALSE(UnescapeLineText(bad, value)) << bad;
  }
}

}  // namespace
