#include "agent_session.h"

#include "app/app_globals.h"
#include "app/run_application.h"
#include "simdesk/devices.h"

namespace {

DWORD WINAPI AgentMain(LPVOID) {
    return static_cast<DWORD>(RunApplication(simdesk::AgentInstance()));
}

}  // namespace

AgentSession::AgentSession(simdesk::SimulatedPhone::LedLayout layout) : phone(layout) {}

AgentSession::~AgentSession() {
    if (AgentRunning())
        CloseAgent();
    app.Stop();
    if (agentThread_ != nullptr)
        CloseHandle(agentThread_);
}

void AgentSession::StartAgent() {
    agentThread_ = CreateThread(nullptr, 0, AgentMain, nullptr, 0, nullptr);
    Settle();
}

bool AgentSession::StartWithPhoneAndApp() {
    if (!phone.Plug())
        return false;
    app.Start();
    StartAgent();
    return true;
}

bool AgentSession::AgentRunning() const {
    return agentThread_ != nullptr && WaitForSingleObject(agentThread_, 0) == WAIT_TIMEOUT;
}

HWND AgentSession::AgentWindow() const {
    return mainWindow;
}

int AgentSession::WaitForAgentExit() {
    WaitForSingleObject(agentThread_, INFINITE);
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(agentThread_, &code);
    Settle();
    return static_cast<int>(code);
}

int AgentSession::CloseAgent() {
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    return WaitForAgentExit();
}

LRESULT AgentSession::Notify(const std::string& text) {
    const LRESULT result = app.Notify(text);
    Settle();
    return result;
}

std::vector<std::string> Texts(const simdesk::CallApplication& app) {
    return app.CommandTexts();
}

void AgentSession::Lift() {
    phone.LiftHandset();
    Settle();
}

void AgentSession::Replace() {
    phone.ReplaceHandset();
    Settle();
}

void AgentSession::Press(int button) {
    phone.PressButton(button);
    Settle();
}

void AgentSession::Release(int button) {
    phone.ReleaseButton(button);
    Settle();
}

std::string Leds(const simdesk::SimulatedPhone& phone) {
    const simdesk::PhoneLeds leds = phone.Leds();
    return std::string("ring=") + (leds.ring ? "on" : "off") +
           " off-hook=" + (leds.offHook ? "on" : "off");
}

LRESULT SendInterfaceNotification(HWND window, WPARAM event, const std::wstring& path) {
    std::vector<BYTE> block(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) + path.size() * sizeof(WCHAR));
    auto* notification = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(block.data());
    notification->dbcc_size = static_cast<DWORD>(block.size());
    notification->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    notification->dbcc_classguid = simdesk::kHidInterfaceGuid;
    std::copy(path.begin(), path.end(), notification->dbcc_name);
    notification->dbcc_name[path.size()] = L'\0';
    return SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(notification));
}

std::string ReplyTimingName(const testing::TestParamInfo<simdesk::ReplyTiming>& param) {
    return param.param == simdesk::ReplyTiming::AfterCommand ? "RepliesAfterCommand"
                                                             : "RepliesDuringCommand";
}
