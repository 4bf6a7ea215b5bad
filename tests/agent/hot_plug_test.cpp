// Finding the phone at start-up and following it as it is plugged in and out.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "agent_session.h"
#include "bridge/bridge_state.h"
#include "hid/hot_plug.h"
#include "hid/device_record.h"
#include "simdesk/devices.h"

namespace {

using simdesk::SimulatedPhone;
using Strings = std::vector<std::string>;

constexpr const char* kRinging = "ring=on off-hook=off";
constexpr const char* kDark = "ring=off off-hook=off";

// Handles open on the phone's telephony collection: the reader's, while one runs.
std::size_t ReaderHandles(const SimulatedPhone& phone) {
    return simdesk::OpenHandleCount(phone.Id(), SimulatedPhone::kTelephonyInterface);
}

// A ringing call lights Ring and lifting the handset answers it: the phone works.
void ExpectPhoneWorks(AgentSession& session, const std::string& id) {
    session.app.IncomingCall(id);
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kRinging);
    session.Lift();
    const Strings commands = Texts(session.app);
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[commands.size() - 2], "SET CALL " + id + "  STATUS INPROGRESS");
    session.Replace();
    EXPECT_EQ(Texts(session.app).back(), "SET CALL " + id + "  STATUS FINISHED");
    EXPECT_EQ(Leds(session.phone), kDark);
}

TEST(HotPlug, APhonePresentAtStartUpIsFoundAndRead) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    EXPECT_TRUE(ReaderExists());
    EXPECT_EQ(ReaderHandles(session.phone), 1u);
    ExpectPhoneWorks(session, "1");
}

TEST(HotPlug, APhonePluggedInLaterIsFoundByItsArrival) {
    AgentSession session;
    session.app.Start();
    session.StartAgent();
    EXPECT_FALSE(ReaderExists());
    ASSERT_TRUE(session.phone.Plug());
    session.Settle();
    EXPECT_TRUE(ReaderExists());
    ExpectPhoneWorks(session, "2");
}

TEST(HotPlug, UnpluggedDuringACallAndPluggedBackWorksAgain) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    session.app.IncomingCall("3");
    session.Settle();
    ASSERT_TRUE(session.phone.Unplug());
    session.Settle();
    EXPECT_FALSE(ReaderExists());
    session.app.MissCall("3");
    session.Settle();

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        ASSERT_TRUE(session.phone.Plug());
        session.Settle();
        EXPECT_TRUE(ReaderExists());
        EXPECT_EQ(ReaderHandles(session.phone), 1u);  // one reader, the old handle released
        ExpectPhoneWorks(session, std::to_string(10 + round));
        ASSERT_TRUE(session.phone.Unplug());
        session.Settle();
        EXPECT_FALSE(ReaderExists());
    }
}

// The platform reports the removal before the reader's read has failed: the
// reader ends only because it is asked to. Twice over, so that a stop request
// left standing from the first removal would show: the second reader would end
// at once, or the second removal would leave it running.
TEST(HotPlug, RemovedAndArrivedTwiceTheReaderStopsAndStartsEachTime) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        EXPECT_EQ(SendInterfaceNotification(session.AgentWindow(), DBT_DEVICEREMOVECOMPLETE,
                                            SimulatedPhone::TelephonyNotificationPath()),
                  0);
        session.Settle();
        EXPECT_FALSE(ReaderExists());
        EXPECT_EQ(ReaderHandles(session.phone), 0u);
        EXPECT_EQ(SendInterfaceNotification(session.AgentWindow(), DBT_DEVICEARRIVAL,
                                            SimulatedPhone::TelephonyNotificationPath()),
                  0);
        session.Settle();
        EXPECT_TRUE(ReaderExists());
        EXPECT_EQ(ReaderHandles(session.phone), 1u);
        ExpectPhoneWorks(session, std::to_string(20 + round));
    }
}

TEST(HotPlug, ASecondArrivalStartsNoSecondReader) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    // The platform announces the same interface again.
    EXPECT_EQ(SendInterfaceNotification(session.AgentWindow(), DBT_DEVICEARRIVAL,
                                        SimulatedPhone::TelephonyNotificationPath()),
              0);
    session.Settle();
    EXPECT_EQ(ReaderHandles(session.phone), 1u);
    ExpectPhoneWorks(session, "4");
}

