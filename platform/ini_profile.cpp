#include "platform/ini_profile.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/settings_folder.h"

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  std::size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) return {};
  std::size_t end = text.find_last_not_of(kBlanks);
  return text.substr(begin, end - begin + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}


std::vector<std::string> SplitLines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// The name of a section header line, or nothing for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
  std::string_view text = Trim(line);
  if (text.empty() || text.front() != '[') return std::nullopt;
  std::size_t close = text.find(']');
  if (close == std::string_view::npos) close = text.size();
  return Trim(text.substr(1, close - 1));
}

// The key of a "Key=value" line, or nothing for other lines.
std::optional<std::string_view> KeyName(std::string_view line) {
  std::string_view text = Trim(line);
  if (text.empty() || text.front() == ';') return std::nullopt;
  std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return Trim(text.substr(0, equals));
}

std::string ValueOf(std::string_view line) {
  std::string_view value = Trim(line.substr(line.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// Where section's lines are: [first, end) after its header, or nothing.
struct SectionRange {
  std::size_t first = 0;
  std::size_t end = 0;
};

std::optional<SectionRange> FindSection(const std::vector<std::string>& lines,
                                        std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto name = SectionName(lines[i]);
    if (!name || !SameName(*name, section)) continue;
    SectionRange range{i + 1, i + 1};
    while (range.end < lines.size() && !SectionName(lines[range.end])) ++range.end;
    return range;
  }
  return std::nullopt;
}

std::optional<std::size_t> FindKey(const std::vector<std::string>& lines, SectionRange range,
                                   std::string_view key) {
  for (std::size_t i = range.first; i < range.end; ++i) {
    auto name = KeyName(lines[i]);
    if (name && SameName(*name, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> LookUp(const std::string& path, const std::string& section,
                                  const std::string& key) {
  const SettingsFile file = ReadSettingsFile(path);
  if (file.state != SettingsFileState::kRead) return std::nullopt;
  std::vector<std::string> lines = SplitLines(file.contents);
  auto range = FindSection(lines, section);
  if (!range) return std::nullopt;
  auto at = FindKey(lines, *range, key);
  if (!at) return std::nullopt;
  return ValueOf(lines[*at]);
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

bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value) {
  return UpdateSettingsFile(path, [&](const std::string& content) -> std::optional<std::string> {
    std::vector<std::string> lines = SplitLines(content);
    const std::string eol = content.find("\r\n") != std::string::npos ? "\r\n" : "\n";

    if (auto range = FindSection(lines, section)) {
      if (auto at = FindKey(lines, *range, key)) {
        std::string& line = lines[*at];
        line = std::string(KeyName(line).value()) + "=" + value;
      } else {
        std::size_t insert = range->end;
        while (insert > range->first && Trim(lines[insert - 1]).empty()) --insert;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert), key + "=" + value);
      }
    } else {
      lines.push_back("[" + section + "]");
      lines.push_back(key + "=" + value);
    }

    std::string out;
    for (const std::string& line : lines) out += line + eol;
    return out;
  });
}
