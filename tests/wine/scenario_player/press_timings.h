// How long a press takes to become a command: from the moment the player hands
// the input report to the virtual phone to the moment the command it causes
// reaches the call application's window, both read from one monotonic clock in
// the player's process. Kept per kind of press ("phone lift", "phone press 7").
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace scenario_player {

using Clock = std::chrono::steady_clock;

class PressTimings {
  public:
    // A report of this kind goes to the phone now; the next command is its answer.
    void Injected(const std::string& kind, Clock::time_point at);
    // Any command the application receives; only the first after an injection counts.
    void CommandArrived(Clock::time_point at);
    // The press has settled: a press that caused no command leaves no sample.
    void Settled();

    // p50, p99 and max per kind, in milliseconds; nothing when no press caused a command.
    void Print(std::ostream& out) const;

  private:
    mutable std::mutex lock_;
    std::optional<std::string> waiting_;  // the kind of the press awaiting its command
    Clock::time_point injectedAt_{};
    std::map<std::string, std::vector<double>> samples_;  // milliseconds
};

}  // namespace scenario_player
