// One run of the agent in the simulated desktop, with at most one injected
// fault: a full scenario with the fault armed, then, with the fault cleared,
// checks that the agent still answers and works again, and the agent closed.
// Each run needs a process of its own (the agent keeps process-wide records).
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "simdesk/faults.h"

namespace fault_sweep {

// The two windows a fault may be armed in: the scenario (start-up, calls,
// unplug and plug, session lock) and the agent's close with a call ringing.
enum class Phase { Scenario, Close };
inline constexpr std::array<Phase, 2> kPhases = {Phase::Scenario, Phase::Close};
const char* PhaseName(Phase phase);

struct Fault {
    simdesk::faults::Call call;
    Phase phase;
    std::size_t nth;  // 1 for the first call in the phase
};

using HandleCounts = std::map<std::string, std::size_t>;

// What a run observed at its fixed points, for comparing with a fault-free run.
struct Checkpoint {
    HandleCounts handles;
    std::size_t liveAgentBlocks = 0;  // nothrow blocks the agent holds
};

struct RunReport {
    // Agent calls per function in each phase.
    std::map<Phase, std::array<std::size_t, simdesk::faults::kCallKinds>> calls;
    bool injected = false;
    Checkpoint phoneUnplugged;  // recovery, between unplug and plug
    Checkpoint working;         // recovery done, before the close
    Checkpoint ended;           // agent closed, phone unplugged, application stopped
    std::vector<std::string> failures;
};

// What the agent is expected to do again once a fault has cleared. Start-up
// subscriptions that fail are ignored by design, and never retried.
enum class Recovery {
    Full,
    Unattached,   // no message ids: never attaches, hears no notification
    SessionDeaf,  // no session subscription: lock and unlock go unheard
    DeviceDeaf,   // no device subscription: a phone plugged in later is not seen
};
Recovery ExpectedRecovery(const Fault& fault);
const char* RecoveryName(Recovery recovery);

// Runs the whole thing in this process. `baseline` is a fault-free run's
// report, to compare with; absent for the fault-free run itself.
RunReport Run(const std::optional<Fault>& fault, const RunReport* baseline);

}  // namespace fault_sweep
