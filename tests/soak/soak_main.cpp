// agent_soak: a seeded run of many calls of every kind on the whole agent in
// the simulated desktop, with random delays at the desktop's thread hand-offs,
// every step checked against the agent's rules (call_checker.h).
//
//   agent_soak [--seed N] [--calls N] [--jitter on|off] [--max-delay-us N]
//
// Prints what it played and checked, the process's memory and handles at the
// start and the end, and for a failure the seed, the call and the step. Exits
// non-zero on any broken invariant, handle left open or allocations that keep
// growing.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "call_steps.h"
#include "call_world.h"
#include "process_figures.h"
#include "simdesk/jitter.h"
#include "soak_calls.h"

namespace {

constexpr unsigned kWarmUpCalls = 300;  // by then every bounded log of the parties is full
// How far the live allocations may drift after the warm-up: they wander by a
// few dozen with what is in flight; a block kept per call grows past this.
constexpr std::int64_t kAllocationDrift = 256;
constexpr unsigned kProgressEvery = 1000;
// Restarts of the application on a settled world before the calls: each is a
// new process and new windows, attached and followed by the agent. A block kept
// per restart shows here at once, where the end check needs thousands of calls.
constexpr unsigned kRestarts = 64;
constexpr std::int64_t kRestartDrift = 8;

struct Options {
    std::uint64_t seed = 1;
    unsigned calls = 10000;
    bool jitter = true;
    unsigned maxDelayUs = 300;
};

[[noreturn]] void Usage() {
    std::fprintf(stderr,
                 "usage: agent_soak [--seed N] [--calls N] [--jitter on|off] [--max-delay-us N]\n");
    std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            Usage();
        const std::string value = argv[++i];
        char* end = nullptr;
        const unsigned long long number = std::strtoull(value.c_str(), &end, 10);
        const bool numeric = !value.empty() && *end == '\0';
        if (option == "--seed" && numeric) {
            options.seed = number;
        } else if (option == "--calls" && numeric && number > 0) {
            options.calls = static_cast<unsigned>(number);
        } else if (option == "--max-delay-us" && numeric) {
            options.maxDelayUs = static_cast<unsigned>(number);
        } else if (option == "--jitter" && (value == "on" || value == "off")) {
            options.jitter = value == "on";
        } else {
            Usage();
        }
    }
    return options;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintJitter() {
    const simdesk::JitterCounts counts = simdesk::JitterTotals();
    std::printf("jitter: %llu hand-offs, %llu delayed (%.1f ms in all):",
                static_cast<unsigned long long>(counts.TotalPassed()),
                static_cast<unsigned long long>(counts.TotalDelayed()),
                static_cast<double>(counts.delayedMicroseconds) / 1000.0);
    for (std::size_t i = 0; i < simdesk::kHandOffCount; ++i) {
        std::printf("%s %s %llu/%llu", i == 0 ? "" : ",",
                    simdesk::HandOffName(static_cast<simdesk::HandOff>(i)),
                    static_cast<unsigned long long>(counts.delayed[i]),
                    static_cast<unsigned long long>(counts.passed[i]));
    }
    std::printf("\n");
}

void PrintTotals(const CallPlayer& player, const SoakCalls& calls, unsigned played) {
    std::printf("calls: %u\n", played);
    for (const auto& [what, count] : calls.tally())
        std::printf("  %6llu  %s\n", static_cast<unsigned long long>(count), what.c_str());
    const CheckCounts& counts = player.counts();
    std::printf("steps: %llu, of them races: %llu (press first %llu, later %llu, dropped %llu)\n",
                static_cast<unsigned long long>(player.steps()),
                static_cast<unsigned long long>(player.races()),
                static_cast<unsigned long long>(counts.racesPressFirst),
                static_cast<unsigned long long>(counts.racesPressLater),
                static_cast<unsigned long long>(counts.racesPressDropped));
    std::printf("states of the agent: at most %zu explained the steps at once\n",
                player.mostStates());
    std::printf(
        "presses: %llu, %llu of them answered by their command; "
        "notifications checked: %llu; commands checked: %llu\n",
        static_cast<unsigned long long>(counts.presses),
        static_cast<unsigned long long>(counts.pressesActedOn),
        static_cast<unsigned long long>(counts.notificationsChecked),
        static_cast<unsigned long long>(counts.commandsChecked));
}

// False, with the figures printed, when restarting the application leaves
// allocations or handles behind.
bool RestartsLeaveNothing(CallWorld& world) {
    // The first restart may make records kept for the rest of the run.
    world.RestartApplication();
    world.Settle();
    const ProcessFigures before = TakeProcessFigures();
    for (unsigned i = 0; i < kRestarts; ++i) {
        world.RestartApplication();
        world.Settle();
    }
    const ProcessFigures after = TakeProcessFigures();
    std::printf("after %u restarts of the application: %s\n", kRestarts + 1,
                Describe(after).c_str());
    if (after.handles == before.handles &&
        after.liveAllocations - before.liveAllocations <= kRestartDrift)
        return true;
    std::printf("FAILED: %u restarts of the application: %s before, %s after\n", kRestarts,
                Describe(before).c_str(), Describe(after).c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("agent soak: seed %llu, %u calls, timing jitter ",
                static_cast<unsigned long long>(options.seed), options.calls);
    if (options.jitter)
        std::printf("on (0 to %u us at each hand-off, half of them undelayed)\n",
                    options.maxDelayUs);
    else
        std::printf("off\n");

    const auto started = std::chrono::steady_clock::now();
    int failures = 0;
    {
        CallWorld world;
        const ProcessFigures start = TakeProcessFigures();
        std::printf("start: %s\n", Describe(start).c_str());
        if (!RestartsLeaveNothing(world))
            ++failures;
        if (options.jitter)
            simdesk::EnableJitter({options.seed, options.maxDelayUs, /*undelayedPercent=*/50});

        CallPlayer player(world);
        SoakCalls calls(options.seed, player, world.phone);
        unsigned played = 0;
        bool ok = true;
        std::optional<ProcessFigures> warm;
        for (; played < options.calls && ok; ++played) {
            ok = calls.Call(played);
            if (!ok)
                break;
            if (played + 1 == kWarmUpCalls) {
                warm = TakeProcessFigures();
                std::printf("after %u calls: %s\n", kWarmUpCalls, Describe(*warm).c_str());
            }
            if ((played + 1) % kProgressEvery == 0) {
                const ProcessFigures now = TakeProcessFigures();
                std::printf("  %u calls, %.1f s, heap in use %zu B, %lld live allocations\n",
                            played + 1, SecondsSince(started), now.heapBytes,
                            static_cast<long long>(now.liveAllocations));
            }
        }
        ok = ok && calls.Restore();
        simdesk::DisableJitter();
        world.Settle();
        const ProcessFigures end = TakeProcessFigures();

        PrintTotals(player, calls, played);
        PrintJitter();
        std::printf("end: %s\n", Describe(end).c_str());
        if (!ok) {
            ++failures;
            std::printf("FAILED: seed %llu, call %u: %s\n",
                        static_cast<unsigned long long>(options.seed), played + 1,
                        calls.failure().c_str());
            std::printf("replay: agent_soak --seed %llu --calls %u --jitter %s\n",
                        static_cast<unsigned long long>(options.seed), played + 1,
                        options.jitter ? "on" : "off");
        } else if (end.handles != start.handles) {
            ++failures;
            std::printf("FAILED: seed %llu: open handles %s at the end, %s at the start\n",
                        static_cast<unsigned long long>(options.seed),
                        DescribeHandles(end.handles).c_str(),
                        DescribeHandles(start.handles).c_str());
        } else if (warm && end.liveAllocations - warm->liveAllocations > kAllocationDrift) {
            ++failures;
            std::printf(
                "FAILED: seed %llu: %lld live allocations at the end, %lld after %u calls\n",
                static_cast<unsigned long long>(options.seed),
                static_cast<long long>(end.liveAllocations),
                static_cast<long long>(warm->liveAllocations), kWarmUpCalls);
        }
    }
    std::printf("failures: %d\ntime: %.1f s\n", failures, SecondsSince(started));
    return failures == 0 ? 0 : 1;
}
