// A moment awaited by the benchmark thread and stamped on the thread where it
// happens: the benchmark arms it with what it waits for, an observer of the
// simulated desktop stamps the first match, and the benchmark waits for the
// stamp with a time-out. No polling: the observer wakes the waiter.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class Arrival {
  public:
    using Clock = std::chrono::steady_clock;

    // Forgets any earlier stamp; from now on the first offer of `what` counts.
    void Arm(std::string what);
    // From an observer: stamps `at` when armed for exactly `what`.
    void Offer(std::string_view what, Clock::time_point at);
    // The stamp, or nothing when `timeout` passed first. Disarms.
    std::optional<Clock::time_point> Wait(std::chrono::milliseconds timeout);
    // What the last Arm asked for, for error messages.
    std::string Awaited() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable stamped_;
    bool armed_ = false;
    std::string what_;
    std::optional<Clock::time_point> at_;
};
