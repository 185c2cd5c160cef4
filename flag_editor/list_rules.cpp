#include "flag_editor/list_rules.h"

#include <array>

#include "hashdb/cp1252.h"

int CompareNames(std::string_view a, std::string_view b) {
  // char_traits<char> compares as unsigned char, which is the byte order wanted.
  return a.compare(b);
}

namespace {

const std::array<unsigned char, 256>& LowerTable() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = Cp1252ToLower(static_cast<unsigned char>(b));
    return t;
  }();
  return table;
}

void Lower(std::string_view text, std::string& out) {
  const auto& table = LowerTable();
  out.resize(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<char>(table[static_cast<unsigned char>(text[i])]);
  }
}

bool HasWord(std::string_view text, std::string_view word) {
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    if (i > start && text.substr(start, i - start) == word) return true;
  }
  return false;
}

}  // namespace

std::optional<int> FindItem(const RowTexts& rows, int selected, std::string_view needle,
                            const FindOptions& options) {
  std::string lowered_needle;
  if (!options.match_case) {
    Lower(needle, lowered_needle);
    needle = lowered_needle;
  }
  const int count = rows.RowCount();
  const int step = options.down ? 1 : -1;
  std::string lowered_row;  // reused, so a search over many rows allocates once
  for (int i = selected + step; i >= 0 && i < count; i += step) {
    std::string_view text = rows.RowText(i);
    if (!options.match_case) {
      Lower(text, lowered_row);
      text = lowered_row;
    }
    const bool match =
        options.whole_word ? HasWord(text, needle) : text.find(needle) != std::string_view::npos;
    if (match) return i;
  }
  return std::nullopt;
}
