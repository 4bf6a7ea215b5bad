// Following calls from the call application's notifications and showing them
// on the phone's LEDs. Presses on the phone are left to the reader's tests;
// where a row needs a call answered on the phone, the flags are set as the
// reader sets them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "agent_session.h"
#include "bridge/bridge_state.h"

namespace {

using simdesk::ReplyTiming;
using simdesk::SimulatedPhone;
using Strings = std::vector<std::string>;

constexpr const char* kDark = "ring=off off-hook=off";
constexpr const char* kRinging = "ring=on off-hook=off";
constexpr const char* kAnsweredElsewhere = "ring=off off-hook=on";

// The phone is plugged in and the call application attached before each test.
class CallHandling : public testing::TestWithParam<ReplyTiming> {
  protected:
    void SetUp() override {
        session.app.SetReplyTiming(GetParam());
        ASSERT_TRUE(session.phone.Plug());
        session.app.Start();
        session.StartAgent();
        ASSERT_EQ(CallStateCopy().apiWindow, session.app.ApiWindow());
    }

    // What the reader records when it answers or hangs up a call.
    static void AnswerAsThePhoneWould() {
        CallState state = CallStateCopy();
        state.answeredByDevice = 1;
        state.callActive = 1;
        ReplaceCallStateForTests(state);
    }

    void Incoming(const std::string& id, const std::string& type = "INCOMING_P2P") {
        session.app.IncomingCall(id, type);
        session.Settle();
    }
    void Outgoing(const std::string& id) {
        session.app.OutgoingCall(id);
        session.Settle();
    }
    void Notify(const std::string& text) { session.Notify(text); }

    AgentSession session;
};

TEST_P(CallHandling, IncomingCallAnsweredInTheApplication) {
    Incoming("1234");
    EXPECT_EQ(Texts(session.app), Strings{"GET CALL 1234 TYPE"});
    EXPECT_EQ(Leds(session.phone), kRinging);
    EXPECT_EQ(CallStateCopy().callDirection, CallDirection::Incoming);
    EXPECT_STREQ(CallStateCopy().incomingCallId.data(), "1234 ");

    session.app.AnswerCall("1234");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kAnsweredElsewhere);
    EXPECT_EQ(CallStateCopy().answeredElsewhere, 1);
    EXPECT_EQ(CallStateCopy().callActive, 1);

    // Resuming from hold: no video for a call the phone did not answer.
    session.app.AnswerCall("1234");
    session.Settle();

    session.app.FarEndHangUp("1234");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kDark);
    EXPECT_EQ(CallStateCopy().endedByHost, 1);
    EXPECT_EQ(CallStateCopy().callActive, 0);
    EXPECT_EQ(CallStateCopy().callDirection, CallDirection::None);
    EXPECT_EQ(Texts(session.app), Strings{"GET CALL 1234 TYPE"});
}

TEST_P(CallHandling, CallAnsweredOnThePhoneGetsVideoOnEveryInProgress) {
    Incoming("1234");
    AnswerAsThePhoneWould();
    Notify("CALL 1234 STATUS INPROGRESS");
    Notify("CALL 1234 STATUS INPROGRESS");
    EXPECT_EQ(Texts(session.app),
              (Strings{"GET CALL 1234 TYPE", "ALTER CALL 1234  START_VIDEO_SEND",
                       "ALTER CALL 1234  START_VIDEO_SEND"}));
    // Ring stays as the reader left it; the in-progress rule does not touch it.
    EXPECT_EQ(CallStateCopy().answeredElsewhere, 0);

    // The phone hung up: the application's FINISHED does not count as its own end.
    CallState hungUp = CallStateCopy();
    hungUp.endedByDevice = 1;
    hungUp.callActive = 0;
    ReplaceCallStateForTests(hungUp);
    Notify("CALL 1234 STATUS FINISHED");
    EXPECT_EQ(CallStateCopy().endedByHost, 0);
    EXPECT_EQ(Leds(session.phone), kDark);
}

TEST_P(CallHandling, OutgoingCallRingsWhileRoutingAndEndsDark) {
    Outgoing("55");
    EXPECT_EQ(Texts(session.app), Strings{"GET CALL 55 TYPE"});
    EXPECT_EQ(Leds(session.phone), kRinging);
    EXPECT_EQ(CallStateCopy().callDirection, CallDirection::Outgoing);
    EXPECT_STREQ(CallStateCopy().outgoingCallId.data(), "55 ");

    // A routing notification during the call starts nothing new.
    Notify("CALL 55 STATUS ROUTING");
    EXPECT_EQ(Texts(session.app).size(), 1u);

    session.app.AnswerCall("55");  // the far end answers
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kAnsweredElsewhere);
    session.app.FarEndHangUp("55");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kDark);
}

using Report = std::vector<std::uint8_t>;
using Reports = std::vector<Report>;

