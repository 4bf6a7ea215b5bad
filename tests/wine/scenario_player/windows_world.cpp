#include "windows_world.h"

#include <wtsapi32.h>

#include <iostream>

namespace scenario_player {

namespace {

using demo::Event;
using demo::EventKind;
using std::chrono::milliseconds;

constexpr milliseconds kStartTimeout{10000};
constexpr milliseconds kExitTimeout{10000};
constexpr milliseconds kWindowPollInterval{5};
constexpr UINT kSessionChangeTimeoutMs = 5000;
constexpr UINT kSettleTimeoutMs = 5000;

void Warn(const char* what) {
    std::cerr << "scenario_player: " << what << std::endl;
}

std::uint8_t ButtonBit(int button) {
    return static_cast<std::uint8_t>(VPHONE_INPUT_BIT_BUTTON7 << (button - VPHONE_USAGE_BUTTON7));
}

struct WindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK MatchAgentWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    if (standin::WindowProcessId(window) != search->process ||
        standin::WindowClassName(window) != standin::kAgentWindowClass)
        return TRUE;
    search->found = window;
    return FALSE;
}

// The agent's main window, once the process has made it.
HWND FindAgentWindow(DWORD process) {
    const auto deadline = Clock::now() + kStartTimeout;
    for (;;) {
        WindowSearch search{process, nullptr};
        EnumWindows(MatchAgentWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || Clock::now() > deadline)
            return search.found;
        Sleep(static_cast<DWORD>(kWindowPollInterval.count()));
    }
}

}  // namespace

WindowsWorld::WindowsWorld(demo::Timeline& timeline, vphone::ControlChannel phone,
                           std::wstring phoneInf, std::wstring agentPath, PressTimings& timings)
    : timeline_(timeline),
      timings_(timings),
      phone_(std::move(phone), std::move(phoneInf), timeline),
      app_(timeline,
           [this](bool received) {
               // Stamped first: the command has arrived.
               if (received)
                   timings_.CommandArrived(Clock::now());
               phone_.ShowLeds();
           }),
      agentPath_(std::move(agentPath)) {}

WindowsWorld::~WindowsWorld() {
    timeline_.Silence();
    if (AgentRunning()) {
        PostMessageW(agentWindow_, WM_CLOSE, 0, 0);
        agent_->waitForExit(kExitTimeout);
    }
    agent_.reset();  // killed if it did not end
    app_.Stop();
    if (phone_.Plugged())
        phone_.Unplug(/*agentProcess=*/0);
}

bool WindowsWorld::AgentRunning() const {
    return agent_ != nullptr && agent_->running();
}

DWORD WindowsWorld::AgentProcess() const {
    return AgentRunning() ? agent_->id() : 0;
}

bool WindowsWorld::AgentHasPhoneOpen() const {
    return phone_.ReadBy(AgentProcess());
}

void WindowsWorld::Settle() {
    phone_.ShowLeds();
}

void WindowsWorld::PlayApp(const Event& event) {
    call_app::CallAppModel& calls = app_.Calls();
    switch (event.kind) {
        case EventKind::AppStart:
            app_.Start(AgentRunning() ? agentWindow_ : nullptr);
            break;
        case EventKind::AppStop:
            app_.Stop();
            AwaitAgent();
            break;
        case EventKind::AppNotify:
            app_.Notify(event.text);
            break;
        case EventKind::AppIncoming:
            app_.Notify(calls.IncomingCall(event.callId));
            break;
        case EventKind::AppOutgoing:
            app_.Notify(calls.OutgoingCall(event.callId));
            break;
        case EventKind::AppAnswer:
            app_.Notify(calls.AnswerCall(event.callId));
            break;
        case EventKind::AppHangUp:
            app_.Notify(calls.EndCall(event.callId, "FINISHED"));
            break;
        case EventKind::AppMiss:
            app_.Notify(calls.EndCall(event.callId, "MISSED"));
            break;
        case EventKind::AppRefuse:
            app_.Notify(calls.EndCall(event.callId, "REFUSED"));
            break;
        case EventKind::AppEnd:
            app_.Notify(calls.EndCall(event.callId, event.status));
            break;
        default:
            break;
    }
}

