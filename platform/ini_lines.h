#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The line reader under the two ini-style stores (the ini profile and the
// registry stand-in): lines, blanks and "Name=value" entries. What a section
// header looks like, which lines are comments and what a value is, each store
// decides on top.

// One line without its line end ("\n", or "\r\n").
struct IniLine {
  std::string text;
  bool carriage_return = false;  // the line ended with "\r\n"
};

// The lines of a file's text; a last line without a line end counts.
std::vector<IniLine> SplitIniLines(std::string_view contents);
// The lines, each followed by its own line end ("\r\n" or "\n"), so a rewrite
// of one key leaves every other line's bytes as they were; a last line that
// had no line end gains one.
std::string JoinIniLines(const std::vector<IniLine>& lines);

// The text without the blanks (spaces and tabs) around it.
std::string_view TrimBlanks(std::string_view text);

// A "Name=value" line: the name without the blanks around it and the raw value,
// the bytes after the first '=' up to the line end.
struct IniEntry {
  std::string_view name;
  std::string_view value;
};

// The entry of a line, or nothing when the line has no '=' or is a comment: its
// first character after blanks is one of comment_starts.
std::optional<IniEntry> EntryOf(std::string_view line, std::string_view comment_starts);
