#include "press_timings.h"

#include <algorithm>
#include <cmath>
#include <iomanip>

namespace scenario_player {

namespace {

constexpr double kMedian = 0.50;
constexpr double kTail = 0.99;

// Nearest rank of a sorted, non-empty list.
double Percentile(const std::vector<double>& sorted, double fraction) {
    const auto rank =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

}  // namespace

void PressTimings::Injected(const std::string& kind, Clock::time_point at) {
    std::lock_guard guard(lock_);
    waiting_ = kind;
    injectedAt_ = at;
}

void PressTimings::CommandArrived(Clock::time_point at) {
    std::lock_guard guard(lock_);
    if (!waiting_)
        return;
    const std::chrono::duration<double, std::milli> latency = at - injectedAt_;
    samples_[*waiting_].push_back(latency.count());
    waiting_.reset();
}

void PressTimings::Settled() {
    std::lock_guard guard(lock_);
    waiting_.reset();
}

void PressTimings::Print(std::ostream& out) const {
    std::lock_guard guard(lock_);
    out << "press to command, ms (injected report to the command's arrival, one clock):\n";
    if (samples_.empty())
        out << "  no press caused a command\n";
    for (const auto& [kind, samples] : samples_) {
        std::vector<double> sorted = samples;
        std::sort(sorted.begin(), sorted.end());
        out << "  " << std::left << std::setw(16) << kind << std::right << " n=" << sorted.size()
            << std::fixed << std::setprecision(3) << "  p50=" << Percentile(sorted, kMedian)
            << "  p99=" << Percentile(sorted, kTail) << "  max=" << sorted.back() << "\n";
    }
}

}  // namespace scenario_player
