// The whole agent in the simulated desktop for long runs: the unchanged agent
// on a thread of its own, the simulated call application and phone, a record
// of everything the application sent and received, and a second hand that
// acts at the same moment as the driving thread. One per process: the agent
// keeps process-wide records and a single-instance mutex.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "simdesk/call_app.h"
#include "simdesk/phone.h"
#include "simdesk/win32.h"

struct AppTraffic {
    std::vector<std::string> notifications;  // sent by the application, in order
    std::vector<std::string> commands;       // received by it, in order
    std::vector<std::string> both;           // "-> " sent, "<- " received, as it happened
};

class CallWorld {
  public:
    // Plugs the phone, starts the application, then the agent, and settles.
    CallWorld();
    // Closes the agent, unplugs the phone (which ends the reader) and stops the
    // application: no thread of the world is left.
    ~CallWorld();
    CallWorld(const CallWorld&) = delete;
    CallWorld& operator=(const CallWorld&) = delete;

    // Lets the agent and the parties finish what they are doing.
    void Settle();
    // What the application sent and received since the last call.
    AppTraffic TakeTraffic();

    // Runs `second` on the second hand after `secondDelayUs` and `first` here
    // after `firstDelayUs`, about together; returns once both are done.
    void Together(const std::function<void()>& first, unsigned firstDelayUs,
                  const std::function<void()>& second, unsigned secondDelayUs);

    void RestartApplication();

    simdesk::CallApplication app;
    simdesk::SimulatedPhone phone;

  private:
    static DWORD WINAPI SecondHandMain(LPVOID world);

    std::mutex trafficLock_;
    AppTraffic traffic_;
    HANDLE agentThread_ = nullptr;
    HANDLE secondHand_ = nullptr;
    HANDLE secondGo_ = nullptr;
    HANDLE secondDone_ = nullptr;
    std::function<void()> secondJob_;  // handed over through the two events
    bool secondStop_ = false;
    unsigned secondDelayUs_ = 0;
};

// Waits about `microseconds`: a busy thread, not a desktop wait.
void PauseMicroseconds(unsigned microseconds);
