// callapp_standin.exe: the call application stand-in, driven from scripts.
// Test-only; never shipped.
//
//   callapp_standin.exe [--no-attach] [--answer-type TYPE] STEP...
//
// Options (before the steps):
//   --no-attach             do not answer discovery broadcasts with the attach message
//   --answer-type TYPE      answer "GET CALL <id> TYPE" with "CALL <id> TYPE TYPE"
// Steps, run in order; "the agent" is the window that last broadcast discovery
// (or that --find-agent found):
//   --start PROGRAM         start PROGRAM (Windows or Unix path) as a separate process;
//                           whatever is still running of it is killed when the stand-in exits
//   --find-agent            take the agent's window by its class name QUILLONSKYPEPLUGIN
//   --wait-discover MS      wait up to MS ms for a discovery broadcast not yet reported
//   --wait-attached MS      wait up to MS ms until the agent accepts notifications
//   --discover-again        post the attach result 0x8001 (the agent discovers again)
//   --notify TEXT           send the notification TEXT; prints the agent's result
//   --expect-command TEXT MS  wait up to MS ms for the command TEXT (exact match)
//   --close-agent MS        post WM_CLOSE to the agent and wait up to MS ms for its exit
//
// Output, one line per event, in order:
//   discover window=0x1234 pid=56
//   agent window=0x1234 pid=56
//   notify "CALL 1 STATUS RINGING" result=1
//   command "GET CALL 1 TYPE"
//   exit code=0
//   failed: <step and reason>
// Exit status: 0 when every step succeeded; 1 at the first step that failed
// (the rest are skipped); 2 for a usage error.
//
// Example: start the agent, check it discovers and asks for the call type.
//   callapp_standin.exe --start QuillonSkypePlugIn.exe --wait-discover 5000
//       --wait-attached 2000 --notify "CALL 1 STATUS RINGING"
//       --expect-command "GET CALL 1 TYPE" 2000 --close-agent 5000
#include "agent_process.h"
#include "call_app_standin.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

using standin::Millis;

struct Session {
    standin::CallAppStandIn* standIn;
    std::vector<std::unique_ptr<standin::ChildProcess>> started;
    HWND agent = nullptr;
    std::size_t discoversReported = 0;
    std::size_t commandsReported = 0;
    // Commands before this index have been matched by --expect-command.
    std::size_t commandsMatched = 0;
};

void Print(const char* format, auto... values) {
    std::printf(format, values...);
    std::fflush(stdout);
}

bool Fail(std::string_view step, std::string_view reason) {
    Print("failed: %.*s: %.*s\n", static_cast<int>(step.size()), step.data(),
          static_cast<int>(reason.size()), reason.data());
    return false;
}

std::optional<Millis> ParseMillis(std::string_view text) {
    unsigned long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return Millis{value};
}

void ReportDiscovers(Session& session) {
    std::vector<standin::DiscoverSeen> seen = session.standIn->discovers();
    for (; session.discoversReported < seen.size(); ++session.discoversReported) {
        HWND window = seen[session.discoversReported].broadcaster;
        session.agent = window;
        Print("discover window=%p pid=%lu\n", static_cast<void*>(window),
              standin::WindowProcessId(window));
    }
}

void ReportCommands(Session& session) {
    std::vector<std::string> texts = session.standIn->commandTexts();
    for (; session.commandsReported < texts.size(); ++session.commandsReported) {
        Print("command \"%s\"\n", texts[session.commandsReported].c_str());
    }
}

