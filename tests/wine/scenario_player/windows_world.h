// The Windows world of a scenario: the real QuillonSkypePlugIn.exe as a process
// of its own under Wine, the call application played by this process, and the
// virtual phone. Each event returns once the agent has nothing left to do.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "agent_process.h"
#include "app_side.h"
#include "phone_side.h"
#include "press_timings.h"
#include "scenario_play.h"
#include "vphone/phone_layout.h"

namespace scenario_player {

// The buttons a scenario may press: those of the virtual phone.
inline constexpr std::array kPhoneButtons{VPHONE_USAGE_BUTTON7, VPHONE_USAGE_BUTTON8,
                                          VPHONE_USAGE_BUTTON9};

class WindowsWorld : public demo::World {
  public:
    WindowsWorld(demo::Timeline& timeline, vphone::ControlChannel phone, std::wstring phoneInf,
                 std::wstring agentPath, PressTimings& timings);
    // Ends whatever still runs and takes the phone away, without printing.
    ~WindowsWorld() override;
    WindowsWorld(const WindowsWorld&) = delete;
    WindowsWorld& operator=(const WindowsWorld&) = delete;

    bool AgentRunning() const override;
    bool AgentHasPhoneOpen() const override;

  private:
    void StartAgent() override;
    void QuitAgent() override;
    void PlayApp(const demo::Event& event) override;
    void PlayPhone(const demo::Event& event) override;
    void PlaySession(const demo::Event& event) override;
    // Each event settles as it is played; what is left is to show the LEDs.
    void Settle() override;
    // One input report, timed as a press of `kind`, settled before it returns.
    void Press(const std::string& kind, std::uint8_t bits, bool down);
    DWORD AgentProcess() const;
    // Returns once the agent has taken everything raised or sent to it before.
    void AwaitAgent();
    void EndSession();

    demo::Timeline& timeline_;
    PressTimings& timings_;
    PhoneSide phone_;
    AppSide app_;
    std::wstring agentPath_;
    std::unique_ptr<standin::ChildProcess> agent_;
    HWND agentWindow_ = nullptr;
};

}  // namespace scenario_player
