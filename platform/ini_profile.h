#pragma once

#include <string>

// Ini files read and written the way the Windows profile calls do it: sections
// "[Name]", lines "Key=value"; section and key names compare case-insensitively;
// values are taken without the blanks around them (and without one pair of
// enclosing quotes). Lines starting with ';' are comments.

// The value of key in section (up to a NUL in it, as the profile call hands
// back a C string), or default_value when the file, the section or the key is
// missing. A file that cannot be read, or is not a regular file, counts as
// missing.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& default_value);

// The value as a number: default_value when the file, section or key is missing
// or the value is empty; otherwise its leading sign and decimal digits ("12abc"
// is 12, "abc" is 0).
int ReadProfileInt(const std::string& path, const std::string& section, const std::string& key,
                   int default_value);

// Sets key in section to value, keeping every other line of the file as it was
// (its line end too): the key's line is replaced where it exists, otherwise
// added at the end of the section, and the section is added at the end of the
// file when missing. A value with blanks around it, or enclosed in quotes, is
// written in quotes, so it reads back as given. What would not read back is
// refused: a line break or NUL anywhere, a section or key with blanks around
// it, a section holding ']', an empty key, or one holding '=' or starting with
// ';' or '['. The folder is created when missing. The file is replaced
// atomically, so a failure leaves it untouched; a file that exists but cannot be read (or is not a
// regular file) is never written, since its other lines would be lost.
// Returns false when nothing could be written.
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);
