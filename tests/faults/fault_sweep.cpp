// The fault sweep: for each Win32 function the agent calls, fails its Nth call
// for every N that a fault-free run makes, each case in a fresh process forked
// before any thread exists, and checks that the agent neither crashes, hangs,
// nor leaks, and works again once the fault has cleared.
//
//   fault_sweep                      every function
//   fault_sweep --function NAME ...  only these
//   fault_sweep --case NAME:PHASE:N  one case, with its findings
//   fault_sweep --functions NAME...  checks that these are exactly the functions
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "fault_scenario.h"

extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

namespace {

using namespace fault_sweep;
namespace faults = simdesk::faults;
using Clock = std::chrono::steady_clock;

// Far beyond a case's few hundred milliseconds, even under a sanitizer: a
// case still running then has hung.
constexpr std::chrono::seconds kCaseTimeout{60};
constexpr int kPollSliceMs = 100;

// ---- A report through a pipe, one line per fact ----

void WriteCheckpoint(std::ostream& out, const char* name, const Checkpoint& checkpoint) {
    out << "checkpoint " << name << ' ' << checkpoint.liveAgentBlocks;
    for (const auto& [kind, count] : checkpoint.handles)
        out << ' ' << kind << ' ' << count;
    out << '\n';
}

std::string Serialize(const RunReport& report) {
    std::ostringstream out;
    for (const auto& [phase, counts] : report.calls) {
        for (std::size_t i = 0; i < counts.size(); ++i)
            out << "calls " << static_cast<int>(phase) << ' ' << i << ' ' << counts[i] << '\n';
    }
    out << "injected " << report.injected << '\n';
    WriteCheckpoint(out, "phoneUnplugged", report.phoneUnplugged);
    WriteCheckpoint(out, "working", report.working);
    WriteCheckpoint(out, "ended", report.ended);
    for (const std::string& failure : report.failures)
        out << "failure " << failure << '\n';
    return out.str();
}

RunReport Deserialize(const std::string& text) {
    RunReport report;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "calls") {
            int phase = 0;
            std::size_t index = 0;
            std::size_t count = 0;
            in >> phase >> index >> count;
            if (index < faults::kCallKinds)
                report.calls[static_cast<Phase>(phase)][index] = count;
        } else if (key == "injected") {
            in >> report.injected;
        } else if (key == "checkpoint") {
            std::string name;
            Checkpoint checkpoint;
            in >> name >> checkpoint.liveAgentBlocks;
            std::string kind;
            for (std::size_t count = 0; in >> kind >> count;)
                checkpoint.handles[kind] = count;
            (name == "phoneUnplugged" ? report.phoneUnplugged
             : name == "working"      ? report.working
                                      : report.ended) = checkpoint;
        } else if (key == "failure") {
            report.failures.push_back(line.substr(key.size() + 1));
        }
    }
    return report;
}

// ---- One run in a child process ----

struct Outcome {
    RunReport report;
    std::string problem;  // crash, hang or failed checks; empty when it survived
};

[[noreturn]] void RunInChild(int output, const std::optional<Fault>& fault,
                             const RunReport* baseline) {
    RunReport report = Run(fault, baseline);
    if (__lsan_do_recoverable_leak_check != nullptr && __lsan_do_recoverable_leak_check() != 0)
        report.failures.push_back("LeakSanitizer found leaks (above)");
    const std::string text = Serialize(report);
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = write(output, text.data() + done, text.size() - done);
        if (written <= 0)
            break;
        done += static_cast<std::size_t>(written);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(report.failures.empty() ? 0 : 1);
}

