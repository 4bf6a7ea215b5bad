// The reader and the window thread held at chosen points: what another program
// posts, or a call ending while a press is on its way, must never make the
// reader act for the wrong call or lose the phone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "agent_session.h"
#include "bridge/bridge_state.h"
#include "bridge/button_reader.h"
#include "hid/device_record.h"

namespace {

using simdesk::SimulatedPhone;
using Strings = std::vector<std::string>;

std::size_t ReaderHandles(const SimulatedPhone& phone) {
    return simdesk::OpenHandleCount(phone.Id(), SimulatedPhone::kTelephonyInterface);
}

bool AnyCommandContains(const Strings& commands, const std::string& part) {
    return std::any_of(commands.begin(), commands.end(), [&part](const std::string& command) {
        return command.find(part) != std::string::npos;
    });
}

// A ringing call lights Ring and lifting the handset answers it.
void ExpectLiftAnswers(AgentSession& session, const std::string& id) {
    session.app.IncomingCall(id);
    session.Settle();
    session.Lift();
    EXPECT_TRUE(AnyCommandContains(Texts(session.app), "SET CALL " + id + "  STATUS INPROGRESS"));
    session.Replace();
    EXPECT_EQ(Texts(session.app).back(), "SET CALL " + id + "  STATUS FINISHED");
}

// The handset lifted on the ringing call while the reader's Ring write is held
// inside WriteFile, so that the test can act before the write completes.
void LiftWithTheRingWriteHeld(AgentSession& session) {
    session.phone.HoldLedReports(/*count=*/1);
    session.phone.LiftHandset();
    session.Settle();
    ASSERT_EQ(session.phone.HeldLedReportCount(), 1u) << "the reader waits in its Ring write";
}

// Call 5 rings, the handset is lifted, and the caller gives up while the
// reader's Ring write for that answer is still held.
void MissCall5InsideTheHeldRingWrite(AgentSession& session) {
    session.app.IncomingCall("5");
    session.Settle();
    ASSERT_NO_FATAL_FAILURE(LiftWithTheRingWriteHeld(session));
    session.app.MissCall("5");
    session.Settle();
}

// A new call answered in the application is not the phone's: Off-Hook shows it,
// Ring is out, and no video or answer is sent for it.
void ExpectAnsweredInTheApplication(AgentSession& session, const std::string& id) {
    session.app.ClearCommands();
    session.app.IncomingCall(id);
    session.Settle();
    session.app.AnswerCall(id);
    session.Settle();
    EXPECT_EQ(Leds(session.phone), "ring=off off-hook=on");
    EXPECT_EQ(Texts(session.app), Strings{"GET CALL " + id + " TYPE"});
}

// The reader's "I have ended" number, posted by another program that found the
// agent's window, with the wParams it might guess (the first reader's
// generation among them).
void PostForeignReaderEnded(HWND agentWindow) {
    for (const WPARAM guess : {WPARAM{0}, WPARAM{1}, WPARAM{2}, ~WPARAM{0}}) {
        ASSERT_TRUE(PostMessageW(agentWindow, kReaderEndedMessage, guess, 0));
    }
}

class ForeignReaderEnded : public testing::TestWithParam<bool> {};

// Idle: the reader waits for a report. Blocked: it is inside a send to a hung
// call application. Neither the posts nor a following arrival may release the
// record under it or start a second reader.
TEST_P(ForeignReaderEnded, ChangesNothingAndThePhoneStillAnswers) {
    const bool readerInsideSend = GetParam();
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    const HANDLE reader = readerContext.thread;
    ASSERT_NE(reader, nullptr);

    if (readerInsideSend) {
        session.app.IncomingCall("9");
        session.Settle();
        session.app.HoldCommands();
        session.phone.LiftHandset();
        session.Settle();
    }
    PostForeignReaderEnded(session.AgentWindow());
    session.Settle();
    EXPECT_EQ(readerContext.thread, reader);
    EXPECT_NE(deviceRecord.deviceHandle, INVALID_HANDLE_VALUE);

    // An arrival while this reader runs starts no second one.
    EXPECT_EQ(SendInterfaceNotification(session.AgentWindow(), DBT_DEVICEARRIVAL,
                                        SimulatedPhone::TelephonyNotificationPath()),
              0);
    session.Settle();
    EXPECT_EQ(readerContext.thread, reader);
    EXPECT_EQ(ReaderHandles(session.phone), 1u);

    if (readerInsideSend) {
        session.app.ReleaseCommands();
        session.Settle();
        EXPECT_TRUE(AnyCommandContains(Texts(session.app), "SET CALL 9  STATUS INPROGRESS"));
        session.Replace();
    }
    EXPECT_EQ(ReaderHandles(session.phone), 1u);
    ExpectLiftAnswers(session, "10");
}

INSTANTIATE_TEST_SUITE_P(Reader, ForeignReaderEnded, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& param) {
                             return param.param ? "InsideASend" : "Idle";
                         });

