// A call the phone did not answer (an outgoing one, lit Ring while it is set up)
// ended by putting the handset back: Ring goes out with the call's end, or with
// the agent if it closes first, on either LED layout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent_session.h"

namespace {

using simdesk::SimulatedPhone;

struct HangUpCase {
    const char* name;
    SimulatedPhone::LedLayout layout;
    bool applicationConfirms;  // else the agent is closed before the end state comes
};

void PrintTo(const HangUpCase& test, std::ostream* out) {
    *out << test.name;
}

class HangUpLights : public testing::TestWithParam<HangUpCase> {};

TEST_P(HangUpLights, RingGoesOutWithTheCallOrTheAgent) {
    const HangUpCase& test = GetParam();
    AgentSession session(test.layout);
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    // An id the application does not know: it confirms nothing by itself.
    session.Notify("CALL 56 STATUS ROUTING");
    session.Notify("CALL 56 TYPE OUTGOING_P2P");
    ASSERT_EQ(Leds(session.phone), "ring=on off-hook=off");
    session.Lift();  // no answer: the call is outgoing
    session.Replace();
    ASSERT_EQ(Texts(session.app).back(), "SET CALL 56  STATUS FINISHED");
    if (test.applicationConfirms) {
        session.Notify("CALL 56 STATUS FINISHED");
    } else {
        EXPECT_EQ(session.CloseAgent(), 0);
    }
    EXPECT_EQ(Leds(session.phone), "ring=off off-hook=off");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HangUpLights,
    testing::Values(
        HangUpCase{"OneReportConfirmed", SimulatedPhone::LedLayout::OneReport, true},
        HangUpCase{"OneReportClosed", SimulatedPhone::LedLayout::OneReport, false},
        HangUpCase{"SplitReportsConfirmed", SimulatedPhone::LedLayout::SplitLedReports, true},
        HangUpCase{"SplitReportsClosed", SimulatedPhone::LedLayout::SplitLedReports, false}),
    [](const testing::TestParamInfo<HangUpCase>& param) { return std::string(param.param.name); });

}  // namespace
