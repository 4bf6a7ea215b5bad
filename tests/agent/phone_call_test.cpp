// Calls answered and ended on the phone: the reader thread end to end, with
// the simulated call application replying as the real one does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent_session.h"
#include "bridge/bridge_state.h"
#include "hid/hot_plug.h"

namespace {

using simdesk::ReplyTiming;
using Strings = std::vector<std::string>;

constexpr const char* kDark = "ring=off off-hook=off";
constexpr const char* kRinging = "ring=on off-hook=off";
constexpr const char* kAnsweredElsewhere = "ring=off off-hook=on";
constexpr int kHangUpButton = 7;

class PhoneCalls : public testing::TestWithParam<ReplyTiming> {
  protected:
    void SetUp() override {
        session.app.SetReplyTiming(GetParam());
        ASSERT_TRUE(session.phone.Plug());
        session.app.Start();
        session.StartAgent();
        ASSERT_TRUE(ReaderExists());
    }
    void Ring(const std::string& id) {
        session.app.IncomingCall(id);
        session.Settle();
    }
    // Commands received since the last look.
    Strings NewCommands() {
        const Strings all = Texts(session.app);
        Strings fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return fresh;
    }
    AgentSession session;

  private:
    std::size_t seen_ = 0;
};

TEST_P(PhoneCalls, TypicalIncomingCallAnsweredAndEndedOnThePhone) {
    Ring("1234");
    EXPECT_EQ(NewCommands(), Strings{"GET CALL 1234 TYPE"});
    EXPECT_EQ(Leds(session.phone), kRinging);

    session.Lift();
    // The answer, then the application's in-progress notification brings the video request.
    EXPECT_EQ(NewCommands(),
              (Strings{"SET CALL 1234  STATUS INPROGRESS", "ALTER CALL 1234  START_VIDEO_SEND"}));
    EXPECT_EQ(Leds(session.phone), kDark);
    EXPECT_EQ(CallStateCopy().answeredByDevice, 1);
    EXPECT_EQ(CallStateCopy().answeredElsewhere, 0);

    session.Replace();
    EXPECT_EQ(NewCommands(), Strings{"SET CALL 1234  STATUS FINISHED"});
    EXPECT_EQ(Leds(session.phone), kDark);
    EXPECT_EQ(CallStateCopy().endedByDevice, 1);
    EXPECT_EQ(CallStateCopy().endedByHost, 0);
    EXPECT_EQ(CallStateCopy().callDirection, CallDirection::None);
}

TEST_P(PhoneCalls, AHeldHandsetAnswersOnceAndMuteSendsNothing) {
    Ring("1");
    session.Lift();
    EXPECT_EQ(NewCommands().size(), 3u);  // type, answer, video
    session.phone.PressMute();
    session.Settle();
    session.phone.ReleaseMute();
    session.Settle();
    session.Press(8);
    session.Release(8);
    EXPECT_EQ(NewCommands(), Strings{});
}

TEST_P(PhoneCalls, OutgoingCallEndedWithButton7) {
    session.app.OutgoingCall("55");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kRinging);
    session.app.AnswerCall("55");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kAnsweredElsewhere);
    EXPECT_EQ(NewCommands(), Strings{"GET CALL 55 TYPE"});

    session.Press(kHangUpButton);
    EXPECT_EQ(NewCommands(), Strings{"SET CALL 55  STATUS FINISHED"});
    EXPECT_EQ(Leds(session.phone), kDark);
    session.Release(kHangUpButton);
    session.Press(kHangUpButton);  // no call any more
    session.Release(kHangUpButton);
    EXPECT_EQ(NewCommands(), Strings{});
}

