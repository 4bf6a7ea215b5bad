// Call notifications that need no device, each sequence against a fresh copy
// of the real agent: the commands the call application receives, exactly.
#include "agent_fixture.h"

namespace wine_tests {
namespace {

using Commands = std::vector<std::string>;

struct Step {
    const char* notification;
    Commands commands;  // caused by this notification, in order
};

struct Sequence {
    const char* name;  // a test name: letters, digits and underscores
    std::vector<Step> steps;
};

const Commands kNone{};
const Commands kType1234{"GET CALL 1234 TYPE"};

const std::vector<Sequence> kSequences = {
    {"IncomingAnsweredInTheApplicationThenNextCall",
     {{"CALL 1234 STATUS RINGING", kType1234},
      {"CALL 1234 TYPE INCOMING_P2P", kNone},
      {"CALL 1234 STATUS INPROGRESS", kNone},
      {"CALL 1234 STATUS FINISHED", kNone},
      {"CALL 5678 STATUS RINGING", {"GET CALL 5678 TYPE"}}}},
    // Also when it resumes from hold: the camera is the device's to turn on.
    {"ACallAnsweredElsewhereNeverAsksForVideo",
     {{"CALL 1234 STATUS RINGING", kType1234},
      {"CALL 1234 TYPE INCOMING_P2P", kNone},
      {"CALL 1234 STATUS INPROGRESS", kNone},
      {"CALL 1234 STATUS LOCALHOLD", kNone},
      {"CALL 1234 STATUS INPROGRESS", kNone}}},
    {"OutgoingRoutingStartsACallOnlyWhileNoneIsTyped",
     {{"CALL 1234 STATUS ROUTING", kType1234},
      {"CALL 1234 TYPE OUTGOING_P2P", kNone},
      {"CALL 1234 STATUS ROUTING", kNone},
      {"CALL 1234 STATUS INPROGRESS", kNone},
      {"CALL 1234 STATUS FINISHED", kNone},
      {"CALL 9 STATUS ROUTING", {"GET CALL 9 TYPE"}}}},
    {"RoutingDuringATypedIncomingCallChangesNothing",
     {{"CALL 1234 STATUS RINGING", kType1234},
      {"CALL 1234 TYPE INCOMING_P2P", kNone},
      {"CALL 1234 STATUS ROUTING", kNone}}},
    {"EveryOtherEndStateResetsTheCall",
     {{"CALL 1234 STATUS RINGING", kType1234},
      {"CALL 1234 TYPE INCOMING_P2P", kNone},
      {"CALL 1234 STATUS UNPLACED", kNone},
      {"CALL 1234 STATUS ROUTING", kType1234},
      {"CALL 1234 TYPE OUTGOING_P2P", kNone},
      {"CALL 1234 STATUS FAILED", kNone},
      {"CALL 1234 STATUS ROUTING", kType1234},
      {"CALL 1234 TYPE INCOMING_P2P", kNone},
      {"CALL 1234 STATUS MISSED", kNone},
      {"CALL 1234 STATUS ROUTING", kType1234},
      {"CALL 1234 TYPE INCOMING_P2P", kNone},
      {"CALL 1234 STATUS REFUSED", kNone},
      {"CALL 1234 STATUS ROUTING", kType1234},
      {"CALL 1234 TYPE OUTGOING_P2P", kNone},
      {"CALL 1234 STATUS BUSY", kNone},
      {"CALL 1234 STATUS ROUTING", kType1234},
      {"CALL 1234 TYPE INCOMING_P2P", kNone},
      {"CALL 1234 STATUS CANCELLED", kNone},
      {"CALL 1234 STATUS ROUTING", kType1234}}},
    {"ReannouncedRingingAsksForTheTypeAgain",
     {{"CALL 1234 STATUS RINGING", kType1234},
      {"CALL 1234 TYPE INCOMING_P2P", kNone},
      {"CALL 1234 STATUS RINGING", kType1234},
      {"CALL 1234 TYPE INCOMING_P2P", kNone}}},
    {"RingingWinsOverInProgressInTheSameText",
     {{"CALL 1234 STATUS RINGING", kType1234},
      {"CALL 1234 TYPE INCOMING_P2P", kNone},
      {"CALL 1234 STATUS INPROGRESS", kNone},
      {"CALL 1234 STATUS RINGING INPROGRESS", kType1234}}},
    {"IdIsTheHeadWithoutItsLeadingCall",
     {{"XCALL 7 STATUS RINGING", {"GET CALL XCALL 7 TYPE"}},
      {"CALL 1234STATUS RINGING", {"GET CALL 1234TYPE"}},
      {"CALL STATUS RINGING", {"GET CALL TYPE"}},
      {"STATUS RINGING", {"GET CALL TYPE"}}}},
    {"KeywordsAreCaseSensitiveOtherTextsDropped",
     {{"call 1234 status ringing", kNone},
      {"CALL 1234 STATUS Ringing", kNone},
      {"CALL 1234 STATUS ONHOLD", kNone},
      {"USERSTATUS ONLINE", kNone},
      {"", kNone}}},
};

// Test names show the sequence's name, not its bytes.
void PrintTo(const Sequence& sequence, std::ostream* out) {
    *out << sequence.name;
}

class CallSequences : public AgentTest, public testing::WithParamInterface<Sequence> {};

TEST_P(CallSequences, CommandsAsExpected) {
    const Sequence& sequence = GetParam();
    HWND agent = StartAttachedAgent();
    ASSERT_NE(agent, nullptr);
    for (std::size_t index = 0; index < sequence.steps.size(); ++index) {
        const Step& step = sequence.steps[index];
        SCOPED_TRACE(testing::Message() << "step " << index << ": \"" << step.notification << "\"");
        std::optional<LRESULT> result;
        EXPECT_EQ(Notify(agent, step.notification, ApiWindow::kFirst, &result), step.commands);
        EXPECT_EQ(result, 1) << "every text from the API window is accepted";
    }
}

INSTANTIATE_TEST_SUITE_P(NoDevice, CallSequences, testing::ValuesIn(kSequences),
                         [](const testing::TestParamInfo<Sequence>& row) {
                             return std::string(row.param.name);
                         });

// A call application that answers the type query by itself, as the real one
// does, after the query has returned.
class AnsweringApplication : public AgentTest {
  protected:
    standin::Options StandInOptions() const override {
        standin::Options options;
        options.answerCallType = "INCOMING_P2P";
        return options;
    }
};

TEST_F(AnsweringApplication, IncomingCallWithTheTypeAnsweredAsynchronously) {
    HWND agent = StartAttachedAgent();
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS RINGING"), kType1234);
    ASSERT_TRUE(standIn().waitForAutoReplies(1, kEventTimeout));
    auto [answer, result] = standIn().autoReplies().front();
    EXPECT_EQ(answer, "CALL 1234 TYPE INCOMING_P2P");
    EXPECT_EQ(result, 1);

    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS INPROGRESS"), kNone)
        << "answered in the application: no video request";
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS FINISHED"), kNone);
    EXPECT_EQ(Notify(agent, "CALL 5678 STATUS RINGING"), Commands{"GET CALL 5678 TYPE"});
    ASSERT_TRUE(standIn().waitForAutoReplies(2, kEventTimeout));
    EXPECT_EQ(standIn().autoReplies().back().first, "CALL 5678 TYPE INCOMING_P2P");
    EXPECT_EQ(standIn().commandTexts(), (Commands{"GET CALL 1234 TYPE", "GET CALL 5678 TYPE"}));
}

// An application that answers while the agent is still blocked sending the
// query: the agent handles the nested notification, nothing deadlocks.
class InlineAnsweringApplication : public AgentTest {
  protected:
    standin::Options StandInOptions() const override {
        standin::Options options;
        options.answerCallType = "INCOMING_P2P";
        options.answerInline = true;
        return options;
    }
};

TEST_F(InlineAnsweringApplication, NestedTypeAnswerIsHandledWithoutDeadlock) {
    HWND agent = StartAttachedAgent();
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS RINGING"), kType1234);
    ASSERT_EQ(standIn().autoReplies().size(), 1u) << "answered before the query returned";
    EXPECT_EQ(standIn().autoReplies().front(),
              (std::pair<std::string, LRESULT>{"CALL 1234 TYPE INCOMING_P2P", 1}));
    // The nested answer typed the call: a routing notice no longer starts one.
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS ROUTING"), kNone);
}
}  // namespace
}  // namespace wine_tests