// Every end state, during a ringing call and during one answered in the
// application: the reports it writes (not only what is lit at the end) and the
// call reset. Ring gets its own write while it is lit, then Off-Hook goes out.
void CheckEndStates(AgentSession& session, const Report& ringOut, const Report& offHookOut) {
    const char* const statuses[] = {"MISSED",    "REFUSED",  "FAILED",  "BUSY",
                                    "CANCELLED", "UNPLACED", "FINISHED"};
    int call = 100;
    for (const bool answeredElsewhere : {false, true}) {
        for (const char* status : statuses) {
            SCOPED_TRACE(testing::Message()
                         << "STATUS " << status << (answeredElsewhere ? " after an answer" : ""));
            const std::string id = std::to_string(++call);
            session.app.IncomingCall(id);
            session.Settle();
            ASSERT_EQ(Leds(session.phone), kRinging);
            if (answeredElsewhere) {
                session.app.AnswerCall(id);
                session.Settle();
                ASSERT_EQ(Leds(session.phone), kAnsweredElsewhere);
            }
            const std::size_t before = session.phone.LedReportCount();
            session.app.EndCall(id, status);
            session.Settle();
            const Reports kept = session.phone.LedReports();
            const auto count = static_cast<std::ptrdiff_t>(session.phone.LedReportCount() - before);
            const Reports written(kept.end() - count, kept.end());
            EXPECT_EQ(written,
                      answeredElsewhere ? Reports{offHookOut} : (Reports{ringOut, offHookOut}));
            EXPECT_EQ(Leds(session.phone), kDark);
            EXPECT_EQ(CallStateCopy().callDirection, CallDirection::None);
            EXPECT_EQ(CallStateCopy().ringLit, 0);
            EXPECT_TRUE((CallStateCopy().currentCallId[0] == '\0'));
        }
    }
}

TEST_P(CallHandling, EveryEndStatePutsEachLightOutAndResets) {
    const Report allOut = {SimulatedPhone::kLedReportId, 0};
    CheckEndStates(session, /*ringOut=*/allOut, /*offHookOut=*/allOut);
}

// A phone whose Ring LED has a report of its own: clearing Off-Hook alone would
// leave Ring lit.
TEST(SplitLedPhone, EveryEndStatePutsEachLightOutAndResets) {
    AgentSession session(SimulatedPhone::LedLayout::SplitLedReports);
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    CheckEndStates(session, /*ringOut=*/{SimulatedPhone::kSplitRingReportId, 0},
                   /*offHookOut=*/{SimulatedPhone::kLedReportId, 0});
}

TEST_P(CallHandling, EndStatesAfterAnAnswerElsewhereLeaveNoLightOn) {
    // Off-Hook lit for a call answered in the application, then the call fails.
    Incoming("7");
    session.app.AnswerCall("7");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kAnsweredElsewhere);
    session.app.EndCall("7", "FAILED");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kDark);
    // callActive outlives that end state; the next call answered in the
    // application still gets no video.
    EXPECT_EQ(CallStateCopy().callActive, 1);
    Incoming("8");
    session.app.AnswerCall("8");
    session.Settle();
    EXPECT_EQ(Texts(session.app), (Strings{"GET CALL 7 TYPE", "GET CALL 8 TYPE"}));
}

TEST_P(CallHandling, LockedOrDetachedSessionsDoNotLightRing) {
    simdesk::LockSession();
    session.Settle();
    Incoming("1");
    EXPECT_EQ(Leds(session.phone), kDark);
    EXPECT_EQ(CallStateCopy().callDirection, CallDirection::Incoming);
    session.app.MissCall("1");
    session.Settle();

    simdesk::UnlockSession();
    session.Settle();
    simdesk::DisconnectConsole();
    session.Settle();
    Incoming("2");
    EXPECT_EQ(Leds(session.phone), kDark);
    session.app.MissCall("2");
    session.Settle();

    simdesk::ConnectConsole();
    session.Settle();
    Incoming("3");
    EXPECT_EQ(Leds(session.phone), kRinging);
    // An outgoing call lights Ring whatever the session.
    session.app.MissCall("3");
    session.Settle();
    simdesk::LockSession();
    session.Settle();
    Outgoing("4");
    EXPECT_EQ(Leds(session.phone), kRinging);
}

TEST_P(CallHandling, OtherCallTypesAreNotFollowed) {
    Incoming("9", "INCOMING_PSTN");
    EXPECT_EQ(Texts(session.app), Strings{"GET CALL 9 TYPE"});
    EXPECT_EQ(Leds(session.phone), kDark);
    EXPECT_EQ(CallStateCopy().callDirection, CallDirection::None);
}

TEST_P(CallHandling, RingingTakesPrecedenceAndRepeatsAskAgain) {
    Notify("CALL 3 STATUS RINGING INPROGRESS");
    EXPECT_EQ(CallStateCopy().callActive, 0);
    EXPECT_EQ(CallStateCopy().callSeen, 1);
    CallState ended = CallStateCopy();
    ended.endedByHost = 1;
    ReplaceCallStateForTests(ended);
    Notify("CALL 3 STATUS RINGING");
    // Same call: the end flags are not cleared again.
    EXPECT_EQ(CallStateCopy().endedByHost, 1);
    EXPECT_EQ(Texts(session.app), (Strings{"GET CALL 3 TYPE", "GET CALL 3 TYPE"}));
}

INSTANTIATE_TEST_SUITE_P(ReplyTimings, CallHandling,
                         testing::Values(ReplyTiming::AfterCommand, ReplyTiming::DuringCommand),
                         ReplyTimingName);

}  // namespace
