#pragma once

// The machine-readable forms hdbtool writes names and tables in.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// utf8 as a JSON string, quotes included: quote, backslash and every control
// character (C0, DEL and C1) escaped, so a value never breaks a line or drives
// a terminal.
void AppendJsonString(std::string& out, std::string_view utf8);

// One CSV field (RFC 4180): quoted, with quotes doubled, when it holds a comma,
// a quote, CR or LF; as it is otherwise.
void AppendCsvField(std::string& out, std::string_view text);

// utf8 for a terminal, as ls shows names: every control character (C0, DEL,
// C1) becomes '?'. For output that RFC 4180 gives no escape for.
std::string ControlsShownAsQuestionMarks(std::string_view utf8);

// The SHA-256 of bytes in lower-case hex (64 digits).
std::string Sha256Hex(std::span<const std::uint8_t> bytes);
