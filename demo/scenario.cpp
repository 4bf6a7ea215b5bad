#include "scenario.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

namespace demo {

namespace {

constexpr std::array kEvents{
    EventSyntax{EventKind::AppStart, "app start", Argument::None,
                "the call application starts and answers discovery", ""},
    EventSyntax{EventKind::AppStop, "app stop", Argument::None, "the call application closes", ""},
    EventSyntax{EventKind::AppNotify, "app notify", Argument::Text,
                "the application sends a notification", "any text, sent as is"},
    EventSyntax{EventKind::AppIncoming, "app incoming", Argument::CallId,
                "a call comes in: the application rings", ""},
    EventSyntax{EventKind::AppOutgoing, "app outgoing", Argument::CallId,
                "the person places a call in the application", ""},
    EventSyntax{EventKind::AppAnswer, "app answer", Argument::CallId, "the call goes into progress",
                "answered in the application, or by the far end for an outgoing call"},
    EventSyntax{EventKind::AppHangUp, "app hangup", Argument::CallId, "the far end ends the call",
                ""},
    EventSyntax{EventKind::AppMiss, "app miss", Argument::CallId, "nobody answered: a missed call",
                ""},
    EventSyntax{EventKind::AppRefuse, "app refuse", Argument::CallId,
                "the call is refused in the application", ""},
    EventSyntax{EventKind::AppEnd, "app end", Argument::CallIdStatus,
                "the call ends with another status", "such as FAILED, BUSY or CANCELLED"},
    EventSyntax{EventKind::PhonePlug, "phone plug", Argument::None, "the phone is plugged in", ""},
    EventSyntax{EventKind::PhoneUnplug, "phone unplug", Argument::None, "the phone is unplugged",
                ""},
    EventSyntax{EventKind::PhoneLift, "phone lift", Argument::None, "the handset is lifted", ""},
    EventSyntax{EventKind::PhoneReplace, "phone replace", Argument::None, "the handset is put back",
                ""},
    EventSyntax{EventKind::PhonePress, "phone press", Argument::Button,
                "a button goes down and stays down", ""},
    EventSyntax{EventKind::PhoneRelease, "phone release", Argument::Button, "a button comes up",
                ""},
    EventSyntax{EventKind::PhoneMute, "phone mute", Argument::None,
                "the mute key is pressed and released", ""},
    EventSyntax{EventKind::SessionLock, "session lock", Argument::None, "the session is locked",
                ""},
    EventSyntax{EventKind::SessionUnlock, "session unlock", Argument::None,
                "the session is unlocked", ""},
    EventSyntax{EventKind::SessionDisconnect, "session disconnect", Argument::None,
                "the console is disconnected from the session", ""},
    EventSyntax{EventKind::SessionConnect, "session connect", Argument::None,
                "the console is connected again", ""},
    EventSyntax{EventKind::SessionEnd, "session end", Argument::None,
                "the session ends: the person logs off",
                "WM_QUERYENDSESSION, then WM_ENDSESSION; the agent may be ended after it"},
    EventSyntax{EventKind::Start, "start", Argument::None, "the agent starts",
                "once; events before it act on the desktop only"},
    EventSyntax{EventKind::Quit, "quit", Argument::None, "the agent's window is closed",
                "shows the agent's exit code; no event may follow"},
};

constexpr std::string_view kBlanks = " \t";

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t position = 0;
    while ((position = text.find_first_not_of(kBlanks, position)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(kBlanks, position), text.size());
        words.push_back(text.substr(position, end - position));
        position = end;
    }
    return words;
}

// Built piecewise: GCC 12 (native at -O3, MinGW at -O2) warns falsely
// (-Wrestrict, GCC bug 105651) on a one-character literal plus a temporary std::string.
std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string ButtonList(std::span<const int> buttons) {
    std::string list;
    for (const int button : buttons)
        list += (list.empty() ? "" : ", ") + std::to_string(button);
    return list;
}

// Every event of a group ("phone"), for a message naming what would have been understood.
std::string EventsOfGroup(std::string_view group) {
    std::string list;
    for (const EventSyntax& syntax : kEvents) {
        const std::vector<std::string_view> words = Words(syntax.words);
        if (words.size() == 2 && words[0] == group)
            list += (list.empty() ? "" : ", ") + std::string(words[1]);
    }
    return list;
}

const EventSyntax* FindSyntax(const std::vector<std::string_view>& words) {
    for (const EventSyntax& syntax : kEvents) {
        const std::vector<std::string_view> expected = Words(syntax.words);
        if (words.size() >= expected.size() &&
            std::equal(expected.begin(), expected.end(), words.begin()))
            return &syntax;
    }
    return nullptr;
}

ParseError UnknownEvent(const std::vector<std::string_view>& words) {
    const std::string group = EventsOfGroup(words[0]);
    if (group.empty())
        return {"unknown event " + Quoted(words[0]) + " (see --help)"};
    if (words.size() == 1)
        return {Quoted(words[0]) + " needs an event: " + group};
    return {"unknown event " + Quoted(std::string(words[0]) + " " + std::string(words[1])) + " (" +
            std::string(words[0]) + " events: " + group + ")"};
}

// The text after the event's words and the one blank that separates them.
std::string_view TextAfter(std::string_view line, std::string_view lastWord) {
    const std::size_t end =
        static_cast<std::size_t>(lastWord.data() - line.data()) + lastWord.size();
    return end < line.size() ? line.substr(end + 1) : std::string_view{};
}

ParsedLine ParseArguments(const EventSyntax& syntax, std::string_view line,
                          const std::vector<std::string_view>& words, std::size_t wordCount,
                          std::span<const int> buttons) {
    Event event;
    event.kind = syntax.kind;
    const std::span<const std::string_view> rest(words.begin() + static_cast<long>(wordCount),
                                                 words.end());
    const std::string name = Quoted(syntax.words);
    switch (syntax.argument) {
        case Argument::None:
            if (!rest.empty())
                return ParseError{name + " takes nothing after it, got " + Quoted(rest[0])};
            return event;
        case Argument::CallId:
            if (rest.size() != 1)
                return ParseError{
                    name + " needs one call id, such as: " + std::string(syntax.words) + " 1234"};
            event.callId = rest[0];
            return event;
        case Argument::CallIdStatus:
            if (rest.size() != 2)
                return ParseError{name + " needs a call id and a status, such as: " +
                                  std::string(syntax.words) + " 1234 BUSY"};
            event.callId = rest[0];
            event.status = rest[1];
            return event;
        case Argument::Text:
            event.text = TextAfter(line, words[wordCount - 1]);
            if (event.text.empty())
                return ParseError{name + " needs the notification text after it"};
            return event;
        case Argument::Button: {
            const std::string expected =
                name + " needs a button the phone has (" + ButtonList(buttons) + ")";
            if (rest.size() != 1)
                return ParseError{expected};
            const std::string_view number = rest[0];
            const auto [end, error] =
                std::from_chars(number.data(), number.data() + number.size(), event.button);
            const bool isNumber = error == std::errc{} && end == number.data() + number.size();
            if (!isNumber ||
                std::find(buttons.begin(), buttons.end(), event.button) == buttons.end())
                return ParseError{expected + ", got " + Quoted(number)};
            return event;
        }
    }
    return ParseError{"unreadable event"};
}

}  // namespace

