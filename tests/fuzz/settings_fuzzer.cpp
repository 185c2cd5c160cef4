// The registry stand-in and the ini profile on arbitrary file bytes, with a
// section (or key), a name and a value taken from the input:
//   byte 0  bit 0: the ini profile (else the registry stand-in)
//   byte 1  section length (mod 48), byte 2 name length (mod 24),
//   byte 3  value length (mod 64; bit 1 of byte 0 adds 512, past the 520-byte buffer)
//   then the section, the name and the value, and the rest is the file.
// Reads: a registry value is returned only with its NUL within the buffer, the
// same at the exact capacity and never one byte below it; a profile string
// holds no NUL and no line end; names compare without regard to ASCII case.
// Write: refused, the file is as it was; written, the value reads back and the
// file's lines are the old ones but for the key's line (replaced, or added
// with its section), and no other file is left in the folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/ini_profile.h"
#include "platform/registry.h"
#include "tests/fuzz/work_folder.h"
#include "tests/platform/test_files.h"

namespace {

constexpr std::size_t kBuffer = 520;          // the registry reads of the programs
constexpr std::size_t kUnbounded = 1u << 20;  // a buffer every value fits into
// No value can be this: lines end at '\n'.
const std::string kMissing = "\n(missing)";

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "settings_fuzzer: %s\n", what);
  std::abort();
}

std::string OtherCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

