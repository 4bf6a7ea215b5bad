// The attach handshake and both directions of the text channel, driven through
// the simulated call application.
#include <gtest/gtest.h>

#include <vector>

#include "agent_session.h"
#include "bridge/bridge_state.h"
#include "bridge/notification_handler.h"

namespace {

using simdesk::AttachReply;
using Strings = std::vector<std::string>;

TEST(Attach, AnApplicationRunningBeforeTheAgentAnswersItsDiscovery) {
    AgentSession session;
    session.app.Start();
    session.StartAgent();
    EXPECT_EQ(session.app.ClientWindow(), session.AgentWindow());
    EXPECT_EQ(CallStateCopy().apiWindow, session.app.ApiWindow());
    EXPECT_EQ(session.Notify("CALL 1 STATUS RINGING"), 1);
    EXPECT_EQ(Texts(session.app), Strings{"GET CALL 1 TYPE"});
}

TEST(Attach, AnApplicationStartingAfterTheAgentMakesItDiscoverAgain) {
    AgentSession session;
    session.StartAgent();
    EXPECT_EQ(CallStateCopy().apiWindow, nullptr);
    session.app.Start();
    session.Settle();
    EXPECT_EQ(CallStateCopy().apiWindow, session.app.ApiWindow());
    EXPECT_EQ(session.Notify("CALL 2 STATUS RINGING"), 1);
}

TEST(Attach, DiscoverAgainResultStartsANewDiscovery) {
    AgentSession session;
    session.app.SetAttachReply(AttachReply::DiscoverAgainFirst);
    session.app.Start();
    session.StartAgent();
    EXPECT_EQ(CallStateCopy().apiWindow, session.app.ApiWindow());
}

TEST(Attach, WithoutAnAnswerNothingIsAcceptedAndNothingSent) {
    AgentSession session;
    session.app.SetAttachReply(AttachReply::Never);
    session.app.Start();
    session.StartAgent();
    EXPECT_EQ(CallStateCopy().apiWindow, nullptr);
    EXPECT_EQ(session.Notify("CALL 3 STATUS RINGING"), 0);
    EXPECT_EQ(CallStateCopy().callSeen, 0);
    EXPECT_TRUE(Texts(session.app).empty());
}

TEST(Attach, ASlowAnswerIsTakenWhenItComes) {
    AgentSession session;
    session.app.SetAttachReply(AttachReply::OnRequest);
    session.app.Start();
    session.StartAgent();
    EXPECT_EQ(session.Notify("CALL 4 STATUS RINGING"), 0);
    ASSERT_TRUE(session.app.AnswerDiscovery());
    session.Settle();
    EXPECT_EQ(session.Notify("CALL 4 STATUS RINGING"), 1);
    EXPECT_EQ(Texts(session.app), Strings{"GET CALL 4 TYPE"});
}

TEST(Attach, OtherResultCodesChangeNothing) {
    AgentSession session;
    session.app.Start();
    session.StartAgent();
    const HWND api = CallStateCopy().apiWindow;
    for (LPARAM code : {LPARAM{1}, LPARAM{2}, LPARAM{3}, LPARAM{0x8000}, LPARAM{-1}}) {
        EXPECT_EQ(
            SendMessageW(session.AgentWindow(), RegisterWindowMessageW(L"SkypeControlAPIAttach"),
                         /*wParam=*/0, code),
            1);
        EXPECT_EQ(CallStateCopy().apiWindow, api) << "result code " << code;
    }
}

TEST(Attach, ASecondAttachMovesBothDirectionsToTheNewWindow) {
    AgentSession session;
    session.app.Start();
    session.StartAgent();
    const HWND first = session.app.ApiWindow();
    session.app.AttachAgain();
    session.Settle();
    const HWND second = session.app.ApiWindow();
    ASSERT_NE(first, second);
    EXPECT_EQ(CallStateCopy().apiWindow, second);
    EXPECT_EQ(session.Notify("CALL 5 STATUS RINGING"), 1);
    const std::vector<simdesk::ReceivedCommand> commands = session.app.Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].text, "GET CALL 5 TYPE");
    EXPECT_EQ(commands[0].apiWindowIndex, 1);
}

TEST(Intake, RefusesStrangersAndTakesEveryTextFromTheApiWindow) {
    AgentSession session;
    session.app.Start();
    session.StartAgent();
    EXPECT_EQ(session.app.NotifyFromStranger("CALL 6 STATUS RINGING"), 0);
    session.Settle();
    EXPECT_TRUE(Texts(session.app).empty());
    EXPECT_EQ(CallStateCopy().callSeen, 0);
    // Texts the agent does not act on are still taken.
    EXPECT_EQ(session.Notify("USERSTATUS ONLINE"), 1);
    EXPECT_EQ(session.Notify(""), 1);
    EXPECT_TRUE(Texts(session.app).empty());
}

