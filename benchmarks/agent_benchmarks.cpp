// The two paths whose speed matters: decoding an input report, and a press on
// the phone reaching the call application.
#include <benchmark/benchmark.h>

#include <string>
#include <thread>

#include "app/app_globals.h"
#include "app/run_application.h"
#include "hid/device_record.h"
#include "simdesk/call_app.h"
#include "simdesk/desktop.h"
#include "simdesk/phone.h"

namespace {

using simdesk::SimulatedPhone;

std::string Narrow(const std::wstring& wide) {
    return std::string(wide.begin(), wide.end());
}

void BM_DecodeInputReport(benchmark::State& state) {
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
    phone.Plug();
    if (!OpenTargetDevice(Narrow(SimulatedPhone::TelephonyPath()).c_str())) {
        state.SkipWithError("the phone did not open");
        return;
    }
    const char reports[][2] = {{1, 0x00}, {1, 0x02}, {1, 0x03}, {1, 0x06}};
    std::size_t next = 0;
    for (auto _ : state) {
        const auto& report = reports[next++ % std::size(reports)];
        benchmark::DoNotOptimize(
            UnpackInputReport(report, sizeof(report), deviceRecord.input.items.get(),
                              deviceRecord.input.itemCount, deviceRecord.parsedDescriptor));
    }
    CloseTargetDevice();
}
BENCHMARK(BM_DecodeInputReport);

DWORD WINAPI AgentThread(LPVOID) {
    return static_cast<DWORD>(RunApplication(simdesk::AgentInstance()));
}

// From the phone's report to the answer command arriving at the call application.
void BM_PressToCommand(benchmark::State& state) {
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
    phone.Plug();
    simdesk::CallApplication app;
    app.Start();
    const HANDLE agent = CreateThread(nullptr, 0, AgentThread, nullptr, 0, nullptr);
    simdesk::WaitUntilIdle();
    int call = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string id = std::to_string(++call);
        app.IncomingCall(id);
        simdesk::WaitUntilIdle();
        const std::size_t before = app.CommandCount();
        state.ResumeTiming();

        phone.LiftHandset();
        while (app.CommandCount() == before)
            std::this_thread::yield();

        state.PauseTiming();
        simdesk::WaitUntilIdle();
        phone.ReplaceHandset();
        simdesk::WaitUntilIdle();
        state.ResumeTiming();
    }
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    WaitForSingleObject(agent, INFINITE);
    CloseHandle(agent);
    app.Stop();
}
BENCHMARK(BM_PressToCommand)->Unit(benchmark::kMicrosecond)->Iterations(1000);

}  // namespace

BENCHMARK_MAIN();