// The file's lines, each with its carriage return if it has one; a last line
// that gains its line end is the same line.
std::vector<std::string> Lines(const std::string& contents) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < contents.size()) {
    std::size_t end = contents.find('\n', start);
    if (end == std::string::npos) end = contents.size();
    lines.push_back(contents.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The write changed one line into the key's line, or added the key's line,
// possibly with a blank line and its section header; nothing else. (The
// profile quotes a value that would lose blanks or quotes when read.)
void RequireOnlyTheKeyLine(const std::string& before, const std::string& after,
                           const std::string& value) {
  const std::vector<std::string> old_lines = Lines(before);
  const std::vector<std::string> new_lines = Lines(after);
  std::size_t prefix = 0;
  while (prefix < old_lines.size() && prefix < new_lines.size() &&
         old_lines[prefix] == new_lines[prefix]) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (suffix + prefix < old_lines.size() && suffix + prefix < new_lines.size() &&
         old_lines[old_lines.size() - 1 - suffix] == new_lines[new_lines.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::size_t removed = old_lines.size() - prefix - suffix;
  const std::size_t added = new_lines.size() - prefix - suffix;
  Require(removed <= 1, "a write changed more than one line of the file");
  Require(added <= 3 && (removed == 0 || added == 1),
          "a write added more than the key and its section");
  int key_lines = 0;
  for (std::size_t i = prefix; i < prefix + added; ++i) {
    const std::string& line = new_lines[i];
    const std::string text =
        !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
    // A section header may end like the key's line ("[…\=]" with the value "]").
    const bool header = !text.empty() && text.front() == '[';
    if (!header && (EndsWith(text, "=" + value) || EndsWith(text, "=\"" + value + "\""))) {
      ++key_lines;
    } else {
      Require(line.find_first_not_of(" \t\r") == std::string::npos || line.front() == '[',
              "a write added a line that is neither the key, its section nor blank");
    }
  }
  Require(key_lines == 1 || (added == 0 && before.find(value) != std::string::npos),
          "the key's line is not in the written file");
}

void CheckRegistryReads(const std::string& path, const std::string& key, const std::string& name) {
  IniFileRegistry registry(path);
  const std::optional<RegistryKey> handle = registry.OpenKey(kLocalMachine, key);
  const std::optional<RegistryKey> other =
      registry.OpenKey(OtherCase(kLocalMachine), OtherCase(key));
  Require(handle.has_value() == other.has_value(), "a key found in one letter case only");
  if (!handle) return;
  const std::optional<std::string> whole = registry.QueryValue(*handle, name, kUnbounded);
  Require(registry.QueryValue(*other, OtherCase(name), kUnbounded) == whole,
          "a value name read differently in another letter case");
  const std::optional<std::string> read = registry.QueryValue(*handle, name, kBuffer);
  if (!whole) {
    Require(!read, "a value read with a small buffer but not with a large one");
  } else {
    Require(whole->find('\n') == std::string::npos, "a value holds a line break");
    Require(
        read == (whole->size() < kBuffer ? whole : std::nullopt),
        "a value read although it does not fit the buffer with its NUL, or not read although it does");
    Require(registry.QueryValue(*handle, name, whole->size() + 1) == whole,
            "a value not read with room for exactly it and its NUL");
    Require(!registry.QueryValue(*handle, name, whole->size()),
            "a value read without room for its NUL");
  }
  registry.CloseKey(*handle);
  registry.CloseKey(*other);
  Require(!registry.QueryValue(*handle, name, kUnbounded), "a closed key still reads");
}

void CheckProfileReads(const std::string& path, const std::string& section,
                       const std::string& key) {
  const std::string read = ReadProfileString(path, section, key, kMissing);
  Require(ReadProfileString(path, OtherCase(section), OtherCase(key), kMissing) == read,
          "a section or key read differently in another letter case");
  if (read == kMissing) {
    Require(ReadProfileInt(path, section, key, 12345) == 12345, "a missing key read as a number");
    return;
  }
  Require(read.find('\0') == std::string::npos, "a profile string holds a NUL");
  Require(read.find('\n') == std::string::npos, "a profile string holds a line break");
  // Short numbers, so the reference needs no wrapping: a sign and digits lead.
  std::size_t digits = read.find_first_of("+-") == 0 ? 1 : 0;
  const std::size_t first_digit = digits;
  while (digits < read.size() && read[digits] >= '0' && read[digits] <= '9') ++digits;
  if (read.empty()) {
    Require(ReadProfileInt(path, section, key, 12345) == 12345, "an empty value read as a number");
  } else if (digits - first_digit <= 9) {
    const long number =
        first_digit == digits ? 0 : std::strtol(read.substr(0, digits).c_str(), nullptr, 10);
    Require(ReadProfileInt(path, section, key, 12345) == number,
            "a number read other than its leading digits");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return StartWorkFolder(); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const bool profile = (data[0] & 1) != 0;
  std::size_t lengths[3] = {data[1] % 48u, data[2] % 24u,
                            data[3] % 64u + ((data[0] & 2) ? 512u : 0u)};
  std::string fields[3];
  std::size_t at = 4;
  for (int i = 0; i < 3; ++i) {
    const std::size_t length = std::min(lengths[i], size - at);
    fields[i].assign(reinterpret_cast<const char*>(data) + at, length);
    at += length;
  }
  const std::string& section = fields[0];
  const std::string& name = fields[1];
  const std::string& value = fields[2];
  const std::string before(reinterpret_cast<const char*>(data) + at, size - at);

  const std::string file_name = profile ? "Ordwin.ini" : "registry.ini";
  const std::string path = *work / file_name;
  WriteBytes(path, before);

  bool written = false;
  if (profile) {
    CheckProfileReads(path, section, name);
    written = WriteProfileString(path, section, name, value);
  } else {
    CheckRegistryReads(path, section, name);
    written = IniFileRegistry(path).SetValue(kLocalMachine, section, name, value);
  }
  const std::string after = ReadBytes(path);
  Require(ListFolder(work->path()) == file_name + " ", "a write left another file in the folder");
  if (!written) {
    Require(after == before, "a refused write changed the file");
  } else {
    RequireOnlyTheKeyLine(before, after, value);
    if (profile) {
      Require(ReadProfileString(path, section, name, kMissing) == value,
              "a written key reads back otherwise");
    } else {
      IniFileRegistry registry(path);
      const std::optional<RegistryKey> handle = registry.OpenKey(kLocalMachine, section);
      Require(handle && registry.QueryValue(*handle, name, kUnbounded) == value,
              "a written value reads back otherwise");
    }
  }
  ::unlink(path.c_str());
  return 0;
}