bool CloseAgent(Session& session, Millis timeout) {
    if (session.agent == nullptr) {
        return Fail("--close-agent", "no agent window known");
    }
    DWORD process = standin::WindowProcessId(session.agent);
    HANDLE handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (handle == nullptr) {
        return Fail("--close-agent", "cannot open the agent's process");
    }
    PostMessageW(session.agent, WM_CLOSE, 0, 0);
    DWORD code = 0;
    bool ended =
        WaitForSingleObject(handle, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(handle, &code) != 0;
    CloseHandle(handle);
    if (!ended) {
        return Fail("--close-agent", "the agent did not exit in time");
    }
    Print("exit code=%lu\n", code);
    return true;
}

// Runs the step at args[0]; `used` is set to the number of arguments it took.
bool RunStep(Session& session, std::span<char*> args, std::size_t& used) {
    const std::string_view step = args[0];
    auto argument = [&](std::size_t index) -> std::optional<std::string_view> {
        if (index >= args.size()) {
            return std::nullopt;
        }
        used = std::max(used, index + 1);
        return std::string_view(args[index]);
    };
    auto millis = [&](std::size_t index) -> std::optional<Millis> {
        auto text = argument(index);
        return text ? ParseMillis(*text) : std::nullopt;
    };
    used = 1;

    if (step == "--start") {
        auto program = argument(1);
        if (!program) {
            return Fail(step, "needs a program");
        }
        session.started.push_back(
            std::make_unique<standin::ChildProcess>(standin::WindowsPath(*program)));
        return session.started.back()->started() || Fail(step, "cannot start the program");
    }
    if (step == "--find-agent") {
        session.agent = FindWindowW(standin::kAgentWindowClass, nullptr);
        if (session.agent == nullptr) {
            return Fail(step, "no window of class QUILLONSKYPEPLUGIN");
        }
        Print("agent window=%p pid=%lu\n", static_cast<void*>(session.agent),
              standin::WindowProcessId(session.agent));
        return true;
    }
    if (step == "--wait-discover") {
        auto timeout = millis(1);
        if (!timeout) {
            return Fail(step, "needs a time-out in ms");
        }
        bool seen = session.standIn->waitForDiscovers(session.discoversReported + 1, *timeout);
        ReportDiscovers(session);
        return seen || Fail(step, "no discovery broadcast");
    }
    if (step == "--wait-attached") {
        auto timeout = millis(1);
        if (!timeout) {
            return Fail(step, "needs a time-out in ms");
        }
        return session.standIn->waitUntilAccepted(session.agent, *timeout) ||
               Fail(step, "the agent refused every notification");
    }
    if (step == "--discover-again") {
        return session.standIn->postAttach(session.agent, standin::kAttachDiscoverAgain) ||
               Fail(step, "cannot post to the agent");
    }
    if (step == "--notify") {
        auto text = argument(1);
        if (!text) {
            return Fail(step, "needs a text");
        }
        std::optional<LRESULT> result = session.standIn->notify(session.agent, *text);
        ReportCommands(session);
        if (!result) {
            return Fail(step, "the send failed or timed out");
        }
        Print("notify \"%.*s\" result=%lld\n", static_cast<int>(text->size()), text->data(),
              static_cast<long long>(*result));
        return true;
    }
    if (step == "--expect-command") {
        auto text = argument(1);
        auto timeout = millis(2);
        if (!text || !timeout) {
            return Fail(step, "needs a text and a time-out in ms");
        }
        const auto deadline = standin::Clock::now() + *timeout;
        for (std::size_t count = session.commandsMatched + 1;; ++count) {
            auto left = std::chrono::duration_cast<Millis>(deadline - standin::Clock::now());
            if (!session.standIn->waitForCommands(count, std::max(left, Millis{0}))) {
                ReportCommands(session);
                return Fail(step, "command not received");
            }
            std::vector<std::string> texts = session.standIn->commandTexts();
            if (texts[count - 1] == *text) {
                session.commandsMatched = count;
                ReportCommands(session);
                return true;
            }
        }
    }
    if (step == "--close-agent") {
        auto timeout = millis(1);
        if (!timeout) {
            return Fail(step, "needs a time-out in ms");
        }
        return CloseAgent(session, *timeout);
    }
    used = 0;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::span<char*> args(argv + 1, static_cast<std::size_t>(std::max(argc - 1, 0)));
    standin::Options options;
    while (!args.empty()) {
        std::string_view option = args[0];
        if (option == "--no-attach") {
            options.answerDiscover = false;
            args = args.subspan(1);
        } else if (option == "--answer-type" && args.size() >= 2) {
            options.answerCallType = args[1];
            args = args.subspan(2);
        } else {
            break;
        }
    }

    standin::CallAppStandIn standIn(options);
    if (!standIn.ready()) {
        Print("failed: cannot create the API windows\n");
        return kExitFailed;
    }
    Session session{&standIn, {}};
    while (!args.empty()) {
        std::size_t used = 0;
        bool ok = RunStep(session, args, used);
        if (used == 0) {
            Print("usage error: unknown step %s (see the top of callapp_standin_main.cpp)\n",
                  args[0]);
            return kExitUsage;
        }
        if (!ok) {
            return kExitFailed;
        }
        args = args.subspan(used);
    }
    ReportDiscovers(session);
    ReportCommands(session);
    return kExitOk;
}
