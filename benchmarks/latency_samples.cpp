#include "latency_samples.h"

#include <algorithm>
#include <cmath>

namespace {

double Microseconds(std::chrono::nanoseconds value) {
    return std::chrono::duration<double, std::micro>(value).count();
}

}  // namespace

void LatencySamples::Add(benchmark::State& state, std::chrono::nanoseconds latency) {
    samples_.push_back(latency);
    state.SetIterationTime(std::chrono::duration<double>(latency).count());
}

void LatencySamples::Report(benchmark::State& state) {
    std::sort(samples_.begin(), samples_.end());
    state.counters["p50_us"] = Microseconds(NearestRank(samples_, /*percent=*/50));
    state.counters["p99_us"] = Microseconds(NearestRank(samples_, /*percent=*/99));
    state.counters["max_us"] = Microseconds(NearestRank(samples_, /*percent=*/100));
    state.counters["events"] = static_cast<double>(samples_.size());
}

std::chrono::nanoseconds NearestRank(const std::vector<std::chrono::nanoseconds>& sorted,
                                     double percent) {
    if (sorted.empty())
        return {};
    const auto rank =
        static_cast<std::size_t>(std::ceil(percent / 100.0 * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}