void WindowsWorld::PlayPhone(const Event& event) {
    const std::string kind = demo::Describe(event);
    switch (event.kind) {
        case EventKind::PhonePlug:
            phone_.Plug(AgentProcess());
            break;
        case EventKind::PhoneUnplug:
            phone_.Unplug(AgentProcess());
            break;
        case EventKind::PhoneLift:
            Press(kind, VPHONE_INPUT_BIT_HOOK, /*down=*/true);
            break;
        case EventKind::PhoneReplace:
            Press(kind, VPHONE_INPUT_BIT_HOOK, /*down=*/false);
            break;
        case EventKind::PhonePress:
            Press(kind, ButtonBit(event.button), /*down=*/true);
            break;
        case EventKind::PhoneRelease:
            Press(kind, ButtonBit(event.button), /*down=*/false);
            break;
        case EventKind::PhoneMute:
            // Two reports, each acted on before the next, as a finger on the key gives them.
            Press(kind, VPHONE_INPUT_BIT_MUTE, /*down=*/true);
            Press(kind, VPHONE_INPUT_BIT_MUTE, /*down=*/false);
            break;
        default:
            break;
    }
}

void WindowsWorld::Press(const std::string& kind, std::uint8_t bits, bool down) {
    phone_.Press(bits, down, [&](Clock::time_point at) { timings_.Injected(kind, at); });
    // The reader sent its command before it went back to its read; the answers follow.
    app_.Settle();
    phone_.ShowLeds();
    timings_.Settled();
}

// A send is taken after the win events raised before it (measured under Wine 8):
// when it returns, the agent has acted on the application's departure.
void WindowsWorld::AwaitAgent() {
    DWORD_PTR result = 0;
    if (AgentRunning() && agentWindow_ != nullptr &&
        SendMessageTimeoutW(agentWindow_, WM_NULL, 0, 0, SMTO_NORMAL, kSettleTimeoutMs, &result) ==
            0)
        Warn("the agent did not come back to its queue");
}

// At log-off Windows asks every top-level window, then tells it the session
// ends; sent, so the agent has acted when the call returns.
void WindowsWorld::EndSession() {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(agentWindow_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                            kSettleTimeoutMs, &result) == 0 ||
        SendMessageTimeoutW(agentWindow_, WM_ENDSESSION, /*wParam=*/TRUE, ENDSESSION_LOGOFF,
                            SMTO_NORMAL, kSettleTimeoutMs, &result) == 0)
        Warn("the agent did not take the end of the session");
}

// Wine's WTSRegisterSessionNotification succeeds but nothing ever arrives, so the
// player delivers the change itself, to the window Windows would deliver it to.
// Sent rather than posted: the agent has taken it when the call returns.
void WindowsWorld::PlaySession(const Event& event) {
    if (!AgentRunning() || agentWindow_ == nullptr)
        return;
    WPARAM code = 0;
    switch (event.kind) {
        case EventKind::SessionLock:
            code = WTS_SESSION_LOCK;
            break;
        case EventKind::SessionUnlock:
            code = WTS_SESSION_UNLOCK;
            break;
        case EventKind::SessionDisconnect:
            code = WTS_CONSOLE_DISCONNECT;
            break;
        case EventKind::SessionConnect:
            code = WTS_CONSOLE_CONNECT;
            break;
        case EventKind::SessionEnd:
            EndSession();
            return;
        default:
            return;
    }
    DWORD session = 0;
    ProcessIdToSessionId(AgentProcess(), &session);
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(agentWindow_, WM_WTSSESSION_CHANGE, code, session, SMTO_NORMAL,
                            kSessionChangeTimeoutMs, &result) == 0)
        Warn("the agent did not take the session change");
}

void WindowsWorld::StartAgent() {
    const ReadMark readsBefore = phone_.MarkReads();
    const std::size_t discoversBefore = app_.Discovers();
    agent_ = std::make_unique<standin::ChildProcess>(agentPath_);
    if (!agent_->started()) {
        Warn("the agent could not be started");
        return;
    }
    // Returns once the agent's start-up is done and its loop waits for messages.
    if (WaitForInputIdle(agent_->handle(), static_cast<DWORD>(kStartTimeout.count())) != 0)
        Warn("the agent did not come to wait for messages");
    agentWindow_ = FindAgentWindow(agent_->id());
    if (agentWindow_ == nullptr) {
        Warn("the agent made no window");
        return;
    }
    if (app_.Running())
        app_.AwaitAttach(agentWindow_, discoversBefore);
    if (phone_.Plugged() && !phone_.WaitUntilRead(agent_->id(), readsBefore))
        Warn("the agent did not open the phone");
}

void WindowsWorld::QuitAgent() {
    PostMessageW(agentWindow_, WM_CLOSE, 0, 0);
    const std::optional<DWORD> code = agent_->waitForExit(kExitTimeout);
    if (!code)
        Warn("the agent did not end after its window was closed");
    phone_.ShowLeds();
    timeline_.AgentExit(static_cast<int>(code.value_or(STILL_ACTIVE)));
}

}  // namespace scenario_player
