#include "platform/registry.h"

#include <string_view>
#include <vector>

#include "platform/ascii.h"
#include "platform/ini_lines.h"
#include "platform/settings_folder.h"

namespace {

std::string FullKey(const std::string& hive, const std::string& key) { return hive + "\\" + key; }

// The lower-case full key of a section line, if the line is one.
std::optional<std::string> SectionOf(const std::string& text) {
  const std::string trimmed(TrimBlanks(text));
  if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') return std::nullopt;
  return AsciiLower(TrimBlanks(trimmed.substr(1, trimmed.size() - 2)));
}

// Name (lower case) and value of a "Name=value" line; ';' and '#' start comments.
std::optional<std::pair<std::string, std::string>> LowerEntryOf(std::string_view text) {
  const std::optional<IniEntry> entry = EntryOf(text, ";#");
  if (!entry) return std::nullopt;
  return std::make_pair(AsciiLower(entry->name), std::string(entry->value));
}

// The store's text with name set to value under hive\key: the value's line
// replaced where it exists, otherwise added after the key's last entry, the key
// added at the end when missing; every other line stays as it was.
std::string WithValue(const std::string& contents, const std::string& hive, const std::string& key,
                      const std::string& name, const std::string& value) {
  std::vector<IniLine> lines = SplitIniLines(contents);
  const std::string wanted = AsciiLower(FullKey(hive, key));
  const std::string wanted_name = AsciiLower(name);
  std::optional<std::size_t>
      section_end;  // line after the last entry of the first matching section
  bool inside = false;
  bool done = false;
  for (std::size_t i = 0; i < lines.size() && !done; ++i) {
    if (auto section = SectionOf(lines[i].text)) {
      if (inside) break;
      inside = *section == wanted;
      if (inside) section_end = i + 1;
      continue;
    }
    if (!inside) continue;
    if (auto entry = LowerEntryOf(lines[i].text)) {
      if (entry->first == wanted_name) {
        const std::string spelled = lines[i].text.substr(0, lines[i].text.find('='));
        lines[i].text = spelled + "=" + value;
        done = true;
      }
      section_end = i + 1;
    } else if (!TrimBlanks(lines[i].text).empty()) {
      section_end = i + 1;
    }
  }
  if (!done) {
    if (section_end) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*section_end),
                   IniLine{name + "=" + value});
    } else {
      if (!lines.empty() && !TrimBlanks(lines.back().text).empty()) lines.push_back(IniLine{});
      lines.push_back(IniLine{"[" + FullKey(hive, key) + "]"});
      lines.push_back(IniLine{name + "=" + value});
    }
  }
  return JoinIniLines(lines);
}

}  // namespace

IniFileRegistry::IniFileRegistry() : IniFileRegistry(RegistryStandInPath()) {}

IniFileRegistry::IniFileRegistry(std::string path) : path_(std::move(path)) {}

std::optional<RegistryKey> IniFileRegistry::OpenKey(const std::string& hive,
                                                    const std::string& key) {
  const SettingsFile store = ReadSettingsFile(path_);
  if (store.state != SettingsFileState::kRead) return std::nullopt;
  const std::string wanted = AsciiLower(FullKey(hive, key));
  bool found = false;
  bool inside = false;
  std::map<std::string, std::string> values;
  for (const IniLine& line : SplitIniLines(store.contents)) {
    if (auto section = SectionOf(line.text)) {
      inside = *section == wanted;
      found = found || inside;
      continue;
    }
    if (!inside) continue;
    if (auto entry = LowerEntryOf(line.text)) values.emplace(entry->first, entry->second);
  }
  if (!found) return std::nullopt;
  const RegistryKey handle = next_key_++;
  open_keys_[handle] = std::move(values);
  return handle;
}

std::optional<std::string> IniFileRegistry::QueryValue(RegistryKey key, const std::string& name,
                                                       std::size_t capacity) {
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return std::nullopt;
  const auto value = open->second.find(AsciiLower(name));
  if (value == open->second.end()) return std::nullopt;
  if (value->second.size() + 1 > capacity) return std::nullopt;
  return value->second;
}

void IniFileRegistry::CloseKey(RegistryKey key) { open_keys_.erase(key); }

bool IniFileRegistry::SetValue(const std::string& hive, const std::string& key,
                               const std::string& name, const std::string& value) {
  // What the store's line format cannot hold is not written: it would not read
  // back (names lose the blanks around them; a line starting with ';', '#' or
  // '[' is a comment or a section).
  if (name.empty() || name.find_first_of("=\r\n") != std::string::npos ||
      TrimBlanks(name) != name ||
      std::string_view(";#[").find(name.front()) != std::string_view::npos ||
      value.find_first_of("\r\n") != std::string::npos ||
      key.find_first_of("[]\r\n") != std::string::npos ||
      (!key.empty() && (key.back() == ' ' || key.back() == '\t'))) {
    return false;
  }
  return UpdateSettingsFile(path_, [&](const std::string& contents) -> std::optional<std::string> {
    return WithValue(contents, hive, key, name, value);
  });
}
