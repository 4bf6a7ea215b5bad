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
    ASSERT_TRUE(session.phone.Plug());
    session.app.Start();
    session.StartAgent();
    const HANDLE reader = bridgeState.readerThread.load();
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
    EXPECT_EQ(bridgeState.readerThread.load(), reader);
    EXPECT_NE(deviceRecord.deviceHandle, INVALID_HANDLE_VALUE);

    // An arrival while this reader runs starts no second one.
    EXPECT_EQ(SendInterfaceNotification(session.AgentWindow(), DBT_DEVICEARRIVAL,
                                        SimulatedPhone::TelephonyNotificationPath()),
              0);
    session.Settle();
    EXPECT_EQ(bridgeState.readerThread.load(), reader);
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

}  // namespace
