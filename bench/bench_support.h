#pragma once

// Small helpers the benchmark programs share: their settings from the
// environment and a wall-clock timer for figures taken by hand.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

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

// Timings of ours and of a baseline taken in alternating pairs (which side runs
// first alternates too, so neither always finds a warmer cache). Reported as
// min and median of each side and of the per-pair ratio ours / baseline.
class Pairs {
 public:
  template <typename Ours, typename Baseline>
  void Run(benchmark::State& state, Ours&& ours, Baseline&& baseline) {
    double o = 0, b = 0;
    if (ours_.size() % 2 == 0) {
      b = baseline();
      o = ours();
    } else {
      o = ours();
      b = baseline();
    }
    ours_.push_back(o);
    baseline_.push_back(b);
    state.SetIterationTime(o);
  }

  // prefix names the baseline in the counters when a benchmark has several.
  void Report(benchmark::State& state, const std::string& prefix = "") const {
    if (ours_.empty()) return;
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours_.size(); ++i) ratios.push_back(ours_[i] / baseline_[i]);
    state.counters[prefix + "ours_min_ms"] = Min(ours_) * 1000;
    state.counters[prefix + "ours_med_ms"] = Median(ours_) * 1000;
    state.counters[prefix + "base_min_ms"] = Min(baseline_) * 1000;
    state.counters[prefix + "base_med_ms"] = Median(baseline_) * 1000;
    state.counters[prefix + "ratio_min"] = Min(ratios);
    state.counters[prefix + "ratio_med"] = Median(ratios);
  }

  static double Min(std::vector<double> v) { return *std::min_element(v.begin(), v.end()); }
  static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }

 private:
  std::vector<double> ours_;
  std::vector<double> baseline_;
};

}  // namespace bench
