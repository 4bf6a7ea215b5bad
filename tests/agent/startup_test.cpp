// Start-up, single instance, the hidden window's message dispatch and shut-down.
#include <gtest/gtest.h>

#include "agent_session.h"
#include "app/app_globals.h"
#include "bridge/bridge_state.h"
#include "resources/resource.h"

namespace {

TEST(StartUp, CreatesAHiddenWindowFromTheResourcesAndRuns) {
    AgentSession session;
    session.StartAgent();
    ASSERT_TRUE(session.AgentRunning());
    ASSERT_NE(session.AgentWindow(), nullptr);
    EXPECT_FALSE(simdesk::IsWindowShown(session.AgentWindow()));
    EXPECT_EQ(simdesk::WindowCaption(session.AgentWindow()), L"TervoSkypePlugIn");
    EXPECT_EQ(std::wstring(windowClassName), L"QUILLONSKYPEPLUGIN");
    EXPECT_TRUE(simdesk::IsRegisteredForSessionNotifications(session.AgentWindow()));
}

TEST(StartUp, ASecondCopyStopsBeforeSubscribingToAnything) {
    // Another copy in this session already holds the mutex.
    const HANDLE otherCopy = CreateMutexW(nullptr, TRUE, L"GlobalMutex");
    ASSERT_NE(otherCopy, nullptr);
    AgentSession session;
    session.app.Start();
    session.StartAgent();
    EXPECT_EQ(session.WaitForAgentExit(), 0);
    EXPECT_FALSE(simdesk::IsRegisteredForSessionNotifications(session.AgentWindow()));
    // It never broadcast discovery: the call application saw no client.
    EXPECT_EQ(session.app.ClientWindow(), nullptr);
    CloseHandle(otherCopy);
}

TEST(ShutDown, CloseUnsubscribesAndEndsTheLoopWithCodeZero) {
    AgentSession session;
    session.StartAgent();
    const HWND window = session.AgentWindow();
    EXPECT_EQ(session.CloseAgent(), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(simdesk::IsRegisteredForSessionNotifications(window));
}

TEST(ShutDown, ExitCommandDestroysTheWindowWithoutUnsubscribing) {
    AgentSession session;
    session.StartAgent();
    const HWND window = session.AgentWindow();
    EXPECT_EQ(SendMessageW(window, WM_COMMAND, IDM_EXIT, 0), 0);
    EXPECT_EQ(session.WaitForAgentExit(), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(simdesk::IsRegisteredForSessionNotifications(window));
}

// Closed while a call is lit (an upgrade, a log-off): the agent puts out what it
// lit on its way out, whichever way the window goes, and writes nothing otherwise.
struct LitAtExit {
    const char* name;
    bool ringing;
    bool answeredInApplication;
    bool exitCommand;  // else WM_CLOSE
    std::size_t reportsAtExit;
};

class LeftDark : public testing::TestWithParam<LitAtExit> {};

TEST_P(LeftDark, ClosingPutsOutWhatTheAgentLit) {
    const LitAtExit& row = GetParam();
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    if (row.ringing) {
        session.app.IncomingCall("12");
        session.Settle();
    }
    if (row.answeredInApplication) {
        session.app.AnswerCall("12");
        session.Settle();
        ASSERT_TRUE(session.phone.OffHookLit());
    }
    const std::size_t before = session.phone.LedReportCount();
    if (row.exitCommand)
        SendMessageW(session.AgentWindow(), WM_COMMAND, IDM_EXIT, 0);
    else
        PostMessageW(session.AgentWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(session.WaitForAgentExit(), 0);
    EXPECT_EQ(session.phone.LedReportCount() - before, row.reportsAtExit);
    EXPECT_EQ(Leds(session.phone), "ring=off off-hook=off");
}

INSTANTIATE_TEST_SUITE_P(
    ShutDown, LeftDark,
    testing::Values(LitAtExit{"NothingLit", false, false, false, 0},
                    LitAtExit{"Ringing", true, false, false, 2},
                    LitAtExit{"RingingThenExitCommand", true, false, true, 2},
                    LitAtExit{"OffHookForACallAnsweredInTheApplication", true, true, false, 1}),
    [](const testing::TestParamInfo<LitAtExit>& param) { return param.param.name; });

struct SessionCase {
    int line;
    DWORD code;
    LONG lockedAfter;
    LONG detachedAfter;
};

TEST(SessionChanges, LockAndConsoleCodesSetAndClearTheirFlags) {
    AgentSession session;
    session.StartAgent();
    const SessionCase cases[] = {
        {__LINE__, WTS_SESSION_LOCK, 1, 0},       {__LINE__, WTS_SESSION_UNLOCK, 0, 0},
        {__LINE__, WTS_CONSOLE_DISCONNECT, 0, 1}, {__LINE__, WTS_SESSION_LOCK, 1, 1},
        {__LINE__, WTS_REMOTE_CONNECT, 1, 1},     {__LINE__, WTS_SESSION_LOGOFF, 1, 1},
        {__LINE__, WTS_CONSOLE_CONNECT, 1, 0},    {__LINE__, WTS_REMOTE_DISCONNECT, 1, 0},
        {__LINE__, WTS_SESSION_UNLOCK, 0, 0},     {__LINE__, WTS_SESSION_LOGON, 0, 0},
    };
    for (const SessionCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "session code " << c.code << " at line " << c.line);
        simdesk::SendSessionChange(c.code);
        session.Settle();
        EXPECT_EQ(CallStateCopy().sessionLocked, c.lockedAfter);
        EXPECT_EQ(CallStateCopy().consoleDetached, c.detachedAfter);
    }
}

TEST(WindowProcedure, AnswersEachMessageAsWindowsExpects) {
    AgentSession session;
    session.StartAgent();
    const HWND window = session.AgentWindow();
    EXPECT_EQ(SendMessageW(window, WM_DEVICECHANGE, /*DBT_DEVNODES_CHANGED=*/0x0007, 0), 0);
    EXPECT_EQ(SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0), 0);
    EXPECT_EQ(SendMessageW(window, WM_PAINT, 0, 0), 0);
    // Commands other than About and Exit go to DefWindowProcW.
    EXPECT_EQ(SendMessageW(window, WM_COMMAND, 4242, 0), 0);
    EXPECT_TRUE(session.AgentRunning());
}

TEST(WindowProcedure, NotificationsFromAnyWindowButTheApiWindowAreRefused) {
    AgentSession session;
    session.StartAgent();
    // Before any attach every sender is refused, a null one too: no program can
    // light the phone by naming no sender.
    COPYDATASTRUCT data{};
    char text[] = "CALL 1 TYPE INCOMING_P2P";
    data.cbData = sizeof(text);
    data.lpData = text;
    for (const HWND sender : {session.AgentWindow(), HWND{nullptr}}) {
        EXPECT_EQ(SendMessageW(session.AgentWindow(), WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                               reinterpret_cast<LPARAM>(&data)),
                  0);
    }
    EXPECT_EQ(CallStateCopy().callDirection, CallDirection::None);
    EXPECT_EQ(CallStateCopy().ringLit, 0);
}

TEST(AboutBox, OpensOnTheAboutCommandAndClosesOnOk) {
    AgentSession session;
    session.StartAgent();
    PostMessageW(session.AgentWindow(), WM_COMMAND, IDM_ABOUT, 0);
    session.Settle();
    const HWND dialog = simdesk::FindOpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(simdesk::WindowCaption(dialog), L"About QuillonSkypePlugIn");
    bool hasVersionLine = false;
    for (const simdesk::DialogControl& control : simdesk::DialogControls(dialog)) {
        if (control.text == L"QuillonSkypePlugIn, Version 1.0")
            hasVersionLine = true;
    }
    EXPECT_TRUE(hasVersionLine);

    // The main window keeps handling messages while the box is open.
    simdesk::LockSession();
    session.Settle();
    EXPECT_EQ(CallStateCopy().sessionLocked, 1);

    EXPECT_TRUE(simdesk::ClickDialogButton(dialog, IDOK));
    session.Settle();
    EXPECT_EQ(simdesk::FindOpenDialog(), nullptr);
    EXPECT_TRUE(session.AgentRunning());
}

}  // namespace
