// scenario_player.exe: plays a scenario against the real QuillonSkypePlugIn.exe
// under Wine and prints the same timeline as agent_demo prints for the simulated
// desktop. See PrintHelp.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "agent_process.h"
#include "control_channel.h"
#include "desktop_lock.h"
#include "floor_run.h"
#include "installer.h"
#include "scenario.h"
#include "scenario_play.h"
#include "timeline.h"
#include "windows_world.h"

namespace {

using scenario_player::PressTimings;

constexpr int kExitOk = 0;
constexpr int kExitNoWorld = 1;
constexpr int kExitBadScenario = 2;
constexpr auto kDeviceTimeout = std::chrono::milliseconds(20000);
constexpr int kMaxFloorCalls = 100000;

void PrintHelp(std::ostream& out) {
    out << "Usage: scenario_player [--timings] [FILE | - | --help]\n"
           "       scenario_player --floor CALLS\n"
           "\n"
           "Plays a scenario against the real QuillonSkypePlugIn.exe under Wine and prints\n"
           "the timeline agent_demo prints for the simulated desktop. The agent runs as a\n"
           "process of its own; this program plays the call application (hidden API windows\n"
           "answering as the simulated one does) and drives the virtual phone, a test-only\n"
           "HID minidriver served by Wine's HID class driver (its driver must be loaded:\n"
           "scripts/run.sh --windows does it). FILE is a scenario file, - reads the scenario\n"
           "from standard input; with neither, agent_demo's built-in session plays.\n"
           "\n"
           "Session events: Wine's session notifications are a stub (the registration\n"
           "succeeds, nothing ever arrives), so this program delivers WM_WTSSESSION_CHANGE\n"
           "itself, with the matching code (WTS_SESSION_LOCK, WTS_SESSION_UNLOCK,\n"
           "WTS_CONSOLE_DISCONNECT, WTS_CONSOLE_CONNECT) and the agent's session id, to the\n"
           "agent's window, as Windows would.\n"
           "\n"
           "--timings  prints at the end, on standard error, p50, p99 and max of the time\n"
           "           from each input report handed to the phone to the arrival of the\n"
           "           command it caused, per kind of press (one clock, in this process).\n"
           "--floor    times floor_reader.exe instead of the agent, as --timings does: it\n"
           "           does no more per press than any reader must (one overlapped read,\n"
           "           one WM_COPYDATA, and before the send of a lift the open, descriptor,\n"
           "           write and close of the agent's Ring write). CALLS lifts and replaces,\n"
           "           then CALLS presses of Button 7; no scenario, no timeline.\n"
           "\n";
    demo::PrintScenarioHelp(out, scenario_player::kPhoneButtons);
    out << "\n"
           "Exit code 0 when the scenario played to its end; 1 when the Wine side is not\n"
           "ready (no virtual phone driver, another agent or test holding the prefix); 2 for\n"
           "an unknown event, a malformed line or an event that cannot happen then.\n";
}

int Fail(int code, const std::string& message) {
    std::cerr << "scenario_player: " << message << std::endl;
    return code;
}

// The phone starts unplugged, whatever an interrupted run left behind.
bool TakeAwayLeftOverPhone(const vphone::ControlChannel& control) {
    VPHONE_STATUS status{};
    if (control.Query(status) != ERROR_SUCCESS)
        return false;
    if (status.present == 0)
        return true;
    vphone::RemovePhone();
    return control.WaitPresent(/*present=*/false, kDeviceTimeout);
}

// Gives why the scenario stopped, once the world has been taken down.
std::optional<std::string> PlayScenario(std::istream& scenario, const std::string& source,
                                        vphone::ControlChannel control, PressTimings& timings) {
    demo::Timeline timeline(std::cout);
    scenario_player::WindowsWorld world(timeline, std::move(control),
                                        standin::WindowsPath(VPHONE_INF_PATH),
                                        standin::WindowsPath(AGENT_EXE_PATH), timings);
    return demo::PlayScenario(scenario, source, timeline, world, scenario_player::kPhoneButtons);
}

struct Arguments {
    bool help = false;
    bool timings = false;
    std::optional<long> floorCalls;       // --floor
    std::optional<std::string> scenario;  // a file or "-"
    std::optional<std::string> error;
};

Arguments Parse(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h")
            arguments.help = true;
        else if (argument == "--timings")
            arguments.timings = true;
        else if (argument == "--floor")
            arguments.floorCalls = i + 1 < argc ? std::strtol(argv[++i], nullptr, 10) : 0;
        else if (argument.starts_with("-") && argument != "-")
            arguments.error = "unknown option " + argument + " (scenario_player --help)";
        else if (arguments.scenario)
            arguments.error = "one scenario at most (scenario_player --help)";
        else
            arguments.scenario = argument;
    }
    if (arguments.floorCalls &&
        (*arguments.floorCalls < 1 || *arguments.floorCalls > kMaxFloorCalls || arguments.scenario))
        arguments.error =
            "--floor takes a number of calls and no scenario (scenario_player --help)";
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    // The timeline is compared byte for byte with the simulated desktop's: no CR.
    _setmode(_fileno(stdout), _O_BINARY);
    const Arguments arguments = Parse(argc, argv);
    if (arguments.error)
        return Fail(kExitBadScenario, *arguments.error);
    if (arguments.help) {
        PrintHelp(std::cout);
        return kExitOk;
    }

    std::unique_ptr<std::istream> file;
    std::istringstream builtIn{std::string(demo::BuiltInScenario())};
    std::istream* scenario = &builtIn;
    std::string source = "built-in scenario";
    if (arguments.scenario == "-") {
        scenario = &std::cin;
        source = "standard input";
    } else if (arguments.scenario) {
        file = std::make_unique<std::ifstream>(
            std::filesystem::path(standin::WindowsPath(*arguments.scenario)));
        if (!*file)
            return Fail(kExitBadScenario, "cannot read " + *arguments.scenario);
        scenario = file.get();
        source = *arguments.scenario;
    }

    const standin::DesktopLock desktop;
    if (!desktop.held())
        return Fail(kExitNoWorld, "a test or another player keeps this Wine prefix's desktop");
    if (HWND other = FindWindowW(standin::kAgentWindowClass, nullptr))
        return Fail(kExitNoWorld, "a copy of the agent already runs in this Wine prefix (process " +
                                      std::to_string(standin::WindowProcessId(other)) + ")");
    std::optional<vphone::ControlChannel> control = vphone::ControlChannel::Open();
    if (!control)
        return Fail(kExitNoWorld,
                    "the virtual phone driver is not loaded (vphone install, then vphone remove)");
    if (!TakeAwayLeftOverPhone(*control))
        return Fail(kExitNoWorld, "a virtual phone left plugged in would not go away");

    PressTimings timings;
    if (arguments.floorCalls) {
        std::string error;
        const bool timed =
            scenario_player::RunFloor(std::move(*control), standin::WindowsPath(VPHONE_INF_PATH),
                                      standin::WindowsPath(FLOOR_READER_PATH),
                                      static_cast<int>(*arguments.floorCalls), timings, error);
        timings.Print(std::cerr);
        return timed ? kExitOk : Fail(kExitNoWorld, error);
    }
    const std::optional<std::string> stopped =
        PlayScenario(*scenario, source, std::move(*control), timings);
    if (arguments.timings)
        timings.Print(std::cerr);
    return stopped ? Fail(kExitBadScenario, *stopped) : kExitOk;
}
