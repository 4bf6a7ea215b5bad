// agent_wine_bench.exe: the real agent under Wine, for scripts/bench.sh. A
// stand-in call application in this process, the agent as a second process.
// Test-side; never shipped.
//
//   agent_wine_bench.exe AGENT.exe startup RUNS
//       starts and closes the agent RUNS times; per run, from CreateProcessW to
//       its discovery broadcast reaching the stand-in, and to its first
//       accepted notification (attached):
//         startup run=1 discovery_ms=812.4 attached_ms=815.0 exit=0
//   agent_wine_bench.exe AGENT.exe hold SECONDS
//       starts the agent, waits until it is attached, prints
//         ready pid=<Windows process id>
//       keeps it SECONDS at rest (no call), then closes it: "exit=0"
//   agent_wine_bench.exe AGENT.exe standin SECONDS
//       the stand-in alone for SECONDS ("ready", then "exit=0"): what the
//       prefix's own processes cost without the agent
//
// Fails (status 1, "failed: ...") when the agent does not discover, attach or
// exit in time, or when a copy already runs in the prefix.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "agent_process.h"
#include "call_app_standin.h"

namespace {

using standin::Clock;
using standin::Millis;

constexpr Millis kStartTimeout{20000};
constexpr Millis kAttachTimeout{5000};
constexpr Millis kExitTimeout{5000};
// The name the Wine tests share: whoever holds it owns the prefix's desktop.
constexpr wchar_t kDesktopLockName[] = L"QuillonWineDesktopTests";
constexpr DWORD kDesktopLockTimeoutMs = 60000;

int Fail(const char* what) {
    std::printf("failed: %s\n", what);
    std::fflush(stdout);
    return 1;
}

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

struct Started {
    std::unique_ptr<standin::ChildProcess> process;
    HWND window = nullptr;
    Clock::duration toDiscovery{};
    Clock::duration toAttached{};
};

std::optional<Started> StartAgent(standin::CallAppStandIn& standIn, const std::wstring& agent) {
    Started started;
    const std::size_t before = standIn.discovers().size();
    const Clock::time_point launched = Clock::now();
    started.process = std::make_unique<standin::ChildProcess>(agent);
    if (!started.process->started() || !standIn.waitForDiscovers(before + 1, kStartTimeout))
        return std::nullopt;
    started.toDiscovery = Clock::now() - launched;
    started.window = standIn.discovers()[before].broadcaster;
    if (!standIn.waitUntilAccepted(started.window, kAttachTimeout))
        return std::nullopt;
    started.toAttached = Clock::now() - launched;
    return started;
}

std::optional<DWORD> CloseAgent(const Started& started) {
    PostMessageW(started.window, WM_CLOSE, 0, 0);
    return started.process->waitForExit(kExitTimeout);
}

int Startup(standin::CallAppStandIn& standIn, const std::wstring& agent, int runs) {
    for (int run = 1; run <= runs; ++run) {
        const auto started = StartAgent(standIn, agent);
        if (!started)
            return Fail("the agent did not discover and attach in time");
        const auto code = CloseAgent(*started);
        if (!code)
            return Fail("the agent did not exit in time");
        std::printf("startup run=%d discovery_ms=%.1f attached_ms=%.1f exit=%lu\n", run,
                    Milliseconds(started->toDiscovery), Milliseconds(started->toAttached), *code);
        std::fflush(stdout);
    }
    return 0;
}

void Rest(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

int StandInAlone(double seconds) {
    std::printf("ready\n");
    std::fflush(stdout);
    Rest(seconds);
    std::printf("exit=0\n");
    return 0;
}

int Hold(standin::CallAppStandIn& standIn, const std::wstring& agent, double seconds) {
    const auto started = StartAgent(standIn, agent);
    if (!started)
        return Fail("the agent did not discover and attach in time");
    std::printf("ready pid=%lu\n", started->process->id());
    std::fflush(stdout);
    Rest(seconds);
    const auto code = CloseAgent(*started);
    if (!code)
        return Fail("the agent did not exit in time");
    std::printf("exit=%lu\n", *code);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc == 4 ? argv[2] : "";
    if (mode != "startup" && mode != "hold" && mode != "standin") {
        std::fputs(
            "usage: agent_wine_bench AGENT.exe startup RUNS | hold SECONDS | standin SECONDS\n",
            stderr);
        return 2;
    }
    const HANDLE desktop = CreateMutexW(nullptr, FALSE, kDesktopLockName);
    const DWORD locked =
        desktop == nullptr ? WAIT_FAILED : WaitForSingleObject(desktop, kDesktopLockTimeoutMs);
    if (locked != WAIT_OBJECT_0 && locked != WAIT_ABANDONED)
        return Fail("another program kept the prefix's desktop");
    if (FindWindowW(standin::kAgentWindowClass, nullptr) != nullptr)
        return Fail("a copy of the agent already runs in this prefix");
    standin::CallAppStandIn standIn;
    if (!standIn.ready())
        return Fail("the stand-in's windows could not be created");
    const std::wstring agent = standin::WindowsPath(argv[1]);
    int status = 0;
    if (mode == "startup") {
        status = Startup(standIn, agent, std::atoi(argv[3]));
    } else if (mode == "hold") {
        status = Hold(standIn, agent, std::atof(argv[3]));
    } else {
        status = StandInAlone(std::atof(argv[3]));
    }
    ReleaseMutex(desktop);
    CloseHandle(desktop);
    return status;
}
