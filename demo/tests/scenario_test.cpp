// Scenario lines as a person writes them: what each becomes, and the message a
// mistake gives.
#include "scenario.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>

namespace demo {
namespace {

constexpr std::array kButtons{7, 8};

struct EventCase {
    std::string_view line;
    EventKind kind;
    std::string_view callId;
    std::string_view status;
    std::string_view text;
    int button;
};

TEST(ScenarioLine, EventsAndTheirArguments) {
    const EventCase cases[] = {
        {"app incoming 1234", EventKind::AppIncoming, "1234", "", "", 0},
        {"  app\tanswer   a-b_c  ", EventKind::AppAnswer, "a-b_c", "", "", 0},
        {"app end 9 BUSY", EventKind::AppEnd, "9", "BUSY", "", 0},
        {"app notify CALL 7 STATUS  RINGING ", EventKind::AppNotify, "", "",
         "CALL 7 STATUS  RINGING ", 0},
        {"app notify  lead blank kept", EventKind::AppNotify, "", "", " lead blank kept", 0},
        {"app notify #not a comment", EventKind::AppNotify, "", "", "#not a comment", 0},
        {"phone lift\r", EventKind::PhoneLift, "", "", "", 0},
        {"phone press 7", EventKind::PhonePress, "", "", "", 7},
        {"phone release 8", EventKind::PhoneRelease, "", "", "", 8},
        {"session disconnect", EventKind::SessionDisconnect, "", "", "", 0},
        {"start", EventKind::Start, "", "", "", 0},
        {" quit", EventKind::Quit, "", "", "", 0},
    };
    for (const EventCase& row : cases) {
        SCOPED_TRACE(std::string("line: \"") + std::string(row.line) + "\"");
        const ParsedLine parsed = ParseLine(row.line, kButtons);
        const auto* event = std::get_if<Event>(&parsed);
        ASSERT_NE(event, nullptr);
        EXPECT_EQ(event->kind, row.kind);
        EXPECT_EQ(event->callId, row.callId);
        EXPECT_EQ(event->status, row.status);
        EXPECT_EQ(event->text, row.text);
        EXPECT_EQ(event->button, row.button);
    }
}

TEST(ScenarioLine, BlanksAndComments) {
    EXPECT_TRUE(std::holds_alternative<Blank>(ParseLine("", kButtons)));
    EXPECT_TRUE(std::holds_alternative<Blank>(ParseLine(" \t \r", kButtons)));
    const ParsedLine comment = ParseLine("   # the phone rings", kButtons);
    ASSERT_TRUE(std::holds_alternative<Comment>(comment));
    EXPECT_EQ(std::get<Comment>(comment).text, "# the phone rings");
}

struct ErrorCase {
    std::string_view line;
    std::string_view message;
};

TEST(ScenarioLine, MistakesSayWhatWasExpected) {
    const ErrorCase cases[] = {
        {"dance", "unknown event \"dance\" (see --help)"},
        {"App start", "unknown event \"App\" (see --help)"},
        {"phone jump",
         "unknown event \"phone jump\" (phone events: plug, unplug, lift, replace, press, "
         "release, mute)"},
        {"session", "\"session\" needs an event: lock, unlock, disconnect, connect, end"},
        {"app incoming", "\"app incoming\" needs one call id, such as: app incoming 1234"},
        {"app incoming 1 2", "\"app incoming\" needs one call id, such as: app incoming 1234"},
        {"app end 1", "\"app end\" needs a call id and a status, such as: app end 1234 BUSY"},
        {"phone lift now", "\"phone lift\" takes nothing after it, got \"now\""},
        {"start 2", "\"start\" takes nothing after it, got \"2\""},
        {"app notify", "\"app notify\" needs the notification text after it"},
        {"app notify ", "\"app notify\" needs the notification text after it"},
        {"phone press", "\"phone press\" needs a button the phone has (7, 8)"},
        {"phone press 9", "\"phone press\" needs a button the phone has (7, 8), got \"9\""},
        {"phone press 7x", "\"phone press\" needs a button the phone has (7, 8), got \"7x\""},
        {"phone release -7", "\"phone release\" needs a button the phone has (7, 8), got \"-7\""},
        {"phone press 99999999999999999999",
         "\"phone press\" needs a button the phone has (7, 8), got \"99999999999999999999\""},
    };
    for (const ErrorCase& row : cases) {
        SCOPED_TRACE(std::string("line: \"") + std::string(row.line) + "\"");
        const ParsedLine parsed = ParseLine(row.line, kButtons);
        const auto* error = std::get_if<ParseError>(&parsed);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->message, row.message);
    }
}

// Every event of the table reads back as it was written: the table, the parser
// and Describe agree.
TEST(ScenarioLine, EveryEventReadsBackAsWritten) {
    for (const EventSyntax& syntax : EventTable()) {
        std::string line(syntax.words);
        switch (syntax.argument) {
            case Argument::None:
                break;
            case Argument::CallId:
                line += " 42";
                break;
            case Argument::CallIdStatus:
                line += " 42 FAILED";
                break;
            case Argument::Text:
                line += " CALL 42 STATUS RINGING";
                break;
            case Argument::Button:
                line += " 8";
                break;
        }
        SCOPED_TRACE(line);
        const ParsedLine parsed = ParseLine(line, kButtons);
        const auto* event = std::get_if<Event>(&parsed);
        ASSERT_NE(event, nullptr);
        EXPECT_EQ(event->kind, syntax.kind);
        EXPECT_EQ(Describe(*event), line);
        EXPECT_EQ(SyntaxOf(syntax.kind).words, syntax.words);
    }
}

TEST(ScenarioLine, BuiltInScenarioHasOnlyValidLines) {
    std::istringstream scenario{std::string(BuiltInScenario())};
    int lineNumber = 0;
    int events = 0;
    for (std::string line; std::getline(scenario, line);) {
        ++lineNumber;
        SCOPED_TRACE("built-in line " + std::to_string(lineNumber) + ": " + line);
        const ParsedLine parsed = ParseLine(line, kButtons);
        EXPECT_FALSE(std::holds_alternative<ParseError>(parsed));
        events += std::holds_alternative<Event>(parsed) ? 1 : 0;
    }
    EXPECT_GT(events, 0);
}

}  // namespace
}  // namespace demo
