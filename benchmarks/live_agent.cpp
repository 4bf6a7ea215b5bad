#include "live_agent.h"

#include "app/app_globals.h"
#include "app/run_application.h"
#include "bridge/bridge_state.h"
#include "bridge/button_reader.h"
#include "simdesk/devices.h"

namespace {

LiveAgent* theAgent = nullptr;

DWORD WINAPI AgentMain(LPVOID) {
    return static_cast<DWORD>(RunApplication(simdesk::AgentInstance()));
}

}  // namespace

LiveAgent* LiveAgent::Get(std::string& error) {
    static bool tried = false;
    if (!tried) {
        tried = true;
        theAgent = new LiveAgent();
        if (!theAgent->Start(error)) {
            ShutDown();
            error = "the agent did not start: " + error;
        }
    } else if (theAgent == nullptr) {
        error = "the agent did not start earlier in this process";
    }
    return theAgent;
}

bool LiveAgent::Start(std::string& error) {
    app_.SetObserver([this](bool received, const std::string& text) {
        const auto now = Arrival::Clock::now();
        (received ? command : notification).Offer(text, now);
    });
    phone_.SetLedObserver([this](const simdesk::PhoneLeds& leds) {
        ring.Offer(leds.ring ? "ring=on" : "ring=off", Arrival::Clock::now());
    });
    if (!phone_.Plug()) {
        error = "the phone did not plug in";
        return false;
    }
    app_.Start();
    agentThread_ = CreateThread(nullptr, 0, AgentMain, nullptr, 0, &windowThreadId_);
    if (agentThread_ == nullptr) {
        error = "no thread for the agent";
        return false;
    }
    simdesk::WaitUntilIdle();
    if (app_.ClientWindow() == nullptr) {
        error = "the agent never discovered the call application";
        return false;
    }
    if (!AgentHoldsPhone()) {
        error = "the agent did not open the phone";
        return false;
    }
    return true;
}

bool LiveAgent::ShutDown() {
    LiveAgent* agent = theAgent;
    theAgent = nullptr;
    if (agent == nullptr)
        return true;
    bool exited = true;
    if (agent->agentThread_ != nullptr) {
        PostMessageW(mainWindow, WM_CLOSE, 0, 0);
        exited = WaitForSingleObject(agent->agentThread_, static_cast<DWORD>(kTimeout.count())) ==
                 WAIT_OBJECT_0;
        CloseHandle(agent->agentThread_);
    }
    if (!exited)
        return false;  // left running: stopping the peers under it could hang too
    agent->app_.Stop();
    delete agent;
    return true;
}

bool LiveAgent::SetPhonePlugged(bool plugged, std::string& error) {
    if (phone_.IsPlugged() != plugged) {
        if (!(plugged ? phone_.Plug() : phone_.Unplug())) {
            error = plugged ? "the phone did not plug in" : "the phone did not unplug";
            return false;
        }
    }
    simdesk::WaitUntilIdle();
    if (plugged && !AgentHoldsPhone()) {
        error = "the agent did not open the phone";
        return false;
    }
    if (!plugged && ReaderThreadId() != 0) {
        error = "the agent's reader is still running without a phone";
        return false;
    }
    return true;
}

DWORD LiveAgent::ReaderThreadId() const {
    const HANDLE reader = readerContext.thread;
    return reader == nullptr ? 0 : GetThreadId(reader);
}

bool LiveAgent::AgentHoldsPhone() const {
    return simdesk::OpenHandleCount(phone_.Id(), simdesk::SimulatedPhone::kTelephonyInterface) >
               0 &&
           ReaderThreadId() != 0;
}
