#include <gtest/gtest.h>

#include "hashdb/cp1252.h"

namespace {

TEST(Cp1252, DecodesEveryByteToUtf8) {
  const struct {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"Plain ASCII 0-9", "Plain ASCII 0-9"},
      {"\x80", "\u20AC"},  // euro sign
      {"\x8A\x8C\x8E\x9F", "\u0160\u0152\u017D\u0178"},
      {"\x96\x97\x99", "\u2013\u2014\u2122"},
      {"\xA0\xE4\xF6\xFC\xDF\xFF", "\u00A0\u00E4\u00F6\u00FC\u00DF\u00FF"},
      {"\x81\x8D\x8F\x90\x9D", "\u0081\u008D\u008F\u0090\u009D"},  // undefined: same code point
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Cp1252ToUtf8(c.bytes), c.utf8) << c.bytes;
  // Every byte decodes to something, and to valid UTF-8 of 1 to 3 bytes.
  for (int b = 1; b < 256; ++b) {
    const std::string utf8 = Cp1252ToUtf8(std::string(1, static_cast<char>(b)));
    EXPECT_GE(utf8.size(), 1u);
    EXPECT_LE(utf8.size(), 3u);
  }
}

TEST(Cp1252, CaseMapping) {
  const struct {
    unsigned char lower;
    unsigned char upper;
  } pairs[] = {{'a', 'A'},   {'z', 'Z'},   {0xE0, 0xC0}, {0xE4, 0xC4}, {0xFE, 0xDE},
               {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
  for (const auto& p : pairs) {
    EXPECT_EQ(Cp1252ToUpper(p.lower), p.upper) << int(p.lower);
    EXPECT_EQ(Cp1252ToLower(p.upper), p.lower) << int(p.upper);
    EXPECT_EQ(Cp1252ToUpper(p.upper), p.upper);
    EXPECT_EQ(Cp1252ToLower(p.lower), p.lower);
  }
  // No case: the signs, the multiplication and division signs, ß and µ.
  for (const int same : {0x31, 0x40, 0x5B, 0x60, 0x7B, 0x80, 0xD7, 0xF7, 0xDF, 0xB5, 0xAA}) {
    EXPECT_EQ(Cp1252ToUpper(static_cast<unsigned char>(same)), same) << same;
    EXPECT_EQ(Cp1252ToLower(static_cast<unsigned char>(same)), same) << same;
  }
}

}  // namespace
