// One simulated desktop session for an end-to-end test: the unchanged agent
// (RunApplication on a thread of its own, as on Windows), the simulated call
// application, and helpers to let everything settle before looking.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simdesk/call_app.h"
#include "simdesk/desktop.h"
#include "simdesk/phone.h"
#include "simdesk/win32.h"

class AgentSession {
  public:
    explicit AgentSession(
        simdesk::SimulatedPhone::LedLayout layout = simdesk::SimulatedPhone::LedLayout::OneReport);
    ~AgentSession();
    AgentSession(const AgentSession&) = delete;
    AgentSession& operator=(const AgentSession&) = delete;

    // Starts the agent and waits until its start-up and everything it caused is done.
    void StartAgent();
    // The usual start: the phone plugged in, the call application running, then
    // the agent started. False when the phone could not be plugged.
    [[nodiscard]] bool StartWithPhoneAndApp();
    // Asks the agent to close as Windows would (WM_CLOSE) and returns its exit code.
    int CloseAgent();
    // Waits for RunApplication to return by itself and gives its exit code.
    int WaitForAgentExit();
    bool AgentRunning() const;
    HWND AgentWindow() const;

    // Lets the agent and the simulated parties finish what they are doing.
    static void Settle() { simdesk::WaitUntilIdle(); }

    // The agent's WM_COPYDATA result for a notification sent by the call application.
    LRESULT Notify(const std::string& text);

    // Phone actions that settle before returning.
    void Lift();
    void Replace();
    void Press(int button);
    void Release(int button);

    simdesk::CallApplication app;
    simdesk::SimulatedPhone phone;

  private:
    simdesk::DesktopThread thisThread_;
    HANDLE agentThread_ = nullptr;
};

// Commands the call application received, for readable comparisons.
std::vector<std::string> Texts(const simdesk::CallApplication& app);

// The phone's call LEDs as a person reads them: "ring=on off-hook=off".
std::string Leds(const simdesk::SimulatedPhone& phone);

// Sends WM_DEVICECHANGE for an interface path as the platform does, straight to
// one window (the platform's own unplug also waits on every other window).
LRESULT SendInterfaceNotification(HWND window, WPARAM event, const std::wstring& path);

// Test names for the two moments the call application may reply at.
std::string ReplyTimingName(const testing::TestParamInfo<simdesk::ReplyTiming>& param);
