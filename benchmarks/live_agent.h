// The one agent of a benchmark process, with a simulated call application and
// phone. Started on first use and kept for the life of the process: Google
// Benchmark runs a benchmark function many times (repetitions, the search for
// an iteration count), and a second agent in the same process would find the
// first one's single-instance mutex and exit at once.
#pragma once

#include <chrono>
#include <string>

#include "arrival.h"
#include "simdesk/call_app.h"
#include "simdesk/desktop.h"
#include "simdesk/phone.h"

class LiveAgent {
  public:
    // How long any awaited event may take before the benchmark fails.
    static constexpr std::chrono::milliseconds kTimeout{5000};

    // The agent, attached to the call application and holding the plugged
    // phone; null, with `error` set, when it did not get there within kTimeout.
    static LiveAgent* Get(std::string& error);
    // Closes the agent, if one was started, and everything around it. False
    // when it did not exit within kTimeout.
    static bool ShutDown();

    // Plugs the phone in or out and waits until the agent has followed.
    bool SetPhonePlugged(bool plugged, std::string& error);

    simdesk::CallApplication& app() { return app_; }
    simdesk::SimulatedPhone& phone() { return phone_; }

    // Stamped by the observers: commands the call application received,
    // notifications it sent, and the phone's Ring LED ("ring=on", "ring=off")
    // after each LED report.
    Arrival command;
    Arrival notification;
    Arrival ring;

    // Simulated thread ids of the agent's window thread and of its reader (0
    // when there is none), as GetThreadId gives them.
    DWORD WindowThreadId() const { return windowThreadId_; }
    DWORD ReaderThreadId() const;

  private:
    LiveAgent() = default;
    bool Start(std::string& error);
    bool AgentHoldsPhone() const;

    simdesk::DesktopThread benchmarkThread_;
    simdesk::SimulatedPhone phone_;
    simdesk::CallApplication app_;
    HANDLE agentThread_ = nullptr;
    DWORD windowThreadId_ = 0;
};