Outcome RunCase(const std::optional<Fault>& fault, const RunReport* baseline) {
    int channel[2];
    if (pipe(channel) != 0)
        return {{}, "no pipe"};
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0)
        return {{}, "no fork"};
    if (child == 0) {
        close(channel[0]);
        RunInChild(channel[1], fault, baseline);
    }
    close(channel[1]);
    std::string text;
    bool hung = false;
    const Clock::time_point deadline = Clock::now() + kCaseTimeout;
    for (;;) {
        pollfd readable{channel[0], POLLIN, 0};
        if (poll(&readable, 1, kPollSliceMs) > 0) {
            char buffer[4096];
            const ssize_t got = read(channel[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (Clock::now() > deadline) {
            hung = true;
            kill(child, SIGKILL);
            break;
        }
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);

    Outcome outcome{Deserialize(text), ""};
    if (hung) {
        outcome.problem = "hung (no end within " + std::to_string(kCaseTimeout.count()) + " s)";
    } else if (WIFSIGNALED(status)) {
        outcome.problem = std::string("crashed: ") + strsignal(WTERMSIG(status));
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !outcome.report.failures.empty()) {
        outcome.problem = "failed";
        for (const std::string& failure : outcome.report.failures)
            outcome.problem += "\n      " + failure;
        if (outcome.report.failures.empty())
            outcome.problem += " with exit status " + std::to_string(WEXITSTATUS(status));
    }
    return outcome;
}

// ---- The sweep ----

struct FunctionTally {
    std::size_t calls[2] = {0, 0};  // per phase
    std::size_t cases = 0;
    std::size_t injected = 0;
    std::size_t survived = 0;
};

std::string CaseName(const Fault& fault) {
    return std::string(faults::CallName(fault.call)) + ':' + PhaseName(fault.phase) + ':' +
           std::to_string(fault.nth);
}

std::optional<Fault> ParseCase(const std::string& text) {
    const std::size_t first = text.find(':');
    const std::size_t second = text.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos)
        return std::nullopt;
    const std::optional<faults::Call> call = faults::CallNamed(text.substr(0, first));
    const std::string phase = text.substr(first + 1, second - first - 1);
    if (!call || (phase != "scenario" && phase != "close"))
        return std::nullopt;
    return Fault{*call, phase == "scenario" ? Phase::Scenario : Phase::Close,
                 std::stoul(text.substr(second + 1))};
}

// For the build's list of tests: the names given are exactly the functions.
bool ListsEveryFunction(int count, char** names) {
    std::vector<bool> listed(faults::kCallKinds, false);
    bool ok = count == faults::kCallKinds;
    for (int i = 0; i < count; ++i) {
        const std::optional<faults::Call> call = faults::CallNamed(names[i]);
        ok = ok && call.has_value() && !listed[static_cast<std::size_t>(*call)];
        if (call)
            listed[static_cast<std::size_t>(*call)] = true;
    }
    for (int i = 0; i < faults::kCallKinds; ++i) {
        if (!listed[static_cast<std::size_t>(i)])
            std::printf("not listed: %s\n",
                        std::string(faults::CallName(static_cast<faults::Call>(i))).c_str());
    }
    return ok;
}

int Usage() {
    std::fprintf(stderr, "usage: fault_sweep [--function NAME]... | --case NAME:PHASE:N\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<faults::Call> calls;
    std::optional<Fault> single;
    if (argc > 1 && std::string(argv[1]) == "--functions")
        return ListsEveryFunction(argc - 2, argv + 2) ? 0 : 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--function" && i + 1 < argc) {
            const std::optional<faults::Call> call = faults::CallNamed(argv[++i]);
            if (!call)
                return Usage();
            calls.push_back(*call);
        } else if (arg == "--case" && i + 1 < argc) {
            single = ParseCase(argv[++i]);
            if (!single)
                return Usage();
        } else {
            return Usage();
        }
    }
    if (calls.empty() && !single) {
        for (int i = 0; i < faults::kCallKinds; ++i)
            calls.push_back(static_cast<faults::Call>(i));
    }

    const Clock::time_point start = Clock::now();
    const Outcome baseline = RunCase(std::nullopt, nullptr);
    if (!baseline.problem.empty()) {
        std::printf("the fault-free run %s\n", baseline.problem.c_str());
        return 1;
    }
    if (single) {
        const Outcome outcome = RunCase(single, &baseline.report);
        std::printf("%s: %s, %s\n", CaseName(*single).c_str(),
                    outcome.report.injected ? "injected" : "not injected",
                    outcome.problem.empty() ? "survived" : outcome.problem.c_str());
        return outcome.problem.empty() ? 0 : 1;
    }

    std::vector<std::string> problems;
    std::vector<std::pair<faults::Call, FunctionTally>> tallies;
    for (const faults::Call call : calls) {
        FunctionTally tally;
        for (const Phase phase : kPhases) {
            const std::size_t count =
                baseline.report.calls.at(phase)[static_cast<std::size_t>(call)];
            tally.calls[static_cast<int>(phase)] = count;
            for (std::size_t nth = 1; nth <= count; ++nth) {
                const Fault fault{call, phase, nth};
                const Outcome outcome = RunCase(fault, &baseline.report);
                ++tally.cases;
                tally.injected += outcome.report.injected ? 1 : 0;
                if (!outcome.report.injected) {
                    // The run took another course than the fault-free one: nothing was tested.
                    problems.push_back(CaseName(fault) + " not injected " + outcome.problem);
                } else if (outcome.problem.empty()) {
                    ++tally.survived;
                } else {
                    problems.push_back(CaseName(fault) + " " + outcome.problem);
                }
            }
        }
        tallies.emplace_back(call, tally);
    }

    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-32s %9s %6s %9s %9s  %s\n", "function", "scenario", "close", "injected",
                "survived", "once the fault clears");
    for (const auto& [call, tally] : tallies) {
        const Recovery recovery = ExpectedRecovery(Fault{call, Phase::Scenario, 1});
        std::printf("%-32s %9zu %6zu %9zu %9zu  %s\n", std::string(faults::CallName(call)).c_str(),
                    tally.calls[0], tally.calls[1], tally.injected, tally.survived,
                    RecoveryName(recovery));
    }
    std::printf("%zu functions, %.1f s\n", tallies.size(), seconds);
    for (const std::string& problem : problems)
        std::printf("FAILED %s\n", problem.c_str());
    if (!problems.empty())
        std::printf("reproduce one with: fault_sweep --case NAME:PHASE:N\n");
    return problems.empty() ? 0 : 1;
}

// Under ThreadSanitizer a race ends the case at once, so that the parent sees
// it: the child leaves by _exit, past the sanitizer's exit status.
extern "C" const char* __tsan_default_options() {
    return "halt_on_error=1";
}
