// The LED write: SetIndicator opens the device, reads its descriptor, builds
// one output report and writes it, for every change (indicator changes are a
// few per call, so no handle is kept). Beside it, for what that choice costs:
// the same platform calls without the agent's own code, and the report alone
// written through a handle and descriptor kept open.
#include <benchmark/benchmark.h>

#include <array>
#include <mutex>
#include <string>

#include "hid/indicator_output.h"
#include "hid/target_device.h"
#include "micro_support.h"
#include "simdesk/devices.h"

namespace {

using simdesk::SimulatedPhone;

constexpr std::size_t kReportRoom = 64;

// Ring on and off in turn, so that every write changes the LED.
bool NextState(std::size_t& writes) {
    return (writes++ & 1u) == 0;
}

std::size_t OpensSoFar(const SimulatedPhone& phone) {
    return simdesk::OpenCountSincePlug(phone.Id(), SimulatedPhone::kTelephonyInterface);
}

// The report SetIndicator builds, into `report`, and the write.
void WriteRingReport(HANDLE device, PHIDP_PREPARSED_DATA descriptor, char* report, ULONG length,
                     bool on) {
    HIDP_BUTTON_CAPS cap{};
    USHORT capCount = 1;
    HidP_GetSpecificButtonCaps(HidP_Output, target_device::kLedPage, /*LinkCollection=*/0,
                               target_device::kRingLed, &cap, &capCount, descriptor);
    HidP_InitializeReportForID(HidP_Output, cap.ReportID, descriptor, report, length);
    USAGE usage[1] = {target_device::kRingLed};
    ULONG usageCount = 1;
    if (on) {
        HidP_SetUsages(HidP_Output, target_device::kLedPage, /*LinkCollection=*/0, usage,
                       &usageCount, descriptor, report, length);
    } else {
        HidP_UnsetUsages(HidP_Output, target_device::kLedPage, /*LinkCollection=*/0, usage,
                         &usageCount, descriptor, report, length);
    }
    DWORD written = 0;
    WriteFile(device, report, length, &written, nullptr);
}

void ForgetDevicePath() {
    std::lock_guard lock(devicePathRecord.lock);
    devicePathRecord.path.reset();
    devicePathRecord.length = 0;
}

void BM_SetIndicator(benchmark::State& state) {
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
    if (!phone.Plug()) {
        state.SkipWithError("the phone did not plug in");
        return;
    }
    SetDevicePath(SimulatedPhone::TelephonyPath().c_str());
    std::size_t writes = 0;
    const std::size_t opensBefore = OpensSoFar(phone);
    AllocationCounter counter;
    for (auto _ : state)
        benchmark::DoNotOptimize(SetIndicator(target_device::kRingLed, NextState(writes)));
    ReportAllocations(state, counter);
    state.counters["device_opens"] = benchmark::Counter(
        static_cast<double>(OpensSoFar(phone) - opensBefore), benchmark::Counter::kAvgIterations);
    if (phone.LedReportCount() != writes)
        state.SkipWithError("not every write reached the phone");
    ForgetDevicePath();
}
BENCHMARK(BM_SetIndicator);

// SetIndicator's platform calls with buffers of its own: the simulated
// desktop's share of the figures above.
void BM_SetIndicatorPlatformCalls(benchmark::State& state) {
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
    if (!phone.Plug()) {
        state.SkipWithError("the phone did not plug in");
        return;
    }
    const std::wstring path = SimulatedPhone::TelephonyPath();
    std::array<char, kReportRoom> report{};
    std::size_t writes = 0;
    AllocationCounter counter;
    for (auto _ : state) {
        const HANDLE device =
            CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
        PHIDP_PREPARSED_DATA descriptor = nullptr;
        HidD_GetPreparsedData(device, &descriptor);
        HIDP_CAPS caps{};
        HidP_GetCaps(descriptor, &caps);
        WriteRingReport(device, descriptor, report.data(), caps.OutputReportByteLength,
                        NextState(writes));
        HidD_FreePreparsedData(descriptor);
        CloseHandle(device);
    }
    ReportAllocations(state, counter);
    if (phone.LedReportCount() != writes)
        state.SkipWithError("not every write reached the phone");
}
BENCHMARK(BM_SetIndicatorPlatformCalls);

// The report alone, through a handle and descriptor opened once.
void BM_LedWriteOnOpenHandle(benchmark::State& state) {
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
    if (!phone.Plug()) {
        state.SkipWithError("the phone did not plug in");
        return;
    }
    const HANDLE device =
        CreateFileW(SimulatedPhone::TelephonyPath().c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    PHIDP_PREPARSED_DATA descriptor = nullptr;
    HIDP_CAPS caps{};
    if (device == INVALID_HANDLE_VALUE || !HidD_GetPreparsedData(device, &descriptor) ||
        HidP_GetCaps(descriptor, &caps) != HIDP_STATUS_SUCCESS) {
        state.SkipWithError("the phone did not open");
        return;
    }
    std::array<char, kReportRoom> report{};
    std::size_t writes = 0;
    AllocationCounter counter;
    for (auto _ : state) {
        WriteRingReport(device, descriptor, report.data(), caps.OutputReportByteLength,
                        NextState(writes));
    }
    ReportAllocations(state, counter);
    HidD_FreePreparsedData(descriptor);
    CloseHandle(device);
    if (phone.LedReportCount() != writes)
        state.SkipWithError("not every write reached the phone");
}
BENCHMARK(BM_LedWriteOnOpenHandle);

}  // namespace
