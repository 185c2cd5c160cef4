#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Hidden replacement files are named ".NAME.tmpPID-COUNTER-CLOCK", so a
// leftover tells which process wrote it: the target's name (cut to 160
// bytes), the process, a counter within it, and a clock reading (below one
// million) for another process that gets the same id later.
std::string ReplacementName(const std::string& target_name, std::uint64_t process,
                            std::uint64_t counter, std::uint64_t clock);

// The process that wrote a file named exactly as ReplacementName names them;
// nothing for any other name.
std::optional<std::uint64_t> ReplacementOwner(const std::string& name);
