#include "scenario_play.h"

#include <algorithm>
#include <variant>

namespace demo {

namespace {

// What earlier events made true; the agent's running state comes from the world.
struct PlayedSoFar {
    bool started = false;
    bool quit = false;
    bool appRunning = false;
    bool phonePlugged = false;
};

std::optional<std::string> Refusal(const Event& event, const PlayedSoFar& played,
                                   bool agentRunning) {
    if (played.quit)
        return "nothing may follow \"quit\"";
    switch (event.kind) {
        case EventKind::Start:
            if (played.started)
                return "the agent has started already (\"start\" comes once)";
            return std::nullopt;
        case EventKind::Quit:
            if (!agentRunning)
                return "the agent is not running (\"start\" first)";
            return std::nullopt;
        case EventKind::AppStart:
            if (played.appRunning)
                return "the call application runs already";
            return std::nullopt;
        case EventKind::PhonePlug:
            if (played.phonePlugged)
                return "the phone is plugged in already";
            return std::nullopt;
        case EventKind::PhoneUnplug:
        case EventKind::PhoneLift:
        case EventKind::PhoneReplace:
        case EventKind::PhonePress:
        case EventKind::PhoneRelease:
        case EventKind::PhoneMute:
            if (!played.phonePlugged)
                return "the phone is not plugged in (\"phone plug\" first)";
            return std::nullopt;
        case EventKind::SessionLock:
        case EventKind::SessionUnlock:
        case EventKind::SessionDisconnect:
        case EventKind::SessionConnect:
        case EventKind::SessionEnd:
            return std::nullopt;
        default:  // the other app events
            if (!played.appRunning)
                return "the call application is not running (\"app start\" first)";
            return std::nullopt;
    }
}

void Record(const Event& event, PlayedSoFar& played) {
    switch (event.kind) {
        case EventKind::Start:
            played.started = true;
            break;
        case EventKind::Quit:
            played.quit = true;
            break;
        case EventKind::AppStart:
        case EventKind::AppStop:
            played.appRunning = event.kind == EventKind::AppStart;
            break;
        case EventKind::PhonePlug:
        case EventKind::PhoneUnplug:
            played.phonePlugged = event.kind == EventKind::PhonePlug;
            break;
        default:
            break;
    }
}

std::string ArgumentPlaceholder(Argument argument) {
    switch (argument) {
        case Argument::None:
            return "";
        case Argument::CallId:
            return " <id>";
        case Argument::CallIdStatus:
            return " <id> <STATUS>";
        case Argument::Text:
            return " <text>";
        case Argument::Button:
            return " <n>";
    }
    return "";
}

}  // namespace

void World::Play(const Event& event) {
    switch (event.kind) {
        case EventKind::Start:
            StartAgent();
            break;
        case EventKind::Quit:
            QuitAgent();
            break;
        case EventKind::PhonePlug:
        case EventKind::PhoneUnplug:
        case EventKind::PhoneLift:
        case EventKind::PhoneReplace:
        case EventKind::PhonePress:
        case EventKind::PhoneRelease:
        case EventKind::PhoneMute:
            PlayPhone(event);
            break;
        case EventKind::SessionLock:
        case EventKind::SessionUnlock:
        case EventKind::SessionDisconnect:
        case EventKind::SessionConnect:
        case EventKind::SessionEnd:
            PlaySession(event);
            break;
        default:
            PlayApp(event);
            break;
    }
    Settle();
}

std::optional<std::string> PlayScenario(std::istream& scenario, const std::string& source,
                                        Timeline& timeline, World& world,
                                        std::span<const int> buttons) {
    PlayedSoFar played;
    int lineNumber = 0;
    for (std::string line; std::getline(scenario, line);) {
        ++lineNumber;
        const ParsedLine parsed = ParseLine(line, buttons);
        const auto stop = [&](const std::string& reason) {
            return source + ", line " + std::to_string(lineNumber) + ": " + reason;
        };
        if (const auto* error = std::get_if<ParseError>(&parsed))
            return stop(error->message);
        if (const auto* comment = std::get_if<Comment>(&parsed)) {
            timeline.Comment(comment->text);
            continue;
        }
        const auto* event = std::get_if<Event>(&parsed);
        if (event == nullptr)
            continue;
        if (const std::optional<std::string> refused =
                Refusal(*event, played, world.AgentRunning()))
            return stop(*refused);
        timeline.Step(lineNumber, Describe(*event), SyntaxOf(event->kind).what);
        world.Play(*event);
        Record(*event, played);
        // Whether the agent found the phone is otherwise invisible until a call lights it.
        const bool mayHaveOpened =
            event->kind == EventKind::PhonePlug || event->kind == EventKind::Start;
        if (mayHaveOpened && played.phonePlugged && world.AgentRunning())
            timeline.PhoneOpened(world.AgentHasPhoneOpen());
    }
    if (world.AgentRunning()) {
        timeline.EndOfScenario();
        Event quit;
        quit.kind = EventKind::Quit;
        world.Play(quit);
    }
    return std::nullopt;
}

void PrintScenarioHelp(std::ostream& out, std::span<const int> buttons) {
    out << "A scenario holds one event per line; blank lines and lines starting with # are\n"
           "skipped (comments are echoed). Events:\n";
    for (const EventSyntax& syntax : EventTable()) {
        std::string usage = std::string(syntax.words) + ArgumentPlaceholder(syntax.argument);
        usage.resize(std::max<std::size_t>(usage.size() + 1, 26), ' ');
        out << "  " << usage << syntax.what;
        if (!syntax.note.empty())
            out << " (" << syntax.note << ")";
        out << "\n";
    }
    out << "<id> is a call id (one word); <text> is the rest of the line after one blank,\n"
           "sent as is; <n> is a button the phone has:";
    for (const int button : buttons)
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
           "Other lines (\"-- LINE: event (what happens)\") are for people.\n";
}

}  // namespace demo
