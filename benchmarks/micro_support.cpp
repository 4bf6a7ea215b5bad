#include "micro_support.h"

#include <string>

#include "hid/device_record.h"

OpenedPhone::OpenedPhone() {
    const std::wstring path = simdesk::SimulatedPhone::TelephonyPath();
    opened_ = phone_.Plug() && OpenTargetDevice(std::string(path.begin(), path.end()).c_str());
}

OpenedPhone::~OpenedPhone() {
    CloseTargetDevice();
}

void ReportAllocations(benchmark::State& state, const AllocationCounter& counter) {
    state.counters["allocations"] = benchmark::Counter(static_cast<double>(counter.count()),
                                                       benchmark::Counter::kAvgIterations);
}
