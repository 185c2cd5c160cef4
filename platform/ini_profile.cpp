#include "platform/ini_profile.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/ascii.h"
#include "platform/ini_lines.h"
#include "platform/settings_folder.h"

namespace {

// The name of a section header line, or nothing for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
  std::string_view text = TrimBlanks(line);
  if (text.empty() || text.front() != '[') return std::nullopt;
  std::size_t close = text.find(']');
  if (close == std::string_view::npos) close = text.size();
  return TrimBlanks(text.substr(1, close - 1));
}

// The key of a "Key=value" line, or nothing for other lines.
std::optional<std::string_view> KeyName(std::string_view line) {
  std::string_view text = TrimBlanks(line);
  if (text.empty() || text.front() == ';') return std::nullopt;
  std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return TrimBlanks(text.substr(0, equals));
}

bool Quoted(std::string_view value) {
  return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
         value.back() == value.front();
}

// The value of a key's line: its text up to a NUL (the profile call hands its
// callers a C string), without blanks around it and one pair of quotes.
std::string ValueOf(std::string_view line) {
  std::string_view value = line.substr(line.find('=') + 1);
  value = TrimBlanks(value.substr(0, value.find('\0')));
  if (Quoted(value)) value = value.substr(1, value.size() - 2);
  return std::string(value);
}

// The line that gives value back when read: quoted when the reader would take
// blanks or a pair of quotes off it.
std::string KeyLine(std::string_view key, const std::string& value) {
  const bool quote =
      Quoted(value) || (!value.empty() && (TrimBlanks(value).size() != value.size()));
  return std::string(key) + "=" + (quote ? "\"" + value + "\"" : value);
}

// Whether a section, key and value can be written so that they read back: no
// line breaks or NULs anywhere; names without blanks around them; a section
// without ']'; a key that is not empty, holds no '=' and starts no comment or
// section line.
bool Writable(std::string_view section, std::string_view key, std::string_view value) {
  using namespace std::string_view_literals;
  for (const std::string_view text : {section, key, value}) {
    if (text.find_first_of("\r\n\0"sv) != std::string_view::npos) return false;
  }
  if (TrimBlanks(section).size() != section.size() || section.find(']') != std::string_view::npos)
    return false;
  return !key.empty() && TrimBlanks(key).size() == key.size() &&
         key.find('=') == std::string_view::npos && key.front() != ';' && key.front() != '[';
}

// Where section's lines are: [first, end) after its header, or nothing.
struct SectionRange {
  std::size_t first = 0;
  std::size_t end = 0;
};

std::optional<SectionRange> FindSection(const std::vector<IniLine>& lines,
                                        std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto name = SectionName(lines[i].text);
    if (!name || !EqualsIgnoringAsciiCase(*name, section)) continue;
    SectionRange range{i + 1, i + 1};
    while (range.end < lines.size() && !SectionName(lines[range.end].text)) ++range.end;
    return range;
  }
  return std::nullopt;
}

std::optional<std::size_t> FindKey(const std::vector<IniLine>& lines, SectionRange range,
                                   std::string_view key) {
  for (std::size_t i = range.first; i < range.end; ++i) {
    auto name = KeyName(lines[i].text);
    if (name && EqualsIgnoringAsciiCase(*name, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> LookUp(const std::string& path, const std::string& section,
                                  const std::string& key) {
  const SettingsFile file = ReadSettingsFile(path);
  if (file.state != SettingsFileState::kRead) return std::nullopt;
  std::vector<IniLine> lines = SplitIniLines(file.contents);
  auto range = FindSection(lines, section);
  if (!range) return std::nullopt;
  auto at = FindKey(lines, *range, key);
  if (!at) return std::nullopt;
  return ValueOf(lines[*at].text);
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& default_value) {
  auto value = LookUp(path, section, key);
  return value ? *value : default_value;
}

int ReadProfileInt(const std::string& path, const std::string& section, const std::string& key,
                   int default_value) {
  auto value = LookUp(path, section, key);
  if (!value || value->empty()) return default_value;
  std::size_t i = 0;
  bool negative = false;
  if ((*value)[i] == '-' || (*value)[i] == '+') negative = (*value)[i++] == '-';
  // Wraps like the 32-bit original on overflow, without undefined behaviour.
  unsigned int number = 0;
  for (; i < value->size() && (*value)[i] >= '0' && (*value)[i] <= '9'; ++i) {
    number = number * 10u + static_cast<unsigned int>((*value)[i] - '0');
  }
  if (negative) number = 0u - number;
  return static_cast<int>(number);
}

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  if (!Writable(section, key, value)) return false;
  return UpdateSettingsFile(path, [&](const std::string& content) -> std::optional<std::string> {
    std::vector<IniLine> lines = SplitIniLines(content);
    // New lines end like the file's lines; the others keep their own ends.
    const bool crlf = content.find("\r\n") != std::string::npos;

    if (auto range = FindSection(lines, section)) {
      if (auto at = FindKey(lines, *range, key)) {
        std::string& line = lines[*at].text;
        line = KeyLine(KeyName(line).value(), value);
      } else {
        std::size_t insert = range->end;
        while (insert > range->first && TrimBlanks(lines[insert - 1].text).empty()) --insert;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert),
                     IniLine{KeyLine(key, value), crlf});
      }
    } else {
      lines.push_back(IniLine{"[" + section + "]", crlf});
      lines.push_back(IniLine{KeyLine(key, value), crlf});
    }
    return JoinIniLines(lines);
  });
}
