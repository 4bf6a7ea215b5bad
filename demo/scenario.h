// Scenario lines: one event per line, whole-line "#" comments, blank lines.
// Parsing knows nothing of the desktop, so it can be checked on its own.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace demo {

enum class EventKind {
    AppStart,
    AppStop,
    AppNotify,
    AppIncoming,
    AppOutgoing,
    AppAnswer,
    AppHangUp,
    AppMiss,
    AppRefuse,
    AppEnd,
    PhonePlug,
    PhoneUnplug,
    PhoneLift,
    PhoneReplace,
    PhonePress,
    PhoneRelease,
    PhoneMute,
    SessionLock,
    SessionUnlock,
    SessionDisconnect,
    SessionConnect,
    SessionEnd,
    Start,
    Quit,
};

// What follows an event's words.
enum class Argument {
    None,
    CallId,        // one word
    CallIdStatus,  // a call id and an end status word
    Text,          // the rest of the line, as is
    Button,        // a button number the phone has
};

struct EventSyntax {
    EventKind kind;
    std::string_view words;  // "app incoming"
    Argument argument;
    std::string_view what;  // what happens, for the timeline and --help
    std::string_view note;  // more for --help, or empty
};

// Every event, in the order --help lists them.
std::span<const EventSyntax> EventTable();
const EventSyntax& SyntaxOf(EventKind kind);

struct Event {
    EventKind kind = EventKind::Start;
    std::string callId;  // CallId, CallIdStatus
    std::string status;  // CallIdStatus
    std::string text;    // Text
    int button = 0;      // Button
};

struct Blank {};
struct Comment {
    std::string text;  // the line without its leading blanks
};
struct ParseError {
    std::string message;  // without the line number
};

using ParsedLine = std::variant<Blank, Comment, Event, ParseError>;

// `buttons` are the button numbers the phone has.
ParsedLine ParseLine(std::string_view line, std::span<const int> buttons);

// The event as a scenario line would spell it.
std::string Describe(const Event& event);

// The session played when no scenario is given.
std::string_view BuiltInScenario();

}  // namespace demo