// The caller gives up just as the handset is lifted: the window thread ends the
// call while the reader is inside its Ring write. The press was for that call
// only: no id-less answer, no flag left for the next call, whose answer in the
// application then lights Off-Hook and turns no camera on.
TEST(LiftRacingTheEndOfACall, RecordsAndSendsNothingForTheEndedCall) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    ASSERT_NO_FATAL_FAILURE(MissCall5InsideTheHeldRingWrite(session));
    EXPECT_EQ(session.phone.ReleaseLedReports(), 1u);
    session.Settle();

    EXPECT_EQ(Texts(session.app), Strings{"GET CALL 5 TYPE"});
    EXPECT_EQ(CallStateCopy().answeredByDevice, 0);
    EXPECT_EQ(CallStateCopy().callActive, 0);

    session.Replace();
    ExpectAnsweredInTheApplication(session, "6");
}

// Someone answers in the application just as the handset is lifted: the
// window thread handles the call's progress while the reader is inside its
// Ring write. The lift was recorded before that write, so the call is the
// phone's: no Off-Hook is lit that the Ring write would put out again (which
// left the phone dark for a call answered elsewhere), the answer goes out with
// the call's id and the video follows.
TEST(LiftRacingAnAnswerInTheApplication, TheLiftRecordedFirstKeepsTheCall) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    session.app.IncomingCall("7");
    session.Settle();

    ASSERT_NO_FATAL_FAILURE(LiftWithTheRingWriteHeld(session));
    session.app.AnswerCall("7");
    session.Settle();
    EXPECT_EQ(session.phone.ReleaseLedReports(), 1u);
    session.Settle();

    // Whichever side the call went to, the phone shows it.
    const bool answeredHere =
        AnyCommandContains(Texts(session.app), "SET CALL 7  STATUS INPROGRESS");
    EXPECT_EQ(Leds(session.phone), answeredHere ? "ring=off off-hook=off" : "ring=off off-hook=on");
    EXPECT_EQ(Texts(session.app),
              (Strings{"GET CALL 7 TYPE", "ALTER CALL 7  START_VIDEO_SEND",
                       "SET CALL 7  STATUS INPROGRESS", "ALTER CALL 7  START_VIDEO_SEND"}));

    session.Replace();
    ExpectAnsweredInTheApplication(session, "8");
}

// The ringing call's end arrives and the handset is lifted meanwhile: the
// window thread is held inside its Ring write, its decision made. The end was
// decided and the call forgotten in the same locked step, so the lift finds no
// call to take hold of: answered and then forgotten, the call would go on with
// the agent following no call at all. (Before calls were followed one at a
// time, the end of another call, 33, ended this one too.)
TEST(LiftRacingTheEndOfTheCall, TakesNoHoldOfTheCallBeingEnded) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    session.app.IncomingCall("11");
    session.Settle();

    session.phone.HoldLedReports(/*count=*/1);
    // The application's notification blocks its sender until handled: sent
    // from a thread of the desktop's own, counted as busy from its start.
    const HANDLE other = CreateThread(
        nullptr, 0,
        [](LPVOID app) -> DWORD {
            static_cast<simdesk::CallApplication*>(app)->Notify("CALL 11 STATUS MISSED");
            return 0;
        },
        &session.app, 0, nullptr);
    session.Settle();
    EXPECT_EQ(session.phone.HeldLedReportCount(), 1u)
        << "the window thread waits in its Ring write";
    session.phone.LiftHandset();
    session.Settle();
    EXPECT_EQ(session.phone.ReleaseLedReports(), 1u);
    WaitForSingleObject(other, INFINITE);
    CloseHandle(other);
    session.Settle();

    EXPECT_EQ(Texts(session.app), Strings{"GET CALL 11 TYPE"});
    EXPECT_EQ(Leds(session.phone), "ring=off off-hook=off");
    session.Replace();
    ExpectAnsweredInTheApplication(session, "12");
}

// The reader's Ring-off write for an answer stays in the HID stack while the
// call ends and the next call rings: the window thread decides Ring on for it
// meanwhile. Writes land in the order decided, so the late Ring-off cannot
// leave the new call ringing with the phone dark; no answer goes out for the
// call that ended.
TEST(HeldRingWrite, LandsBeforeTheNextCallsRing) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    ASSERT_NO_FATAL_FAILURE(MissCall5InsideTheHeldRingWrite(session));
    session.app.IncomingCall("6");
    session.Settle();
    EXPECT_EQ(session.phone.ReleaseLedReports(), 1u);
    session.Settle();

    EXPECT_EQ(Leds(session.phone), "ring=on off-hook=off");
    EXPECT_EQ(CallStateCopy().ringLit, 1);
    EXPECT_EQ(Texts(session.app), (Strings{"GET CALL 5 TYPE", "GET CALL 6 TYPE"}));
}

}  // namespace
