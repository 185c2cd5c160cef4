#pragma once

#include <string>
#include <string_view>

// Windows-1252, the code page of the workstations hash databases come from.
// Names stay byte strings; these turn them into text for display and give the
// code page's case mapping for finding by name.

// The bytes decoded as Windows-1252, encoded as UTF-8. The five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the code points
// of the same value, so every byte string decodes and nothing is dropped.
std::string Cp1252ToUtf8(std::string_view bytes);

// Text (UTF-8) in the code page, so what a user typed compares with names byte
// for byte. A character the code page cannot hold becomes a NUL byte, which no
// name contains (names end at their first NUL), so it matches nothing.
std::string Utf8ToCp1252(std::string_view utf8);

// Case mapping of Windows-1252: ASCII, the Latin-1 letters, and the pairs
// Š/š, Œ/œ, Ž/ž, Ÿ/ÿ. Other bytes map to themselves.
unsigned char Cp1252ToUpper(unsigned char byte);
unsigned char Cp1252ToLower(unsigned char byte);