TEST_P(PhoneCalls, CallAnsweredInTheApplicationLightsOffHook) {
    Ring("9");
    session.app.AnswerCall("9");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kAnsweredElsewhere);
    // Lifting the handset afterwards neither answers again nor hangs up.
    session.Lift();
    EXPECT_EQ(NewCommands(), Strings{"GET CALL 9 TYPE"});
    session.app.FarEndHangUp("9");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kDark);
    EXPECT_EQ(CallStateCopy().endedByHost, 1);
    // The call application ended it: putting the handset back sends nothing.
    session.Replace();
    EXPECT_EQ(NewCommands(), Strings{});
}

TEST_P(PhoneCalls, MissedAndRefusedCallsGoDark) {
    Ring("21");
    session.app.MissCall("21");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kDark);
    Ring("22");
    session.app.RefuseCall("22");
    session.Settle();
    EXPECT_EQ(Leds(session.phone), kDark);
    EXPECT_EQ(NewCommands(), (Strings{"GET CALL 21 TYPE", "GET CALL 22 TYPE"}));
}

TEST_P(PhoneCalls, LockedOrDetachedSessionsIgnoreTheButtons) {
    simdesk::LockSession();
    session.Settle();
    session.app.OutgoingCall("31");
    session.Settle();
    session.Lift();
    session.Press(kHangUpButton);
    session.Release(kHangUpButton);
    session.Replace();
    EXPECT_EQ(NewCommands(), Strings{"GET CALL 31 TYPE"});
    simdesk::UnlockSession();
    simdesk::DisconnectConsole();
    session.Settle();
    session.Press(kHangUpButton);
    session.Release(kHangUpButton);
    EXPECT_EQ(NewCommands(), Strings{});
    simdesk::ConnectConsole();
    session.Settle();
    session.Press(kHangUpButton);
    EXPECT_EQ(NewCommands(), Strings{"SET CALL 31  STATUS FINISHED"});
}

TEST_P(PhoneCalls, HandsetBackWithNoCallSendsTheDocumentedIdlessHangUp) {
    session.Lift();
    EXPECT_EQ(NewCommands(), Strings{});
    session.Replace();
    EXPECT_EQ(NewCommands(), Strings{"SET CALL  STATUS FINISHED"});
    // Button 7 with no call sends nothing.
    session.Press(kHangUpButton);
    session.Release(kHangUpButton);
    EXPECT_EQ(NewCommands(), Strings{});
}

TEST_P(PhoneCalls, TheFirstReportAfterStartCountsAsAnEdge) {
    // A call answered in the application while the phone has sent nothing yet.
    Ring("40");
    session.app.AnswerCall("40");
    session.Settle();
    NewCommands();
    // The first report, handset on the cradle and mute not pressed: it hangs up.
    session.Press(8);
    EXPECT_EQ(NewCommands(), Strings{"SET CALL 40  STATUS FINISHED"});
    EXPECT_EQ(Leds(session.phone), kDark);
}

TEST_P(PhoneCalls, TheFirstReportIsNoEdgeWhenItShowsMute) {
    Ring("41");
    session.app.AnswerCall("41");
    session.Settle();
    NewCommands();
    session.phone.PressMute();
    session.Settle();
    EXPECT_EQ(NewCommands(), Strings{});
}

TEST_P(PhoneCalls, EveryPressSendsOneCommandAcrossSeveralCalls) {
    for (const std::string id : {"61", "62", "63"}) {
        SCOPED_TRACE("call " + id);
        Ring(id);
        session.Lift();
        session.Replace();
        EXPECT_EQ(NewCommands(),
                  (Strings{"GET CALL " + id + " TYPE", "SET CALL " + id + "  STATUS INPROGRESS",
                           "ALTER CALL " + id + "  START_VIDEO_SEND",
                           "SET CALL " + id + "  STATUS FINISHED"}));
        EXPECT_EQ(Leds(session.phone), kDark);
    }
}

INSTANTIATE_TEST_SUITE_P(ReplyTimings, PhoneCalls,
                         testing::Values(ReplyTiming::AfterCommand, ReplyTiming::DuringCommand),
                         ReplyTimingName);

}  // namespace
