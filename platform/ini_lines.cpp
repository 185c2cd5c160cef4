#include "platform/ini_lines.h"

std::vector<IniLine> SplitIniLines(std::string_view contents) {
  std::vector<IniLine> lines;
  std::size_t start = 0;
  while (start < contents.size()) {
    std::size_t end = contents.find('\n', start);
    if (end == std::string_view::npos) end = contents.size();
    IniLine line{std::string(contents.substr(start, end - start)), false};
    if (!line.text.empty() && line.text.back() == '\r') {
      line.text.pop_back();
      line.carriage_return = true;
    }
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string JoinIniLines(const std::vector<IniLine>& lines) {
  std::string joined;
  for (const IniLine& line : lines) {
    joined += line.text;
    if (line.carriage_return) joined += '\r';
    joined += '\n';
  }
  return joined;
}

std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kBlanks = " \t";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

std::optional<IniEntry> EntryOf(std::string_view line, std::string_view comment_starts) {
  const std::string_view trimmed = TrimBlanks(line);
  if (!trimmed.empty() && comment_starts.find(trimmed.front()) != std::string_view::npos) {
    return std::nullopt;
  }
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return IniEntry{TrimBlanks(line.substr(0, equals)), line.substr(equals + 1)};
}
