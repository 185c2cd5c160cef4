#pragma once

// Small helpers the benchmark programs share: their settings from the
// environment and a wall-clock timer for figures taken by hand.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace bench {

// A whole number from the environment, or fallback when it is unset or empty.
inline std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::strtoull(value, nullptr, 10) : fallback;
}

// Where the benchmarks write their databases: $VELMORA_BENCH_DIR, or the
// current folder when it is unset or empty.
inline std::string BenchFolder() {
  const char* folder = std::getenv("VELMORA_BENCH_DIR");
  return folder && *folder ? folder : ".";
}

inline double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// How long f takes, in seconds.
template <typename F>
double Time(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return Seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace bench
