// The attach handshake and both directions of the text channel, between the
// real agent and a separate call application, on Wine's USER32.
#include <array>

#include "agent_fixture.h"

namespace wine_tests {
namespace {

constexpr char kRinging[] = "CALL 1234 STATUS RINGING";
constexpr char kTypeQuery[] = "GET CALL 1234 TYPE";
constexpr LPARAM kUnknownAttachResult = 0x8002;

class AttachChannel : public AgentTest {};

// The stand-in attaches only when a test tells it to.
class ManualAttach : public AgentTest {
  protected:
    standin::Options StandInOptions() const override {
        standin::Options options;
        options.answerDiscover = false;
        return options;
    }
};

std::wstring WindowTitle(HWND window) {
    std::array<wchar_t, 256> title{};
    int length = GetWindowTextW(window, title.data(), static_cast<int>(title.size()));
    return std::wstring(title.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

TEST_F(AttachChannel, DiscoveryAtStartUpComesFromTheHiddenMainWindow) {
    HWND agent = StartAgent();
    ASSERT_NE(agent, nullptr);
    std::vector<standin::DiscoverSeen> seen = standIn().discovers();
    ASSERT_EQ(seen.size(), 1u) << "exactly one discovery at start-up";
    EXPECT_EQ(seen[0].lParam, 0);
    EXPECT_EQ(standin::WindowClassName(agent), L"QUILLONSKYPEPLUGIN");
    EXPECT_EQ(WindowTitle(agent), L"TervoSkypePlugIn");
    EXPECT_FALSE(IsWindowVisible(agent)) << "the main window must never be shown";
    EXPECT_EQ(GetParent(agent), nullptr) << "a top-level window";
}

TEST_F(ManualAttach, NotificationsAreRefusedUntilTheAttachWithZero) {
    HWND agent = StartAgent();
    ASSERT_NE(agent, nullptr);
    std::optional<LRESULT> result;
    EXPECT_TRUE(Notify(agent, kRinging, ApiWindow::kFirst, &result).empty());
    EXPECT_EQ(result, 0) << "before any attach every sender is refused";

    ASSERT_TRUE(standIn().postAttach(agent, standin::kAttachSuccess));
    ASSERT_TRUE(standIn().waitUntilAccepted(agent, kEventTimeout));
    EXPECT_EQ(Notify(agent, kRinging, ApiWindow::kFirst, &result),
              std::vector<std::string>{kTypeQuery});
    EXPECT_EQ(result, 1);
}

TEST_F(ManualAttach, AttachResultsOtherThanZeroAndDiscoverAgainChangeNothing) {
    HWND agent = StartAgent();
    ASSERT_NE(agent, nullptr);
    ASSERT_TRUE(standIn().postAttach(agent, standin::kAttachSuccess, ApiWindow::kFirst));
    ASSERT_TRUE(standIn().waitUntilAccepted(agent, kEventTimeout));

    const LPARAM results[] = {1, 0x8000, kUnknownAttachResult, -1};
    for (LPARAM code : results) {
        SCOPED_TRACE(testing::Message() << "attach result " << std::hex << code);
        const std::size_t discovers = standIn().discovers().size();
        ASSERT_TRUE(standIn().postAttach(agent, code, ApiWindow::kSecond));
        // Posted messages are handled in order: the discovery that this one
        // asks for proves the result before it has been handled.
        ASSERT_TRUE(standIn().postAttach(agent, standin::kAttachDiscoverAgain));
        ASSERT_TRUE(standIn().waitForDiscovers(discovers + 1, kEventTimeout));

        std::optional<LRESULT> result;
        EXPECT_TRUE(Notify(agent, kRinging, ApiWindow::kSecond, &result).empty());
        EXPECT_EQ(result, 0) << "the result attached the second window";
        EXPECT_EQ(standIn().discovers().size(), discovers + 1) << "the result broadcast discovery";
    }
    EXPECT_EQ(Notify(agent, kRinging), std::vector<std::string>{kTypeQuery})
        << "the first window must still be attached";
}

TEST_F(ManualAttach, DiscoverAgainBroadcastsBeforeAndAfterAnAttach) {
    HWND agent = StartAgent();
    ASSERT_NE(agent, nullptr);

    ASSERT_TRUE(standIn().postAttach(agent, standin::kAttachDiscoverAgain));
    ASSERT_TRUE(standIn().waitForDiscovers(2, kEventTimeout)) << "no discovery before attach";

    ASSERT_TRUE(standIn().postAttach(agent, standin::kAttachSuccess));
    ASSERT_TRUE(standIn().waitUntilAccepted(agent, kEventTimeout));
    ASSERT_TRUE(standIn().postAttach(agent, standin::kAttachDiscoverAgain));
    ASSERT_TRUE(standIn().waitForDiscovers(3, kEventTimeout)) << "no discovery after attach";

    for (const standin::DiscoverSeen& seen : standIn().discovers()) {
        EXPECT_EQ(seen.broadcaster, agent);
        EXPECT_EQ(seen.lParam, 0);
    }
}

TEST_F(AttachChannel, CommandsCarryTheTextWithItsTerminatorAndTheMainWindow) {
    HWND agent = StartAttachedAgent();
    ASSERT_NE(agent, nullptr);
    ASSERT_EQ(Notify(agent, kRinging), std::vector<std::string>{kTypeQuery});

    standin::CommandSeen command = standIn().commands().back();
    EXPECT_EQ(command.receiver, ApiWindow::kFirst);
    EXPECT_EQ(command.sender, agent) << "wParam must be the agent's main window";
    EXPECT_EQ(command.dwData, 0u);
    EXPECT_EQ(command.cbData, sizeof(kTypeQuery)) << "text length plus the NUL";
}

TEST_F(AttachChannel, NotificationsFromAnotherWindowAreRefused) {
    HWND agent = StartAttachedAgent();
    ASSERT_NE(agent, nullptr);
    std::optional<LRESULT> result;
    EXPECT_TRUE(Notify(agent, kRinging, ApiWindow::kSecond, &result).empty());
    EXPECT_EQ(result, 0);
    // The refused text left no trace: the same call still starts afresh.
    EXPECT_EQ(Notify(agent, kRinging), std::vector<std::string>{kTypeQuery});
}

TEST_F(AttachChannel, ASecondAttachMovesBothDirectionsOfTheChannel) {
    HWND agent = StartAttachedAgent();
    ASSERT_NE(agent, nullptr);
    ASSERT_TRUE(standIn().postAttach(agent, standin::kAttachSuccess, ApiWindow::kSecond));
    ASSERT_TRUE(standIn().waitUntilAccepted(agent, kEventTimeout, ApiWindow::kSecond));

    std::optional<LRESULT> result;
    EXPECT_TRUE(Notify(agent, kRinging, ApiWindow::kFirst, &result).empty());
    EXPECT_EQ(result, 0) << "the first window is no longer the API window";

    EXPECT_EQ(Notify(agent, kRinging, ApiWindow::kSecond, &result),
              std::vector<std::string>{kTypeQuery});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(standIn().commands().back().receiver, ApiWindow::kSecond)
        << "commands must go to the new API window";
}

}  // namespace
}  // namespace wine_tests
