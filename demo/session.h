// One simulated desktop session played event by event: the unchanged agent on
// a thread of its own, the simulated call application and the simulated phone.
// After every event everything is left to settle, so what the timeline shows
// depends only on the scenario.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "scenario.h"
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

class Session {
  public:
    // The calling thread becomes the desktop thread that drives the session.
    explicit Session(Timeline& timeline);
    // Tears down whatever still runs, without printing.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Why the event cannot happen now (the phone is not plugged in, the agent
    // has quit...), or nothing.
    std::optional<std::string> Refusal(const Event& event) const;
    // Plays an event that Refusal accepted and waits until everything has settled.
    void Play(const Event& event);
    // The end of the scenario: quits the agent if it still runs.
    void Finish();

  private:
    void PlayApp(const Event& event);
    void PlayPhone(const Event& event);
    void PlaySession(const Event& event);
    void StartAgent();
    void QuitAgent();
    void ShowWhetherPhoneIsRead();
    bool AgentRunning() const;

    Timeline& timeline_;
    simdesk::DesktopThread thisThread_;
    simdesk::CallApplication app_;
    simdesk::SimulatedPhone phone_;
    HANDLE agentThread_ = nullptr;
    bool quit_ = false;
};

}  // namespace demo
