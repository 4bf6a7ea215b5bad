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
    bridgeState.inProgressBeforeType = 1;
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
    EXPECT_EQ(bridgeState.inProgressBeforeType.load(), 0);
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

// Another call takes over only from a call the phone does not hold, and says
// what was lit for the call it lets go of.
TEST(BridgeState, ACallIsLetGoOfUnlessThePhoneHoldsIt) {
    struct Case {
        LONG answeredByDevice, callActive, ringLit, answeredElsewhere;
        bool letGo, ringWasLit, anyWasLit;
    };
    const Case cases[] = {
        {1, 1, 1, 0, false, false, false},  // answered on the phone, in progress
        {1, 0, 1, 0, true, true, true},     // the phone hung it up
        {0, 1, 0, 1, true, false, true},    // answered in the application
        {0, 0, 1, 0, true, true, true},     // ringing
        {0, 0, 0, 0, true, false, false},   // not yet typed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.answeredByDevice << c.callActive << c.ringLit << c.answeredElsewhere);
        SetEveryFlag();
        bridgeState.answeredByDevice = c.answeredByDevice;
        bridgeState.callActive = c.callActive;
        bridgeState.ringLit = c.ringLit;
        bridgeState.answeredElsewhere = c.answeredElsewhere;
        EXPECT_EQ(PhoneHoldsCall(), !c.letGo);
        const LetGo letGo = LetGoOfCallUnlessHeld();
        EXPECT_EQ(letGo.done, c.letGo);
        EXPECT_EQ(letGo.ringWasLit, c.ringWasLit);
        EXPECT_EQ(letGo.anyWasLit, c.anyWasLit);
        EXPECT_EQ(IsCallIdEmpty(CallIdSlot::Current), c.letGo);
        EXPECT_EQ(bridgeState.callSeen.load(), c.letGo ? 0 : 1);
    }
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

// Each window-thread change to the call the reader decides on voids a press in
// flight: nothing is recorded for a call that has since changed. Repeating what
// is already known does not. An answer recorded before its Ring write is taken
// back when the call changed during the write; an answer in the application
// cannot come in between, the call being the phone's by then.
TEST(BridgeState, APressIsRecordedOnlyForTheCallItWasDecidedOn) {
    struct Case {
        const char* change;
        void (*apply)();
        bool voidsPress;
        bool voidsRecordedAnswer;
    };
    const Case cases[] = {
        {"call reset", [] { CallReset(); }, true, true},
        {"start of a new call",
         [] {
             bridgeState.callSeen = 0;
             StartOfCall();
         },
         true, true},
        {"ringing again", [] { StartOfCall(); }, false, false},
        {"type of another call",
         [] {
             SetCallId(CallIdSlot::Current, "2 ");
             SetCallType(CallDirection::Incoming);
         },
         true, true},
        {"same type again", [] { SetCallType(CallDirection::Incoming); }, false, false},
        {"answered elsewhere",
         [] {
             bridgeState.ringLit = 1;
             RecordAnsweredElsewhere();
         },
         true, false},
        {"ended by the host",
         [] { EndCallUnlessHeld(/*namesCurrentCall=*/true, /*finished=*/true); }, true, true},
        {"let go of for another call", [] { LetGoOfCallUnlessHeld(); }, true, false},
        {"a new current id only", [] { SetCallId(CallIdSlot::Current, "3 "); }, false, false},
    };
    enum class Press { Answer, HangUp, AnswerRecordedFirst };
    for (const Case& c : cases) {
        for (const Press press : {Press::Answer, Press::HangUp, Press::AnswerRecordedFirst}) {
            SCOPED_TRACE(testing::Message() << c.change << ", press " << static_cast<int>(press));
            CallReset();
            bridgeState.callSeen = 0;
            StartOfCall();
            SetCallId(CallIdSlot::Current, "1 ");
            SetCallType(CallDirection::Incoming);
            bridgeState.callActive = 0;
            bridgeState.endedByDevice = 0;
            const CallSnapshot decidedOn = TakeCallSnapshot();
            EXPECT_STREQ(decidedOn.incomingId.data(), "1 ");
            if (press == Press::AnswerRecordedFirst) {
                ASSERT_TRUE(RecordDeviceAnswer(decidedOn.generation));
                c.apply();
                const bool kept = KeepDeviceAnswer(decidedOn.generation);
                EXPECT_EQ(kept, !c.voidsRecordedAnswer);
                EXPECT_EQ(bridgeState.answeredByDevice.load(), kept ? 1 : 0);
                EXPECT_EQ(bridgeState.callActive.load(), kept ? 1 : 0);
                continue;
            }
            c.apply();
            bridgeState.answeredByDevice = 0;
            const bool answer = press == Press::Answer;
            const bool recorded = answer ? RecordDeviceAnswer(decidedOn.generation)
                                         : RecordDeviceHangUp(decidedOn.generation, true);
            EXPECT_EQ(recorded, !c.voidsPress);
            EXPECT_EQ(IsCallStillCurrent(decidedOn.generation), !c.voidsPress);
            EXPECT_EQ(bridgeState.answeredByDevice.load(), recorded && answer ? 1 : 0);
            EXPECT_EQ(bridgeState.endedByDevice.load(), recorded && !answer ? 1 : 0);
        }
    }
}
