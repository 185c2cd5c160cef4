#pragma once

#include <optional>
#include <string>
#include <string_view>

// The rules the hash-set list follows, kept apart from the window code: the
// order of names and the search by name.

// Names compare byte by byte as unsigned 8-bit values; a prefix comes first. No
// case folding and no locale, so "Zeta" < "apple" and bytes from 128 up come last.
// Negative, 0 or positive like strcmp.
int CompareNames(std::string_view a, std::string_view b);

// The rows a search runs over, in their order on screen: position -> name bytes.
class RowTexts {
 public:
  virtual ~RowTexts() = default;
  virtual int RowCount() const = 0;
  virtual std::string_view RowText(int position) const = 0;
};

struct FindOptions {
  bool whole_word = false;
  bool match_case = false;
  bool down = true;
};

// The first row after (down) or before (up) the selected position whose name
// contains the needle, or, with whole_word, has a space-separated word equal to
// it. selected is -1 when no row is selected. Never wraps and never looks at the
// selected row itself. Without match_case both sides are lowered with the
// Windows-1252 case mapping. The needle is in the names' code page (bytes).
std::optional<int> FindItem(const RowTexts& rows, int selected, std::string_view needle,
                            const FindOptions& options);
