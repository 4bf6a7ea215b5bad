// agent_latency_benchmarks: the running agent in the simulated desktop.
//
//   agent_latency_benchmarks [--agent_events=N] [--agent_idle_seconds=S] [benchmark flags]
//
// --agent_events       events per latency benchmark (default 10000)
// --agent_idle_seconds the idle window, reported per minute (default 10)
// One agent serves every benchmark of the process and is closed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "idle_benchmarks.h"
#include "latency_benchmarks.h"
#include "live_agent.h"

namespace {

constexpr std::size_t kDefaultEvents = 10000;
constexpr double kDefaultIdleSeconds = 10.0;

// Takes `--name=value` out of argv; returns the value, or null when absent.
const char* TakeFlag(int& argc, char** argv, std::string_view name) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg.size() > name.size() + 3 && arg.starts_with("--") &&
            arg.substr(2, name.size()) == name && arg[name.size() + 2] == '=') {
            const char* value = argv[i] + name.size() + 3;
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            return value;
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t events = kDefaultEvents;
    double idleSeconds = kDefaultIdleSeconds;
    if (const char* value = TakeFlag(argc, argv, "agent_events"))
        events = std::strtoul(value, nullptr, /*base=*/10);
    if (const char* value = TakeFlag(argc, argv, "agent_idle_seconds"))
        idleSeconds = std::strtod(value, nullptr);
    if (events == 0 || idleSeconds <= 0) {
        std::fputs(
            "agent_latency_benchmarks: --agent_events and --agent_idle_seconds must be "
            "positive\n",
            stderr);
        return 2;
    }
    // Idle first: the simulated peers log every call, which the process's
    // memory would show after the latency runs.
    RegisterIdleBenchmarks(idleSeconds);
    RegisterLatencyBenchmarks(events);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    const bool closed = LiveAgent::ShutDown();
    benchmark::Shutdown();
    if (!closed) {
        std::fputs("agent_latency_benchmarks: the agent did not close in time\n", stderr);
        std::_Exit(1);  // its thread still runs: no orderly exit under it
    }
    return 0;
}
