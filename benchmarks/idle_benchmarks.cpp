// What the agent costs while nothing happens: wake-ups (voluntary context
// switches: each time a thread blocked, it later woke) and CPU time of each of
// its threads, per minute, from /proc over a window that the benchmark thread
// sleeps through. With the phone plugged in the reader's wait slices of
// 1000 ms wake it once a second; with none there is no reader and the window
// thread waits for messages that do not come.
#include "idle_benchmarks.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "live_agent.h"
#include "thread_usage.h"

namespace {

constexpr double kSecondsPerMinute = 60.0;
// WaitUntilIdle counts a thread idle once it is inside its wait; the kernel
// counts the block a moment later, when the thread actually sleeps. Without
// this pause that block could fall into the window.
constexpr auto kSettleBeforeWindow = std::chrono::milliseconds(200);

// The kernel's name of a simulated desktop thread.
std::string OsThreadName(DWORD simulatedId) {
    char name[16];
    std::snprintf(name, sizeof(name), "sim %x", static_cast<unsigned>(simulatedId));
    return name;
}

// The change of one thread's usage over the window; zero when the thread is not found.
ThreadUsage Change(const std::map<long, ThreadUsage>& before,
                   const std::map<long, ThreadUsage>& after, const std::string& name) {
    for (const auto& [id, end] : after) {
        if (end.name != name)
            continue;
        const auto start = before.find(id);
        if (start == before.end())
            return {};
        return {name, end.voluntarySwitches - start->second.voluntarySwitches,
                end.runNanoseconds - start->second.runNanoseconds};
    }
    return {};
}

void ReportPerMinute(benchmark::State& state, const char* thread, const ThreadUsage& change,
                     double seconds) {
    const double scale = kSecondsPerMinute / seconds;
    state.counters[std::string(thread) + "_wakeups_per_min"] =
        static_cast<double>(change.voluntarySwitches) * scale;
    state.counters[std::string(thread) + "_cpu_us_per_min"] =
        static_cast<double>(change.runNanoseconds) / 1000.0 * scale;
}

void BM_Idle(benchmark::State& state, bool phonePlugged, double seconds) {
    std::string error;
    LiveAgent* agent = LiveAgent::Get(error);
    if (agent == nullptr || !agent->SetPhonePlugged(phonePlugged, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::string window = OsThreadName(agent->WindowThreadId());
    const DWORD readerId = agent->ReaderThreadId();
    ThreadUsage windowChange;
    ThreadUsage readerChange;
    std::this_thread::sleep_for(kSettleBeforeWindow);
    for (auto _ : state) {
        const auto before = SampleThreads();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const auto after = SampleThreads();
        windowChange = Change(before, after, window);
        if (readerId != 0)
            readerChange = Change(before, after, OsThreadName(readerId));
        state.SetIterationTime(seconds);
    }
    if (agent->ReaderThreadId() != readerId)
        state.SkipWithError("the reader changed during the window");
    ReportPerMinute(state, "window_thread", windowChange, seconds);
    ReportPerMinute(state, "reader_thread", readerChange, seconds);
    const ResidentMemory memory = SampleMemory();
    state.counters["rss_kb"] = static_cast<double>(memory.totalKb);
    state.counters["rss_anon_kb"] = static_cast<double>(memory.anonymousKb);
    // The latency benchmarks expect the phone.
    if (!phonePlugged && !agent->SetPhonePlugged(true, error))
        state.SkipWithError(error.c_str());
}

}  // namespace

void RegisterIdleBenchmarks(double seconds) {
    for (const bool plugged : {true, false}) {
        benchmark::RegisterBenchmark(plugged ? "BM_Idle/phone_plugged" : "BM_Idle/no_phone",
                                     BM_Idle, plugged, seconds)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    }
}
