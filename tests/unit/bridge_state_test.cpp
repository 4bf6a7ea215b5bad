#include <gtest/gtest.h>

#include <string>

#include "bridge/bridge_state.h"
#include "bridge/button_reader.h"
#include "bridge/carry_out.h"
#include "bridge/notification_handler.h"

namespace {

CallIdText Id(const char* text) {
    CallIdText id{};
    StoreCallId(id, text);
    return id;
}

// Carried out with no phone path and no application: nothing leaves the agent.
void Take(const Decision& decision) {
    CarryOut(decision, /*sender=*/nullptr);
}

CallState EveryFlagSet() {
    CallState state;
    state.callDirection = CallDirection::Outgoing;
    state.currentCallId = Id("1234 ");
    state.incomingCallId = Id("1234 ");
    state.outgoingCallId = Id("1234 ");
    state.answeredByDevice = 1;
    state.answeredElsewhere = 1;
    state.endedByHost = 1;
    state.endedByDevice = 1;
    state.callActive = 1;
    state.callSeen = 1;
    state.ringLit = 1;
    state.sessionLocked = 1;
    state.consoleDetached = 1;
    state.inProgressBeforeType = 1;
    return state;
}

TEST(BridgeState, AnEndStateForgetsTheCallButKeepsHowItEnded) {
    ReplaceCallStateForTests(EveryFlagSet());
    Take(EndCall(Id("1234 "), /*finished=*/false));
    const CallState after = CallStateCopy();
    EXPECT_EQ(after.callDirection, CallDirection::None);
    EXPECT_EQ(after.currentCallId[0], '\0');
    EXPECT_EQ(after.incomingCallId[0], '\0');
    EXPECT_EQ(after.outgoingCallId[0], '\0');
    EXPECT_EQ(after.answeredByDevice, 0);
    EXPECT_EQ(after.answeredElsewhere, 0);
    EXPECT_EQ(after.ringLit, 0);
    EXPECT_EQ(after.callSeen, 0);
    EXPECT_EQ(after.inProgressBeforeType, 0);
    // Left alone: how the last call ended, whether one is active, the session.
    EXPECT_EQ(after.endedByHost, 1);
    EXPECT_EQ(after.endedByDevice, 1);
    EXPECT_EQ(after.callActive, 1);
    EXPECT_EQ(after.sessionLocked, 1);
    EXPECT_EQ(after.consoleDetached, 1);
}

TEST(BridgeState, OnlyTheFirstRingingOfACallClearsHowTheLastOneEnded) {
    CallState ended;
    ended.endedByHost = 1;
    ended.endedByDevice = 1;
    ReplaceCallStateForTests(ended);
    Take(AnnounceCall(Id("7 "), /*routing=*/false));
    EXPECT_EQ(CallStateCopy().callSeen, 1);
    EXPECT_EQ(CallStateCopy().endedByHost, 0);

    CallState again = CallStateCopy();
    again.endedByHost = 1;
    again.endedByDevice = 1;
    ReplaceCallStateForTests(again);
    Take(AnnounceCall(Id("7 "), /*routing=*/false));
    EXPECT_EQ(CallStateCopy().endedByHost, 1);
    EXPECT_EQ(CallStateCopy().endedByDevice, 1);
}

TEST(BridgeState, IdsAreCutToTheirSlot) {
    const CallIdText id = Id(std::string(400, '7').c_str());
    EXPECT_EQ(std::string(id.data()), std::string(kCallIdSlotSize - 1, '7'));
}

// An answer is recorded before its Ring write and kept only if the call is
// still the one answered once the write is done. Taken back for a call that
// ended meanwhile; a waiting call followed since, answered elsewhere, keeps
// being active.
TEST(BridgeState, AnAnswerIsKeptOnlyForTheCallItWasDecidedOn) {
    struct Case {
        const char* meanwhile;
        const wchar_t* notifications[3];
        bool kept;
        LONG callActiveAfter;
    };
    const Case cases[] = {
        {"nothing", {}, true, 1},
        {"the same type again", {L"CALL 1 TYPE INCOMING_P2P"}, true, 1},
        {"another call rings", {L"CALL 2 STATUS RINGING"}, true, 1},
        {"the call is missed", {L"CALL 1 STATUS MISSED"}, false, 0},
        {"the call ends, a waiting call answered elsewhere follows",
         {L"CALL 1 STATUS MISSED"},
         false,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.meanwhile);
        CallState ringing;
        ringing.apiWindow = reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x51));
        ringing.currentCallId = Id("1 ");
        ringing.incomingCallId = Id("1 ");
        ringing.callDirection = CallDirection::Incoming;
        ringing.callSeen = 1;
        ringing.ringLit = 1;
        if (c.callActiveAfter == 1 && !c.kept) {
            ringing.waitingCallId = Id("3 ");
            ringing.waitingDirection = CallDirection::Incoming;
            ringing.waitingAnsweredElsewhere = 1;
        }
        ReplaceCallStateForTests(ringing);

        const ItemView hookDown{/*page=*/0x0B, /*min=*/0x20, /*first=*/0x20};
        const ItemView none{};
        const ReportHistory firstReport;
        const PressDecision press =
            DecidePress(hookDown, none, hookDown, none, firstReport, /*mayHangUp=*/true);
        ASSERT_TRUE(press.answer);
        EXPECT_EQ(press.decision.command, HostCommand::Answer);
        EXPECT_STREQ(press.decision.commandId.data(), "1 ");
        EXPECT_TRUE(press.decision.writeIndicators);
        RecordApiWindow(nullptr);  // the type requests below go nowhere
        for (const wchar_t* text : c.notifications) {
            if (text != nullptr)
                OnHostNotification(text, nullptr);
        }
        WriteQueuedIndicators();
        EXPECT_EQ(KeepDeviceAnswer(press.generation), c.kept);
        EXPECT_EQ(CallStateCopy().answeredByDevice, c.kept ? 1 : 0);
        EXPECT_EQ(CallStateCopy().callActive, c.callActiveAfter);
    }
}

// Writes decided while a thread writes go to that thread, in order: only one
// decision at a time names its thread as the writer.
TEST(BridgeState, OneThreadAtATimeWritesTheIndicators) {
    CallState ringing;
    ringing.currentCallId = Id("1 ");
    ringing.callSeen = 1;
    ReplaceCallStateForTests(ringing);
    const Decision first = ReportCallType(Id("1 "), CallDirection::Incoming);
    EXPECT_TRUE(first.writeIndicators);
    const Decision second = PutIndicatorsOut();
    EXPECT_FALSE(second.writeIndicators) << "the first decision's thread writes both";
    WriteQueuedIndicators();
    EXPECT_FALSE(ShowCallOnPhone().writeIndicators) << "nothing lit, nothing to show";
}

}  // namespace
