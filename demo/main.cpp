// agent_demo: plays a scenario against the unchanged agent in the simulated
// desktop and prints what happens. See PrintHelp for the events.
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <variant>

#include "scenario.h"
#include "session.h"
#include "timeline.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadScenario = 2;

std::string ArgumentPlaceholder(demo::Argument argument) {
    switch (argument) {
        case demo::Argument::None:
            return "";
        case demo::Argument::CallId:
            return " <id>";
        case demo::Argument::CallIdStatus:
            return " <id> <STATUS>";
        case demo::Argument::Text:
            return " <text>";
        case demo::Argument::Button:
            return " <n>";
    }
    return "";
}

void PrintHelp(std::ostream& out) {
    out << "Usage: agent_demo [FILE | - | --help]\n"
           "\n"
           "Runs the agent in a simulated desktop with a simulated call application and a\n"
           "simulated USB phone, plays a scenario and prints a timeline. FILE is a scenario\n"
           "file, - reads the scenario from standard input; with neither, a built-in session\n"
           "plays: an incoming call answered and ended on the phone, a call answered in the\n"
           "application, and a missed call.\n"
           "\n"
           "A scenario holds one event per line; blank lines and lines starting with # are\n"
           "skipped (comments are echoed). Events:\n";
    for (const demo::EventSyntax& syntax : demo::EventTable()) {
        std::string usage = std::string(syntax.words) + ArgumentPlaceholder(syntax.argument);
        usage.resize(std::max<std::size_t>(usage.size() + 1, 26), ' ');
        out << "  " << usage << syntax.what;
        if (!syntax.note.empty())
            out << " (" << syntax.note << ")";
        out << "\n";
    }
    out << "<id> is a call id (one word); <text> is the rest of the line after one blank,\n"
           "sent as is; <n> is a button the phone has:";
    for (const int button : demo::kPhoneButtons)
        out << " " << button;
    out << ".\n"
           "The end of the scenario closes the agent if it still runs. The call application\n"
           "answers GET CALL and SET CALL commands as the real one does.\n"
           "\n"
           "Timeline lines in fixed form:\n"
           "  app <- \"TEXT\"                       a command the call application received\n"
           "  app -> \"TEXT\"                       a notification the call application sent\n"
           "  phone leds: ring=on|off off-hook=on|off   after each output report to the phone\n"
           "  agent exit N                        the agent's exit code\n"
           "Other lines (\"-- LINE: event (what happens)\") are for people.\n"
           "\n"
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
    int lineNumber = 0;
    for (std::string line; std::getline(scenario, line);) {
        ++lineNumber;
        const demo::ParsedLine parsed = demo::ParseLine(line, demo::kPhoneButtons);
        const auto stop = [&](const std::string& reason) {
            return source + ", line " + std::to_string(lineNumber) + ": " + reason;
        };
        if (const auto* error = std::get_if<demo::ParseError>(&parsed))
            return stop(error->message);
        if (const auto* comment = std::get_if<demo::Comment>(&parsed)) {
            timeline.Comment(comment->text);
            continue;
        }
        const auto* event = std::get_if<demo::Event>(&parsed);
        if (event == nullptr)
            continue;
        if (const std::optional<std::string> refused = session.Refusal(*event))
            return stop(*refused);
        timeline.Step(lineNumber, demo::Describe(*event), demo::SyntaxOf(event->kind).what);
        session.Play(*event);
    }
    session.Finish();
    return std::nullopt;
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
