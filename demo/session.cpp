#include "session.h"

#include "app/app_globals.h"
#include "app/run_application.h"

namespace demo {

namespace {

DWORD WINAPI AgentMain(LPVOID) {
    return static_cast<DWORD>(RunApplication(simdesk::AgentInstance()));
}

}  // namespace

Session::Session(Timeline& timeline) : timeline_(timeline) {
    app_.SetObserver([this](bool received, const std::string& text) {
        if (received)
            timeline_.AppReceived(text);
        else
            timeline_.AppSent(text);
    });
    phone_.SetLedObserver(
        [this](const simdesk::PhoneLeds& leds) { timeline_.PhoneLeds(leds.ring, leds.offHook); });
}

Session::~Session() {
    timeline_.Silence();
    if (AgentRunning())
        QuitAgent();
    app_.Stop();
    if (phone_.IsPlugged())
        phone_.Unplug();
    simdesk::WaitUntilIdle();
    if (agentThread_ != nullptr)
        CloseHandle(agentThread_);
}

void Session::Settle() {
    simdesk::WaitUntilIdle();
}

bool Session::AgentHasPhoneOpen() const {
    return phone_.IsPlugged() &&
           simdesk::OpenHandleCount(phone_.Id(), simdesk::SimulatedPhone::kTelephonyInterface) > 0;
}

void Session::PlayApp(const Event& event) {
    switch (event.kind) {
        case EventKind::AppStart:
            app_.Start();
            break;
        case EventKind::AppStop:
            app_.Stop();
            break;
        case EventKind::AppNotify:
            app_.Notify(event.text);
            break;
        case EventKind::AppIncoming:
            app_.IncomingCall(event.callId);
            break;
        case EventKind::AppOutgoing:
            app_.OutgoingCall(event.callId);
            break;
        case EventKind::AppAnswer:
            app_.AnswerCall(event.callId);
            break;
        case EventKind::AppHangUp:
            app_.FarEndHangUp(event.callId);
            break;
        case EventKind::AppMiss:
            app_.MissCall(event.callId);
            break;
        case EventKind::AppRefuse:
            app_.RefuseCall(event.callId);
            break;
        case EventKind::AppEnd:
            app_.EndCall(event.callId, event.status);
            break;
        default:
            break;
    }
}

void Session::PlayPhone(const Event& event) {
    switch (event.kind) {
        case EventKind::PhonePlug:
            phone_.Plug();
            break;
        case EventKind::PhoneUnplug:
            phone_.Unplug();
            break;
        case EventKind::PhoneLift:
            phone_.LiftHandset();
            break;
        case EventKind::PhoneReplace:
            phone_.ReplaceHandset();
            break;
        case EventKind::PhonePress:
            phone_.PressButton(event.button);
            break;
        case EventKind::PhoneRelease:
            phone_.ReleaseButton(event.button);
            break;
        case EventKind::PhoneMute:
            // Two reports, each acted on before the next, as a finger on the key gives them.
            phone_.PressMute();
            simdesk::WaitUntilIdle();
            phone_.ReleaseMute();
            break;
        default:
            break;
    }
}

void Session::PlaySession(const Event& event) {
    switch (event.kind) {
        case EventKind::SessionLock:
            simdesk::LockSession();
            break;
        case EventKind::SessionUnlock:
            simdesk::UnlockSession();
            break;
        case EventKind::SessionDisconnect:
            simdesk::DisconnectConsole();
            break;
        case EventKind::SessionConnect:
            simdesk::ConnectConsole();
            break;
        case EventKind::SessionEnd:
            simdesk::EndSession();
            break;
        default:
            break;
    }
}

void Session::StartAgent() {
    agentThread_ = CreateThread(nullptr, 0, AgentMain, nullptr, 0, nullptr);
    if (agentThread_ == nullptr)
        timeline_.Note("the agent's thread could not be created");
}

bool Session::AgentRunning() const {
    return agentThread_ != nullptr && WaitForSingleObject(agentThread_, 0) == WAIT_TIMEOUT;
}

void Session::QuitAgent() {
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    WaitForSingleObject(agentThread_, INFINITE);
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(agentThread_, &code);
    simdesk::WaitUntilIdle();
    timeline_.AgentExit(static_cast<int>(code));
}

}  // namespace demo