TEST(Intake, LongAndUnterminatedPayloadsAreReadSafely) {
    AgentSession session;
    session.app.Start();
    session.StartAgent();
    // No terminator at all: only cbData bytes count.
    const std::string ringing = "CALL 77 STATUS RINGING";
    std::vector<char> unterminated(ringing.begin(), ringing.end());
    EXPECT_EQ(session.app.NotifyBytes(unterminated, static_cast<DWORD>(unterminated.size())), 1);
    session.Settle();
    EXPECT_EQ(Texts(session.app), Strings{"GET CALL 77 TYPE"});

    // Far longer than the intake buffer: cut, never overrun.
    std::vector<char> huge(100000, 'A');
    EXPECT_EQ(session.app.NotifyBytes(huge, static_cast<DWORD>(huge.size())), 1);
    // Cut to the buffer, the keyword is lost: nothing to act on.
    EXPECT_EQ(session.Notify("CALL " + std::string(600, '8') + " STATUS RINGING"), 1);
    EXPECT_EQ(Texts(session.app).size(), 1u);
    // A long id that fits is carried whole.
    const std::string longId(240, '9');
    EXPECT_EQ(session.Notify("CALL " + longId + " STATUS RINGING"), 1);
    const Strings texts = Texts(session.app);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "GET CALL " + longId + " TYPE");
    EXPECT_TRUE(session.AgentRunning());
}

TEST(Commands, AnEmptyCommandIsNeverSent) {
    AgentSession session;
    session.app.Start();
    session.StartAgent();
    // A ringing notification whose id and keyword leave nothing else still sends
    // a non-empty command; no notification ever leads to an empty one.
    EXPECT_EQ(session.Notify("STATUS RINGING"), 1);
    for (const std::string& text : Texts(session.app))
        EXPECT_FALSE(text.empty());
    EXPECT_EQ(Texts(session.app), Strings{"GET CALL TYPE"});
}

// The call application goes away with a call answered on the phone, another
// waiting and a third announced: every call ends, nothing waits, the lights go
// out, and nothing is sent until the application attaches again.
TEST(ApplicationGone, EveryCallEndsAndTheAgentAttachesAgain) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    session.app.IncomingCall("1");
    session.Settle();
    session.Lift();
    session.app.IncomingCall("2");
    session.Notify("CALL 3 STATUS RINGING");
    session.Settle();
    ASSERT_STREQ(CallStateCopy().waitingCallId.data(), "2 ");
    ASSERT_STREQ(CallStateCopy().newcomerCallId.data(), "3 ");

    OnApplicationGone();
    const CallState gone = CallStateCopy();
    EXPECT_EQ(gone.apiWindow, nullptr);
    EXPECT_EQ(gone.currentCallId[0], '\0');
    EXPECT_EQ(gone.waitingCallId[0], '\0');
    EXPECT_EQ(gone.newcomerCallId[0], '\0');
    EXPECT_EQ(gone.callActive, 0);
    session.app.ClearCommands();
    session.Replace();
    EXPECT_EQ(Texts(session.app), Strings{});
    EXPECT_EQ(Leds(session.phone), "ring=off off-hook=off");

    session.app.AttachAgain();
    session.Settle();
    EXPECT_EQ(CallStateCopy().apiWindow, session.app.ApiWindow());
    session.app.IncomingCall("4");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), "ring=on off-hook=off");
    session.Lift();
    EXPECT_EQ(Texts(session.app), (Strings{"GET CALL 4 TYPE", "SET CALL 4  STATUS INPROGRESS",
                                           "ALTER CALL 4  START_VIDEO_SEND"}));
}

// What is lit goes out when the application goes away or the session ends; a
// call answered in the application leaves Off-Hook lit otherwise.
class LightsOut : public testing::TestWithParam<bool> {};

TEST_P(LightsOut, WhenTheApplicationGoesOrTheSessionEnds) {
    const bool sessionEnds = GetParam();
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    session.app.IncomingCall("1");
    session.Settle();
    session.app.AnswerCall("1");
    session.Settle();
    ASSERT_EQ(Leds(session.phone), "ring=off off-hook=on");
    if (sessionEnds)
        OnSessionEnding();
    else
        OnApplicationGone();
    EXPECT_EQ(Leds(session.phone), "ring=off off-hook=off");
}

INSTANTIATE_TEST_SUITE_P(ApplicationGone, LightsOut, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& param) {
                             return param.param ? "SessionEnding" : "ApplicationGone";
                         });

}  // namespace
