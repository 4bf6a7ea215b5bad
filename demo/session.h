// One simulated desktop session played event by event: the unchanged agent on
// a thread of its own, the simulated call application and the simulated phone.
// After every event everything is left to settle, so what the timeline shows
// depends only on the scenario.
#pragma once

#include <array>

#include "scenario.h"
#include "scenario_play.h"
#include "simdesk/call_app.h"
#include "simdesk/desktop.h"
#include "simdesk/phone.h"
#include "simdesk/win32.h"
#include "timeline.h"

namespace demo {

// The buttons a scenario may press: those the phone has.
inline constexpr auto kPhoneButtons = [] {
    using simdesk::SimulatedPhone;
    std::array<int, SimulatedPhone::kLastButton - SimulatedPhone::kFirstButton + 1> buttons{};
    for (std::size_t i = 0; i < buttons.size(); ++i)
        buttons[i] = SimulatedPhone::kFirstButton + static_cast<int>(i);
    return buttons;
}();

class Session : public World {
  public:
    // The calling thread becomes the desktop thread that drives the session.
    explicit Session(Timeline& timeline);
    // Tears down whatever still runs, without printing.
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool AgentRunning() const override;
    bool AgentHasPhoneOpen() const override;

  private:
    void StartAgent() override;
    void QuitAgent() override;
    void PlayApp(const Event& event) override;
    void PlayPhone(const Event& event) override;
    void PlaySession(const Event& event) override;
    void Settle() override;

    Timeline& timeline_;
    simdesk::DesktopThread thisThread_;
    simdesk::CallApplication app_;
    simdesk::SimulatedPhone phone_;
    HANDLE agentThread_ = nullptr;
};

}  // namespace demo
