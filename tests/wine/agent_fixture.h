// Fixture of the tests that run the real agent executable as a second process
// next to a stand-in call application owned by the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent_process.h"
#include "call_app_standin.h"
#include "desktop_lock.h"

namespace wine_tests {

using standin::ApiWindow;
using standin::Millis;

// Generous: the first program of a run may wait for Wine's desktop process.
inline constexpr Millis kStartTimeout{10000};
inline constexpr Millis kEventTimeout{5000};

std::wstring AgentPath();

class AgentTest : public ::testing::Test {
  protected:
    // Options of the stand-in; override before SetUp runs.
    virtual standin::Options StandInOptions() const { return {}; }
    void SetUp() override;
    void TearDown() override;

    standin::CallAppStandIn& standIn() { return *standIn_; }

    // Starts a copy of the agent; it is killed at the end of the test if it
    // is still running.
    standin::ChildProcess& StartAgentProcess();
    // Starts the agent and waits for its discovery broadcast; returns the
    // window that broadcast, null (with a failure recorded) when none came.
    HWND StartAgent();
    // As StartAgent, then waits until the agent accepts notifications from
    // the stand-in's first window.
    HWND StartAttachedAgent();

    // Sends `text` and returns the commands it caused, in order. Commands are
    // sent within the agent's handling of the notification, so they have all
    // arrived when the send returns.
    std::vector<std::string> Notify(HWND agent, std::string_view text,
                                    ApiWindow from = ApiWindow::kFirst,
                                    std::optional<LRESULT>* result = nullptr);

  private:
    // Declared first: released last, after a derived fixture's own TearDown.
    standin::DesktopLock desktopLock_;
    std::unique_ptr<standin::CallAppStandIn> standIn_;
    std::vector<std::unique_ptr<standin::ChildProcess>> agents_;
};

}  // namespace wine_tests
