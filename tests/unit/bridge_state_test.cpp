#include <gtest/gtest.h>

#include <string>

#include "bridge/bridge_state.h"

namespace {

void SetEveryFlag() {
    bridgeState.callDirection = CallDirection::Outgoing;
    SetCallId(CallIdSlot::Current, "1234 ");
    SetCallId(CallIdSlot::Incoming, "1234 ");
    SetCallId(CallIdSlot::Outgoing, "1234 ");
    bridgeState.answeredByDevice = 1;
    bridgeState.answeredElsewhere = 1;
    bridgeState.endedByHost = 1;
    bridgeState.endedByDevice = 1;
    bridgeState.callActive = 1;
    bridgeState.callSeen = 1;
    bridgeState.ringLit = 1;
    bridgeState.sessionLocked = 1;
    bridgeState.consoleDetached = 1;
}

TEST(BridgeState, CallResetForgetsTheCallButKeepsHowItEnded) {
    SetEveryFlag();
    CallReset();
    EXPECT_EQ(bridgeState.callDirection.load(), CallDirection::None);
    EXPECT_TRUE(IsCallIdEmpty(CallIdSlot::Current));
    EXPECT_TRUE(IsCallIdEmpty(CallIdSlot::Incoming));
    EXPECT_TRUE(IsCallIdEmpty(CallIdSlot::Outgoing));
    EXPECT_EQ(bridgeState.answeredByDevice.load(), 0);
    EXPECT_EQ(bridgeState.answeredElsewhere.load(), 0);
    EXPECT_EQ(bridgeState.ringLit.load(), 0);
    EXPECT_EQ(bridgeState.callSeen.load(), 0);
    // Left alone: how the last call ended, whether one is active, the session.
    EXPECT_EQ(bridgeState.endedByHost.load(), 1);
    EXPECT_EQ(bridgeState.endedByDevice.load(), 1);
    EXPECT_EQ(bridgeState.callActive.load(), 1);
    EXPECT_EQ(bridgeState.sessionLocked.load(), 1);
    EXPECT_EQ(bridgeState.consoleDetached.load(), 1);
}

TEST(BridgeState, StartOfCallClearsEndFlagsOnlyForTheFirstNotification) {
    SetEveryFlag();
    bridgeState.callSeen = 0;
    StartOfCall();
    EXPECT_EQ(bridgeState.callSeen.load(), 1);
    EXPECT_EQ(bridgeState.endedByHost.load(), 0);
    EXPECT_EQ(bridgeState.endedByDevice.load(), 0);

    // A repeated ringing notification of the same call changes nothing.
    bridgeState.endedByHost = 1;
    bridgeState.endedByDevice = 1;
    StartOfCall();
    EXPECT_EQ(bridgeState.endedByHost.load(), 1);
    EXPECT_EQ(bridgeState.endedByDevice.load(), 1);
}

TEST(BridgeState, IdSlotsCutLongIdsAndCopyWhole) {
    const std::string longId(400, '7');
    SetCallId(CallIdSlot::Current, longId);
    const CallIdText stored = GetCallId(CallIdSlot::Current);
    EXPECT_EQ(std::string(stored.data()), std::string(kCallIdSlotSize - 1, '7'));

    SetCallId(CallIdSlot::Current, "42 ");
    CopyCallId(CallIdSlot::Incoming, CallIdSlot::Current);
    EXPECT_STREQ(GetCallId(CallIdSlot::Incoming).data(), "42 ");
    EXPECT_FALSE(IsCallIdEmpty(CallIdSlot::Incoming));
}

}  // namespace
