#include "platform/replacement_name.h"

#include <climits>

std::string ReplacementName(const std::string& target_name, std::uint64_t process,
                            std::uint64_t counter, std::uint64_t clock) {
  return "." + target_name.substr(0, 160) + ".tmp" + std::to_string(process) + "-" +
         std::to_string(counter) + "-" + std::to_string(clock % 1000000);
}

std::optional<std::uint64_t> ReplacementOwner(const std::string& name) {
  const auto tmp = name.rfind(".tmp");
  if (name.size() < 2 || name[0] != '.' || tmp == std::string::npos || tmp < 2) return std::nullopt;
  // Process, counter and clock: three runs of digits joined by '-'.
  std::uint64_t numbers[3] = {};
  std::size_t at = tmp + 4;
  for (int i = 0; i < 3; ++i) {
    const std::size_t start = at;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9' && at - start < 19) {
      numbers[i] = numbers[i] * 10 + static_cast<std::uint64_t>(name[at] - '0');
      ++at;
    }
    if (at == start) return std::nullopt;
    if (i < 2) {
      if (at >= name.size() || name[at] != '-') return std::nullopt;
      ++at;
    }
  }
  if (at != name.size() || numbers[0] == 0 || numbers[0] > INT_MAX || numbers[2] >= 1000000) {
    return std::nullopt;
  }
  return numbers[0];
}
