// agent_demo: plays a scenario against the unchanged agent in the simulated
// desktop and prints what happens. See PrintHelp for the events.
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "scenario.h"
#include "scenario_play.h"
#include "session.h"
#include "timeline.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadScenario = 2;

void PrintHelp(std::ostream& out) {
    out << "Usage: agent_demo [FILE | - | --help]\n"
           "\n"
           "Runs the agent in a simulated desktop with a simulated call application and a\n"
           "simulated USB phone, plays a scenario and prints a timeline. FILE is a scenario\n"
           "file, - reads the scenario from standard input; with neither, a built-in session\n"
           "plays: an incoming call answered and ended on the phone, a call answered in the\n"
           "application, and a missed call.\n"
           "\n";
    demo::PrintScenarioHelp(out, demo::kPhoneButtons);
    out << "\n"
           "Exit code 0 when the scenario played to its end; 2 for an unknown event, a\n"
           "malformed line or an event that cannot happen then (the message names the line).\n";
}

int Fail(const std::string& message) {
    std::cerr << "agent_demo: " << message << std::endl;
    return kExitBadScenario;
}

// Gives why the scenario stopped, once the session has been torn down.
std::optional<std::string> PlayScenario(std::istream& scenario, const std::string& source) {
    demo::Timeline timeline(std::cout);
    demo::Session session(timeline);
    return demo::PlayScenario(scenario, source, timeline, session, demo::kPhoneButtons);
}

int Play(std::istream& scenario, const std::string& source) {
    const std::optional<std::string> stopped = PlayScenario(scenario, source);
    return stopped ? Fail(*stopped) : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2)
        return Fail("one scenario at most (agent_demo --help)");
    const std::string argument = argc == 2 ? argv[1] : "";
    if (argument == "--help" || argument == "-h") {
        PrintHelp(std::cout);
        return kExitOk;
    }
    if (argument.empty()) {
        std::istringstream builtIn{std::string(demo::BuiltInScenario())};
        return Play(builtIn, "built-in scenario");
    }
    if (argument == "-")
        return Play(std::cin, "standard input");
    if (argument.starts_with("-"))
        return Fail("unknown option " + argument + " (agent_demo --help)");
    std::ifstream file(argument);
    if (!file)
        return Fail("cannot read " + argument);
    return Play(file, argument);
}