std::span<const EventSyntax> EventTable() {
    return kEvents;
}

const EventSyntax& SyntaxOf(EventKind kind) {
    return *std::find_if(kEvents.begin(), kEvents.end(),
                         [kind](const EventSyntax& syntax) { return syntax.kind == kind; });
}

ParsedLine ParseLine(std::string_view line, std::span<const int> buttons) {
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    const std::size_t start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos)
        return Blank{};
    if (line[start] == '#')
        return Comment{std::string(line.substr(start))};
    const std::vector<std::string_view> words = Words(line);
    const EventSyntax* syntax = FindSyntax(words);
    if (syntax == nullptr)
        return UnknownEvent(words);
    return ParseArguments(*syntax, line, words, Words(syntax->words).size(), buttons);
}

std::string Describe(const Event& event) {
    const EventSyntax& syntax = SyntaxOf(event.kind);
    std::string text(syntax.words);
    switch (syntax.argument) {
        case Argument::None:
            break;
        case Argument::CallId:
            text += " " + event.callId;
            break;
        case Argument::CallIdStatus:
            text += " " + event.callId + " " + event.status;
            break;
        case Argument::Text:
            text += " " + event.text;
            break;
        case Argument::Button:
            text += ' ';  // piecewise, as in Quoted
            text += std::to_string(event.button);
            break;
    }
    return text;
}

std::string_view BuiltInScenario() {
    return R"(# The built-in session: the phone is on the desk and the call application runs.
phone plug
app start
start
# A call comes in; it is answered by lifting the handset and ended by putting it back.
app incoming 1001
phone lift
phone replace
# A call answered in the application; the far end hangs up.
app incoming 1002
app answer 1002
app hangup 1002
# A call nobody answers.
app incoming 1003
app miss 1003
quit
)";
}

}  // namespace demo
