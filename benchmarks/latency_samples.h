// Latencies of one benchmark run and the figures reported from them: p50, p99
// and max (nearest rank) as counters in microseconds, beside Google
// Benchmark's mean.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <vector>

class LatencySamples {
  public:
    explicit LatencySamples(std::size_t expected) { samples_.reserve(expected); }

    // Records one latency and hands it to Google Benchmark as the iteration's time.
    void Add(benchmark::State& state, std::chrono::nanoseconds latency);
    // Sets the counters p50_us, p99_us, max_us and events.
    void Report(benchmark::State& state);

  private:
    std::vector<std::chrono::nanoseconds> samples_;
};

// The smallest sample with at least `percent` of all samples at or below it;
// zero for no samples. `sorted` is in ascending order.
std::chrono::nanoseconds NearestRank(const std::vector<std::chrono::nanoseconds>& sorted,
                                     double percent);
