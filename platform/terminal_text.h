#pragma once

#include <string>
#include <string_view>

// Text from files and the network is written to terminals and scripts one
// record per line. Tab, line break, carriage return and backslash become
// \t \n \r \\, every other byte below 0x20 and 0x7F becomes \xHH, so no
// value can start a new line, move the cursor or drive the terminal.
void AppendEscapedLine(std::string& out, std::string_view value);
std::string EscapeLineText(std::string_view value);

// The inverse, for tests and scripts that read the escaped form back.
// Returns false on an escape that AppendEscapedLine never writes.
bool UnescapeLineText(std::string_view escaped, std::string& value);
