// What the other programs may do wrong, played against the whole agent: a call
// application that never attaches, asks to be discovered again and again,
// hangs inside a command, loses its API window or attaches anew mid-call.
// Whatever it does, the agent neither crashes nor hangs, sends only well-formed
// commands, lets go of nothing it holds, and works again afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "agent_session.h"
#include "bridge/bridge_state.h"
#include "hid/hot_plug.h"

namespace {

using Strings = std::vector<std::string>;

constexpr const char* kDark = "ring=off off-hook=off";
constexpr const char* kRinging = "ring=on off-hook=off";
constexpr const char* kAnsweredElsewhere = "ring=off off-hook=on";
constexpr UINT kAnswerTimeoutMs = 5000;

// A bounded send to the agent's window comes back: its thread is not hung.
bool WindowAnswers(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                               &result) != 0;
}

// Polls, for what happens while the desktop never settles.
template <typename Condition>
bool Eventually(Condition condition) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class Outside : public testing::Test {
  protected:
    void StartAll() {
        ASSERT_TRUE(session.phone.Plug());
        session.app.Start();
        session.StartAgent();
        plugged_ = simdesk::OpenHandleCounts();
    }

    Strings NewCommands() {
        const Strings all = Texts(session.app);
        Strings fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return fresh;
    }

    // A call answered on the phone, then one answered in the application.
    void ExpectWorks(const std::string& onPhone, const std::string& inApplication) {
        SCOPED_TRACE("the agent works again");
        NewCommands();
        session.app.IncomingCall(onPhone);
        session.Settle();
        EXPECT_EQ(Leds(session.phone), kRinging);
        session.Lift();
        session.Replace();
        EXPECT_EQ(NewCommands(), (Strings{"GET CALL " + onPhone + " TYPE",
                                          "SET CALL " + onPhone + "  STATUS INPROGRESS",
                                          "ALTER CALL " + onPhone + "  START_VIDEO_SEND",
                                          "SET CALL " + onPhone + "  STATUS FINISHED"}));
        EXPECT_EQ(Leds(session.phone), kDark);

        session.app.IncomingCall(inApplication);
        session.Settle();
        EXPECT_EQ(Leds(session.phone), kRinging);
        session.app.AnswerCall(inApplication);
        session.Settle();
        EXPECT_EQ(Leds(session.phone), kAnsweredElsewhere);
        session.app.FarEndHangUp(inApplication);
        session.Settle();
        EXPECT_EQ(Leds(session.phone), kDark);
        EXPECT_EQ(NewCommands(), Strings{"GET CALL " + inApplication + " TYPE"});
    }

    // Everything the agent opened for the phone and its reader is as it was
    // with the phone plugged and idle.
    // Attached since, the agent also holds the application's process, to notice its end.
    void ExpectHandlesAsAtStart() {
        std::map<std::string, std::size_t> expected = plugged_;
        if (CallStateCopy().apiWindow != nullptr)
            expected["process"] = 1;
        EXPECT_EQ(simdesk::OpenHandleCounts(), expected);
    }

    AgentSession session;

  private:
    std::size_t seen_ = 0;
    std::map<std::string, std::size_t> plugged_;
};

TEST_F(Outside, AnApplicationThatNeverAnswersDiscoveryGetsNothing) {
    session.app.SetAttachReply(simdesk::AttachReply::Never);
    StartAll();
    EXPECT_EQ(session.app.DiscoveriesReceived(), 1u);
    EXPECT_EQ(CallStateCopy().apiWindow, nullptr);
    // It heard the discovery, so it knows the agent's window: still refused.
    session.app.IncomingCall("1");
    EXPECT_EQ(session.Notify("CALL 1 TYPE INCOMING_P2P"), 0);
    session.Lift();
    session.Replace();
    EXPECT_EQ(Texts(session.app), Strings{});
    EXPECT_EQ(Leds(session.phone), kDark);
    EXPECT_TRUE(WindowAnswers(session.AgentWindow()));

    // Restarted, it announces itself and answers: one new discovery.
    session.app.Stop();
    session.app.SetAttachReply(simdesk::AttachReply::Attach);
    session.app.Start();
    session.Settle();
    EXPECT_EQ(session.app.DiscoveriesReceived(), 2u);
    ExpectWorks("2", "3");
    ExpectHandlesAsAtStart();
}

class DiscoverAgainReplies : public Outside, public testing::WithParamInterface<std::size_t> {};

// Each 0x8001 brings exactly one new discovery, until the application attaches.
TEST_P(DiscoverAgainReplies, EachBringsOneDiscoveryThenTheAttachHolds) {
    const std::size_t replies = GetParam();
    session.app.SetDiscoverAgainReplies(replies);
    StartAll();
    EXPECT_EQ(session.app.DiscoveriesReceived(), replies + 1);
    EXPECT_EQ(CallStateCopy().apiWindow, session.app.ApiWindow());
    ExpectWorks("1", "2");
    EXPECT_EQ(session.app.DiscoveriesReceived(), replies + 1);
}

