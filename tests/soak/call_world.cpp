#include "call_world.h"

#include <chrono>
#include <thread>

#include "app/app_globals.h"
#include "app/run_application.h"
#include "simdesk/desktop.h"

namespace {

DWORD WINAPI AgentMain(LPVOID) {
    return static_cast<DWORD>(RunApplication(simdesk::AgentInstance()));
}

// The driving thread, registered for WaitUntilIdle for the whole process.
void RegisterDrivingThread() {
    static thread_local simdesk::DesktopThread registered;
    (void)registered;
}

}  // namespace

void PauseMicroseconds(unsigned microseconds) {
    if (microseconds != 0)
        std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

CallWorld::CallWorld() {
    RegisterDrivingThread();
    app.SetObserver([this](bool received, const std::string& text) {
        std::lock_guard guard(trafficLock_);
        (received ? traffic_.commands : traffic_.notifications).push_back(text);
        traffic_.both.push_back((received ? "<- \"" : "-> \"") + text + "\"");
    });
    secondGo_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    secondDone_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    secondHand_ = CreateThread(nullptr, 0, SecondHandMain, this, 0, nullptr);
    phone.Plug();
    app.Start();
    agentThread_ = CreateThread(nullptr, 0, AgentMain, nullptr, 0, nullptr);
    Settle();
}

CallWorld::~CallWorld() {
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    WaitForSingleObject(agentThread_, INFINITE);
    CloseHandle(agentThread_);
    // The reader outlives the agent's loop until its read fails.
    phone.Unplug();
    secondStop_ = true;
    SetEvent(secondGo_);
    WaitForSingleObject(secondHand_, INFINITE);
    CloseHandle(secondHand_);
    CloseHandle(secondGo_);
    CloseHandle(secondDone_);
    app.Stop();
    app.SetObserver(nullptr);
    Settle();
}

void CallWorld::Settle() {
    simdesk::WaitUntilIdle();
}

AppTraffic CallWorld::TakeTraffic() {
    std::lock_guard guard(trafficLock_);
    AppTraffic taken = std::move(traffic_);
    traffic_ = AppTraffic{};
    return taken;
}

void CallWorld::Together(const std::function<void()>& first, unsigned firstDelayUs,
                         const std::function<void()>& second, unsigned secondDelayUs) {
    // Both fields are read by the second hand only after it wakes on the event.
    secondJob_ = second;
    secondDelayUs_ = secondDelayUs;
    SetEvent(secondGo_);
    PauseMicroseconds(firstDelayUs);
    first();
    WaitForSingleObject(secondDone_, INFINITE);
    secondJob_ = nullptr;
}

DWORD WINAPI CallWorld::SecondHandMain(LPVOID parameter) {
    auto& world = *static_cast<CallWorld*>(parameter);
    for (;;) {
        // A desktop wait: an idle second hand does not keep WaitUntilIdle waiting.
        WaitForSingleObject(world.secondGo_, INFINITE);
        if (world.secondStop_)
            return 0;
        PauseMicroseconds(world.secondDelayUs_);
        world.secondJob_();
        SetEvent(world.secondDone_);
    }
}

void CallWorld::RestartApplication() {
    app.Stop();
    app.Start();
}
