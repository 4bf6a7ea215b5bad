#include "agent_fixture.h"

namespace wine_tests {

std::wstring AgentPath() {
    return standin::WindowsPath(AGENT_EXE_PATH);
}

void AgentTest::SetUp() {
    ASSERT_TRUE(desktopLock_.held()) << "another test kept this Wine prefix's desktop";
    if (HWND other = FindWindowW(standin::kAgentWindowClass, nullptr)) {
        FAIL() << "a copy of the agent already runs in this Wine prefix (process "
               << standin::WindowProcessId(other) << "): ours would exit as a second copy";
    }
    standIn_ = std::make_unique<standin::CallAppStandIn>(StandInOptions());
    ASSERT_TRUE(standIn_->ready()) << "the stand-in's API windows could not be created";
}

void AgentTest::TearDown() {
    agents_.clear();  // kills what is still running before the stand-in goes
    standIn_.reset();
}

standin::ChildProcess& AgentTest::StartAgentProcess() {
    agents_.push_back(std::make_unique<standin::ChildProcess>(AgentPath()));
    EXPECT_TRUE(agents_.back()->started()) << "cannot start " << AGENT_EXE_PATH;
    return *agents_.back();
}

HWND AgentTest::StartAgent() {
    const std::size_t before = standIn_->discovers().size();
    standin::ChildProcess& agent = StartAgentProcess();
    if (!agent.started()) {
        return nullptr;
    }
    if (!standIn_->waitForDiscovers(before + 1, kStartTimeout)) {
        ADD_FAILURE() << "the agent broadcast no discovery within " << kStartTimeout.count()
                      << " ms";
        return nullptr;
    }
    HWND window = standIn_->discovers()[before].broadcaster;
    EXPECT_EQ(standin::WindowProcessId(window), agent.id())
        << "the discovery came from another process";
    return window;
}

HWND AgentTest::StartAttachedAgent() {
    HWND window = StartAgent();
    if (window != nullptr && !standIn_->waitUntilAccepted(window, kEventTimeout)) {
        ADD_FAILURE() << "the agent never accepted a notification after the attach";
        return nullptr;
    }
    return window;
}

std::vector<std::string> AgentTest::Notify(HWND agent, std::string_view text, ApiWindow from,
                                           std::optional<LRESULT>* result) {
    const std::size_t before = standIn_->commands().size();
    std::optional<LRESULT> sent = standIn_->notify(agent, text, from);
    EXPECT_TRUE(sent.has_value()) << "sending \"" << text << "\" failed or timed out";
    if (result != nullptr) {
        *result = sent;
    }
    std::vector<std::string> texts = standIn_->commandTexts();
    return {texts.begin() + static_cast<std::ptrdiff_t>(before), texts.end()};
}

}  // namespace wine_tests