INSTANTIATE_TEST_SUITE_P(Outside, DiscoverAgainReplies, testing::Values(1u, 3u, 40u));

// An application that answers every discovery with 0x8001 keeps the agent
// discovering, one broadcast per answer; meanwhile the agent still takes its
// other messages, and attaches once the application does.
TEST_F(Outside, DiscoverAgainForeverLeavesTheWindowThreadFree) {
    StartAll();
    session.app.Stop();
    session.app.SetDiscoverAgainReplies(~std::size_t{0});
    session.app.Start();  // announces itself: the ping-pong starts
    const std::size_t before = session.app.DiscoveriesReceived();
    EXPECT_TRUE(Eventually([&] { return session.app.DiscoveriesReceived() > before + 50; }));
    EXPECT_TRUE(WindowAnswers(session.AgentWindow()));
    simdesk::LockSession();
    EXPECT_TRUE(Eventually([] { return CallStateCopy().sessionLocked == 1; }));
    simdesk::UnlockSession();
    EXPECT_TRUE(Eventually([] { return CallStateCopy().sessionLocked == 0; }));

    session.app.SetDiscoverAgainReplies(0);
    session.Settle();
    EXPECT_EQ(CallStateCopy().apiWindow, session.app.ApiWindow());
    ExpectWorks("1", "2");
    ExpectHandlesAsAtStart();
}

// The application hangs inside one of the agent's commands, and the phone is
// unplugged (and maybe plugged back) meanwhile. The window thread keeps
// answering, the device record is let go only once the reader is done with
// it, at most one reader ever runs, and the held command is delivered once.
struct HungCommandCase {
    const char* name;
    // Brings the agent to send the command that hangs; the call's id is "7".
    void (*send)(AgentSession&);
    const char* heldCommand;
    bool plugBackWhileHung;
};

void RingOnly(AgentSession& session) {
    session.app.IncomingCall("7");
}
void LiftToAnswer(AgentSession& session) {
    session.phone.LiftHandset();
}
void ReplaceToHangUp(AgentSession& session) {
    session.phone.ReplaceHandset();
}
void ReportInProgress(AgentSession& session) {
    session.app.AnswerCall("7");
}

void PrintTo(const HungCommandCase& test, std::ostream* out) {
    *out << test.name << (test.plugBackWhileHung ? ", plugged back" : "");
}

class HungCommand : public Outside, public testing::WithParamInterface<HungCommandCase> {};

DWORD WINAPI SendOnItsOwnThread(LPVOID parameter) {
    const auto* pair = static_cast<std::pair<const HungCommandCase*, AgentSession*>*>(parameter);
    pair->first->send(*pair->second);
    return 0;
}

TEST_P(HungCommand, ThenThePhoneIsUnplugged) {
    const HungCommandCase& test = GetParam();
    StartAll();
    const std::string held = test.heldCommand;
    // Bring the call to just before the command that will hang.
    if (held != "GET CALL 7 TYPE") {
        session.app.IncomingCall("7");
        session.Settle();
        if (held != "SET CALL 7  STATUS INPROGRESS")
            session.Lift();  // answered, video started
    }
    NewCommands();
    session.app.HoldCommands();
    // A notification that brings a command blocks its sender too.
    std::pair<const HungCommandCase*, AgentSession*> job{&test, &session};
    const HANDLE sender = CreateThread(nullptr, 0, SendOnItsOwnThread, &job, 0, nullptr);
    session.Settle();  // the agent now waits inside the application
    // Unplugged: the device goes and its removal reaches the agent's window.
    // (The platform's broadcast that follows would wait seconds on the hung
    // application's windows, to no purpose here.)
    simdesk::UnplugAllDevicesQuietly();
    EXPECT_EQ(SendInterfaceNotification(session.AgentWindow(), DBT_DEVICEREMOVECOMPLETE,
                                        simdesk::SimulatedPhone::TelephonyNotificationPath()),
              0);
    session.phone.Unplug();  // the phone learns it is out
    session.Settle();
    EXPECT_TRUE(WindowAnswers(session.AgentWindow()));
    if (test.plugBackWhileHung) {
        ASSERT_TRUE(session.phone.Plug());
        session.Settle();
    }
    EXPECT_LE(
        simdesk::OpenHandleCount(session.phone.Id(), simdesk::SimulatedPhone::kTelephonyInterface),
        1u);

    session.app.ReleaseCommands();
    WaitForSingleObject(sender, INFINITE);
    CloseHandle(sender);
    session.Settle();
    const Strings delivered = NewCommands();
    ASSERT_FALSE(delivered.empty());
    EXPECT_EQ(delivered.front(), held);
    EXPECT_EQ(std::count(delivered.begin(), delivered.end(), held), 1);

    // The call ends in the application; the phone is plugged in again if it was not.
    session.app.FarEndHangUp("7");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kDark);
    if (!test.plugBackWhileHung) {
        EXPECT_FALSE(ReaderExists());
        ASSERT_TRUE(session.phone.Plug());
        session.Settle();
    }
    EXPECT_EQ(
        simdesk::OpenHandleCount(session.phone.Id(), simdesk::SimulatedPhone::kTelephonyInterface),
        1u);
    ExpectWorks("8", "9");
    ExpectHandlesAsAtStart();
}

