// Fault injection: per-function counters of the agent's calls and one armed
// failure per function. Lock-free and allocation-free, so that operator new may
// call Inject.
#include "simdesk/faults.h"

#include <array>
#include <atomic>

#include "kernel/kernel_objects.h"
#include "simdesk/win32_kernel.h"

namespace simdesk::faults {
namespace {

constexpr std::array<std::string_view, kCallKinds> kNames = {
    "CreateFileQuery",
    "CreateFileRead",
    "CreateFileWrite",
    "HidD_GetPreparsedData",
    "HidD_GetAttributes",
    "HidP_GetCaps",
    "HidP_GetButtonCaps",
    "HidP_GetValueCaps",
    "HidP_GetSpecificButtonCaps",
    "HidP_MaxUsageListLength",
    "ReadFile",
    "GetOverlappedResult",
    "WriteFile",
    "CreateThread",
    "CreateEventW",
    "RegisterDeviceNotificationW",
    "WTSRegisterSessionNotification",
    "RegisterWindowMessageW",
    "SendMessageTimeoutW",
    "SendMessageW",
    "PostMessageW",
    "NothrowNew",
};

constexpr std::size_t kNotArmed = 0;

struct Counter {
    std::atomic<std::size_t> calls{0};
    std::atomic<std::size_t> failAt{kNotArmed};  // in `calls` numbering
    std::atomic<std::size_t> injected{0};
};

std::array<Counter, kCallKinds> counters;
thread_local bool agentThread = false;

Counter& CounterOf(Call call) {
    return counters[static_cast<std::size_t>(call)];
}

}  // namespace

std::string_view CallName(Call call) {
    return kNames[static_cast<std::size_t>(call)];
}

std::optional<Call> CallNamed(std::string_view name) {
    for (int i = 0; i < kCallKinds; ++i) {
        if (kNames[static_cast<std::size_t>(i)] == name)
            return static_cast<Call>(i);
    }
    return std::nullopt;
}

void MarkAgentThread(bool agent) {
    agentThread = agent;
}

bool OnAgentThread() {
    return agentThread;
}

void FailNth(Call call, std::size_t nth) {
    Counter& counter = CounterOf(call);
    counter.failAt = nth == 0 ? kNotArmed : counter.calls.load() + nth;
}

void ClearFaults() {
    for (Counter& counter : counters)
        counter.failAt = kNotArmed;
}

void ResetCounts() {
    for (Counter& counter : counters) {
        counter.failAt = kNotArmed;
        counter.calls = 0;
        counter.injected = 0;
    }
}

std::size_t CallCount(Call call) {
    return CounterOf(call).calls.load();
}

std::size_t InjectedCount(Call call) {
    return CounterOf(call).injected.load();
}

bool Inject(Call call, DWORD error) {
    if (!agentThread)
        return false;
    Counter& counter = CounterOf(call);
    const std::size_t number = counter.calls.fetch_add(1) + 1;
    if (number != counter.failAt.load())
        return false;
    counter.injected.fetch_add(1);
    if (error != 0)
        SetLastErrorValue(error);
    return true;
}

Call CreateFileCall(DWORD desiredAccess) {
    if ((desiredAccess & GENERIC_WRITE) != 0)
        return Call::CreateFileWrite;
    if ((desiredAccess & GENERIC_READ) != 0)
        return Call::CreateFileRead;
    return Call::CreateFileQuery;
}

}  // namespace simdesk::faults
