// The conversion against a minimal hand-written loop that computes the same
// dates with plain arithmetic and no checks.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "src/ordalen.h"

namespace {

std::vector<int32_t> RandomCounts() {
  std::mt19937 gen(12345);
  std::uniform_int_distribution<int32_t> dist(kMinDays, INT32_MAX);
  std::vector<int32_t> counts(1 << 16);
  for (int32_t& c : counts) c = dist(gen);
  return counts;
}

// Plain unchecked conversion through March-based years: the yardstick.
void MinimalLoop(int32_t days, int32_t& year, uint32_t& month, uint32_t& day) {
  const int64_t z = static_cast<int64_t>(days) - 60;  // day 60 is 0000-03-01
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;                                    // [0, 146096]
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);            // [0, 365]
  const int64_t mp = (5 * doy + 2) / 153;                                  // [0, 11]
  day = static_cast<uint32_t>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<uint32_t>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int32_t>(yoe + era * 400 + (month <= 2));
}

template <void (*Convert)(int32_t, int32_t&, uint32_t&, uint32_t&)>
void BM_Convert(benchmark::State& state) {
  const std::vector<int32_t> counts = RandomCounts();
  std::size_t i = 0;
  for (auto _ : state) {
    int32_t y;
    uint32_t m;
    uint32_t d;
    Convert(counts[i++ & (counts.size() - 1)], y, m, d);
    benchmark::DoNotOptimize(y);
    benchmark::DoNotOptimize(m);
    benchmark::DoNotOptimize(d);
  }
}

BENCHMARK(BM_Convert<Ordalen>)->Name("Ordalen");
BENCHMARK(BM_Convert<MinimalLoop>)->Name("MinimalLoop");

}  // namespace