std::vector<HungCommandCase> HungCommandCases() {
    std::vector<HungCommandCase> cases;
    const HungCommandCase kinds[] = {
        {"TypeRequest", RingOnly, "GET CALL 7 TYPE", false},
        {"Answer", LiftToAnswer, "SET CALL 7  STATUS INPROGRESS", false},
        {"HangUp", ReplaceToHangUp, "SET CALL 7  STATUS FINISHED", false},
        {"VideoRequest", ReportInProgress, "ALTER CALL 7  START_VIDEO_SEND", false},
    };
    for (const HungCommandCase& kind : kinds) {
        cases.push_back(kind);
        // Plugged back while a reader may still be held: one case per thread.
        if (kind.send == RingOnly || kind.send == LiftToAnswer) {
            HungCommandCase plugBack = kind;
            plugBack.plugBackWhileHung = true;
            cases.push_back(plugBack);
        }
    }
    return cases;
}

std::string HungCommandName(const testing::TestParamInfo<HungCommandCase>& info) {
    return std::string(info.param.name) + (info.param.plugBackWhileHung ? "PluggedBack" : "");
}

INSTANTIATE_TEST_SUITE_P(Outside, HungCommand, testing::ValuesIn(HungCommandCases()),
                         HungCommandName);

// The application's API window goes away mid-call (the application restarts
// its API, or crashes and comes back). Commands to the dead window fail
// unseen, notifications from a window the agent was never told of are
// refused, and once the application attaches again the next calls work as
// if the lost call had never been: no Ring left lit, no camera for a call
// answered in the application.
struct LostWindowCase {
    const char* name;
    bool liftBefore;  // the phone answered the call before the window went
    bool liftAfter;   // the handset is lifted after the window went
    bool replaceAfter;
};

void PrintTo(const LostWindowCase& test, std::ostream* out) {
    *out << test.name;
}

class LostApiWindow : public Outside, public testing::WithParamInterface<LostWindowCase> {};

TEST_P(LostApiWindow, ThenTheApplicationAttachesAgain) {
    const LostWindowCase& test = GetParam();
    StartAll();
    session.app.IncomingCall("5");
    session.Settle();
    if (test.liftBefore)
        session.Lift();
    NewCommands();
    session.app.DestroyApiWindow();
    session.Settle();
    EXPECT_EQ(session.Notify("CALL 5 STATUS FINISHED"), 0);
    if (test.liftAfter)
        session.Lift();
    if (test.replaceAfter)
        session.Replace();
    EXPECT_TRUE(WindowAnswers(session.AgentWindow()));
    EXPECT_EQ(NewCommands(), Strings{});  // nothing reached the dead window

    session.app.AttachAgain();
    session.Settle();
    EXPECT_EQ(CallStateCopy().apiWindow, session.app.ApiWindow());
    if (session.phone.IsHandsetLifted())
        session.Replace();
    NewCommands();
    ExpectWorks("6", "7");
    ExpectHandlesAsAtStart();
}

INSTANTIATE_TEST_SUITE_P(
    Outside, LostApiWindow,
    testing::Values(LostWindowCase{"WhileRinging", false, false, false},
                    LostWindowCase{"WhileRingingThenLifted", false, true, false},
                    LostWindowCase{"WhileRingingThenLiftedAndReplaced", false, true, true},
                    LostWindowCase{"AfterTheAnswer", true, false, false},
                    LostWindowCase{"AfterTheAnswerThenReplaced", true, false, true}),
    [](const testing::TestParamInfo<LostWindowCase>& param) { return param.param.name; });

// A second attach with a new window mid-call: the call goes on through the new
// window, both ways.
TEST_F(Outside, ASecondAttachMidCallCarriesTheCallOn) {
    StartAll();
    session.app.IncomingCall("4");
    session.Settle();
    session.app.AttachAgain();
    session.Settle();
    ASSERT_EQ(CallStateCopy().apiWindow, session.app.ApiWindow());
    EXPECT_EQ(Leds(session.phone), kRinging);
    session.Lift();
    session.Replace();
    const std::vector<simdesk::ReceivedCommand> commands = session.app.Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0].apiWindowIndex, 0);  // the type request, before the second attach
    for (std::size_t i = 1; i < commands.size(); ++i)
        EXPECT_EQ(commands[i].apiWindowIndex, 1) << commands[i].text;
    EXPECT_EQ(commands[3].text, "SET CALL 4  STATUS FINISHED");
    EXPECT_EQ(Leds(session.phone), kDark);
    ExpectWorks("5", "6");
}

}  // namespace
