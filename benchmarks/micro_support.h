// What the micro benchmarks share: the phone opened as the agent's device
// record, and allocation counts reported per iteration.
#pragma once

#include <benchmark/benchmark.h>

#include <optional>

#include "allocation_counter.h"
#include "simdesk/desktop.h"
#include "simdesk/phone.h"

// The simulated phone plugged in and opened into the agent's device record, as
// the agent's activation would; no agent runs. Closed again at the end of the scope.
class OpenedPhone {
  public:
    OpenedPhone();
    ~OpenedPhone();
    OpenedPhone(const OpenedPhone&) = delete;
    OpenedPhone& operator=(const OpenedPhone&) = delete;
    bool ok() const { return opened_; }
    simdesk::SimulatedPhone& phone() { return phone_; }

  private:
    simdesk::DesktopThread thread_;
    simdesk::SimulatedPhone phone_;
    bool opened_ = false;
};

// Sets the counter "allocations": heap allocations of this thread per iteration.
void ReportAllocations(benchmark::State& state, const AllocationCounter& counter);