TEST(HotPlug, OtherDevicesAndCollectionsAreIgnored) {
    AgentSession session;
    session.app.Start();
    session.StartAgent();
    for (const simdesk::DeviceModel& model :
         {simdesk::KeyboardModel(), simdesk::MouseModel(), simdesk::PhoneIdsOtherPageModel(),
          simdesk::TelephonyLength3Model(), simdesk::LockedKeyboardModel()}) {
        SCOPED_TRACE(model.name);
        const simdesk::DeviceId device = simdesk::PlugDevice(model);
        ASSERT_NE(device, 0u);
        session.Settle();
        EXPECT_FALSE(ReaderExists());
    }
}

TEST(HotPlug, LookalikesAtStartUpAreNotTakenForThePhone) {
    AgentSession session;
    for (const simdesk::DeviceModel& model :
         {simdesk::PhoneIdsOtherPageModel(), simdesk::TelephonyLength3Model(),
          simdesk::MouseModel()}) {
        ASSERT_NE(simdesk::PlugDevice(model), 0u) << model.name;
    }
    session.StartAgent();
    EXPECT_FALSE(ReaderExists());
}

TEST(HotPlug, ThePhoneIsFoundBehindAnInterfaceThatCannotBeOpened) {
    AgentSession session;
    ASSERT_NE(simdesk::PlugDevice(simdesk::LockedKeyboardModel()), 0u);
    ASSERT_NE(simdesk::PlugDevice(simdesk::KeyboardModel()), 0u);
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    EXPECT_TRUE(ReaderExists());
    ExpectPhoneWorks(session, "5");
}

TEST(HotPlug, RemovalWithNoReaderChangesNothing) {
    AgentSession session;
    session.StartAgent();
    ASSERT_TRUE(session.phone.Plug());
    session.Settle();
    ASSERT_TRUE(session.phone.Unplug());
    session.Settle();
    ASSERT_TRUE(session.phone.Plug());
    session.Settle();
    EXPECT_EQ(ReaderHandles(session.phone), 1u);
    // A second removal notification after the reader has gone does nothing either.
    ASSERT_TRUE(session.phone.Unplug());
    session.Settle();
    EXPECT_FALSE(ReaderExists());
    EXPECT_TRUE(session.AgentRunning());
}

TEST(HotPlug, ClosingTheAgentWithTheReaderRunningEndsCleanly) {
    AgentSession session;
    ASSERT_TRUE(session.phone.Plug());
    session.StartAgent();
    EXPECT_EQ(session.CloseAgent(), 0);
}

}  // namespace

namespace {

TEST(HotPlug, RemovalWhileTheReaderIsStuckInASendKeepsTheWindowResponsive) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    session.app.IncomingCall("8");
    session.Settle();

    // The call application hangs on the answer command; the reader waits in its send.
    session.app.HoldCommands();
    session.phone.LiftHandset();
    session.Settle();
    // The removal is handled at once by the window thread. (Sent here directly: the
    // platform's own unplug would also wait on the hung application's windows.)
    EXPECT_EQ(SendInterfaceNotification(session.AgentWindow(), DBT_DEVICEREMOVECOMPLETE,
                                        SimulatedPhone::TelephonyNotificationPath()),
              0);
    simdesk::LockSession();
    session.Settle();
    EXPECT_EQ(CallStateCopy().sessionLocked, 1);
    EXPECT_TRUE(ReaderExists());  // still inside its send
    EXPECT_NE(deviceRecord.deviceHandle, INVALID_HANDLE_VALUE);

    // Once the send returns, the reader ends and the record is released.
    session.app.ReleaseCommands();
    session.Settle();
    EXPECT_FALSE(ReaderExists());
    EXPECT_EQ(deviceRecord.deviceHandle, INVALID_HANDLE_VALUE);
    const std::vector<std::string> commands = Texts(session.app);
    EXPECT_NE(std::find(commands.begin(), commands.end(), "SET CALL 8  STATUS INPROGRESS"),
              commands.end());
    EXPECT_TRUE(session.AgentRunning());
}

}  // namespace
