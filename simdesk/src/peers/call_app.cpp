#include "simdesk/call_app.h"

#include "kernel/bounded_log.h"
#include "simdesk/desktop.h"

#include <cstring>
#include <utility>

#include "call_app_model.h"

namespace simdesk {

namespace {

constexpr const WCHAR* kApiClassName = L"SimCallApplicationApi";
constexpr const WCHAR* kOtherClassName = L"SimCallApplicationOther";
constexpr LPARAM kAttachSuccess = 0;
constexpr LPARAM kAttachDiscoverAgain = 0x8001;
constexpr UINT kAnnounceTimeoutMs = 1000;

// Requests from the driving thread, handled on the application's thread.
constexpr UINT kRequestSend = WM_APP + 10;
constexpr UINT kRequestAttachAgain = WM_APP + 11;
constexpr UINT kRequestAnswerDiscovery = WM_APP + 12;
constexpr UINT kDeferredReply = WM_APP + 13;
constexpr UINT kRequestDestroyApiWindow = WM_APP + 14;

CallApplication::State* theApplication = nullptr;  // one per desktop

struct SendRequest {
    const char* bytes;
    DWORD byteCount;
    HWND from;
};

}  // namespace

struct CallApplication::State {
    mutable std::mutex lock;
    AttachReply attachReply = AttachReply::Attach;
    ReplyTiming replyTiming = ReplyTiming::AfterCommand;
    Observer observer;
    BoundedLog<ReceivedCommand> commands;
    call_app::CallAppModel model;  // the calls it knows and its answers

    // Application thread only, apart from reads of the handles once started.
    HANDLE thread = nullptr;
    HANDLE ready = nullptr;
    HANDLE commandsReleased = nullptr;  // manual-reset; unsignalled while commands are held
    HWND apiWindows[2] = {nullptr, nullptr};
    int currentWindow = 0;
    HWND stranger = nullptr;
    HWND client = nullptr;
    bool discoveryHeld = false;
    bool askedToDiscoverAgain = false;
    std::size_t discoverAgainReplies = 0;  // guarded by lock
    std::size_t discoveries = 0;           // guarded by lock
    UINT attachMessage = 0;
    UINT discoverMessage = 0;

    void Observe(bool received, const std::string& text) {
        Observer copy;
        {
            std::lock_guard guard(lock);
            copy = observer;
        }
        if (copy)
            copy(received, text);
    }

    HWND CurrentApiWindow() const { return apiWindows[currentWindow]; }

    LRESULT SendBytes(const char* bytes, DWORD byteCount, HWND from) {
        const std::string shown(bytes, strnlen(bytes, byteCount));
        Observe(/*received=*/false, shown);
        if (client == nullptr)
            return 0;
        COPYDATASTRUCT data{};
        data.dwData = 0;
        data.cbData = byteCount;
        data.lpData = const_cast<char*>(bytes);
        return SendMessageW(client, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                            reinterpret_cast<LPARAM>(&data));
    }

    LRESULT SendText(const std::string& text) {
        return SendBytes(text.c_str(), static_cast<DWORD>(text.size() + 1), CurrentApiWindow());
    }

    void PostAttach(LPARAM result) {
        if (client != nullptr) {
            PostMessageW(client, attachMessage, reinterpret_cast<WPARAM>(CurrentApiWindow()),
                         result);
        }
    }

    void OnDiscover(HWND from) {
        client = from;
        if (CountDiscoveryAndAskAgain())
            return;
        AttachReply reply;
        {
            std::lock_guard guard(lock);
            reply = attachReply;
        }
        switch (reply) {
            case AttachReply::Attach:
                PostAttach(kAttachSuccess);
                break;
            case AttachReply::DiscoverAgainFirst:
                if (askedToDiscoverAgain) {
                    PostAttach(kAttachSuccess);
                } else {
                    askedToDiscoverAgain = true;
                    PostAttach(kAttachDiscoverAgain);
                }
                break;
            case AttachReply::OnRequest:
                discoveryHeld = true;
                break;
            case AttachReply::Never:
                break;
        }
    }

    // True when this discovery is answered with 0x8001 (SetDiscoverAgainReplies).
    bool CountDiscoveryAndAskAgain() {
        {
            std::lock_guard guard(lock);
            ++discoveries;
            if (discoverAgainReplies == 0)
                return false;
            --discoverAgainReplies;
        }
        PostAttach(kAttachDiscoverAgain);
        return true;
    }

    // The current API window goes; a new one nobody was told of takes its place.
    void ReplaceApiWindow() {
        HWND replacement = CreateWindowExW(0, kApiClassName, L"Call application",
                                           WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                           nullptr, nullptr, AgentInstance(), nullptr);
        HWND old = apiWindows[currentWindow];
        apiWindows[currentWindow] = replacement;
        DestroyWindow(old);
    }

    LRESULT OnCommand(HWND window, const COPYDATASTRUCT* data) {
        // A hung application does not pump while it hangs.
        WaitForSingleObject(commandsReleased, INFINITE);
        std::string text;
        if (data != nullptr && data->lpData != nullptr) {
            const char* bytes = static_cast<const char*>(data->lpData);
            text.assign(bytes, strnlen(bytes, data->cbData));
        }
        {
            std::lock_guard guard(lock);
            commands.Add({text, window == apiWindows[1] ? 1 : 0});
        }
        Observe(/*received=*/true, text);
        const std::string reply = model.AnswerTo(text);
        ReplyTiming timing;
        {
            std::lock_guard guard(lock);
            timing = replyTiming;
        }
        if (timing == ReplyTiming::DuringCommand) {
            SendText(reply);
        } else {
            PostMessageW(window, kDeferredReply, 0,
                         reinterpret_cast<LPARAM>(new std::string(reply)));
        }
        return TRUE;
    }
};

namespace {

LRESULT CALLBACK ApiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CallApplication::State* app = theApplication;
    if (app == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    if (app->discoverMessage != 0 && message == app->discoverMessage) {
        app->OnDiscover(reinterpret_cast<HWND>(wParam));
        return 1;
    }
    switch (message) {
        case WM_COPYDATA:
            return app->OnCommand(window, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case kRequestSend: {
            const auto* request = reinterpret_cast<const SendRequest*>(lParam);
            return app->SendBytes(request->bytes, request->byteCount, request->from);
        }
        case kDeferredReply: {
            std::unique_ptr<std::string> reply(reinterpret_cast<std::string*>(lParam));
            app->SendText(*reply);
            return 0;
        }
        case kRequestAttachAgain: {
            HWND second = CreateWindowExW(0, kApiClassName, L"Call application",
                                          WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                          nullptr, nullptr, AgentInstance(), nullptr);
            if (second == nullptr)
                return 0;
            app->apiWindows[1] = second;
            app->currentWindow = 1;
            app->PostAttach(kAttachSuccess);
            return 1;
        }
        case kRequestDestroyApiWindow:
            app->ReplaceApiWindow();
            return 0;
        case kRequestAnswerDiscovery:
            if (!app->discoveryHeld)
                return 0;
            app->discoveryHeld = false;
            app->PostAttach(kAttachSuccess);
            return 1;
        case WM_CLOSE:
            if (app->apiWindows[1] != nullptr)
                DestroyWindow(app->apiWindows[1]);
            if (app->stranger != nullptr)
                DestroyWindow(app->stranger);
            DestroyWindow(app->apiWindows[0]);
            return 0;
        case WM_DESTROY:
            if (window == app->apiWindows[0])
                PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void RegisterClasses() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ApiWindowProc;
    windowClass.hInstance = AgentInstance();
    windowClass.lpszClassName = kApiClassName;
    RegisterClassExW(&windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = kOtherClassName;
    RegisterClassExW(&windowClass);
}

DWORD WINAPI ApplicationThread(LPVOID parameter) {
    auto* app = static_cast<CallApplication::State*>(parameter);
    // Another program: its windows name another process, which ends with this thread.
    BeginProcess();
    RegisterClasses();
    app->attachMessage = RegisterWindowMessageW(L"SkypeControlAPIAttach");
    app->discoverMessage = RegisterWindowMessageW(L"SkypeControlAPIDiscover");
    app->apiWindows[0] =
        CreateWindowExW(0, kApiClassName, L"Call application", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        0, CW_USEDEFAULT, 0, nullptr, nullptr, AgentInstance(), nullptr);
    app->stranger = CreateWindowExW(0, kOtherClassName, L"Call application (other)",
                                    WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                    nullptr, nullptr, AgentInstance(), nullptr);
    // Announce: clients that started first discover again.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, app->attachMessage,
                        reinterpret_cast<WPARAM>(app->apiWindows[0]), kAttachDiscoverAgain,
                        SMTO_ABORTIFHUNG, kAnnounceTimeoutMs, &ignored);
    SetEvent(app->ready);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

CallApplication::CallApplication() : state_(std::make_unique<State>()) {}

CallApplication::~CallApplication() {
    Stop();
}

void CallApplication::Start() {
    if (state_->thread != nullptr)
        return;
    theApplication = state_.get();
    state_->ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state_->commandsReleased = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    state_->thread = CreateThread(nullptr, 0, ApplicationThread, state_.get(), 0, nullptr);
    WaitForSingleObject(state_->ready, INFINITE);
}

void CallApplication::Stop() {
    if (state_->thread == nullptr)
        return;
    ReleaseCommands();
    PostMessageW(state_->apiWindows[0], WM_CLOSE, 0, 0);
    WaitForSingleObject(state_->thread, INFINITE);
    CloseHandle(state_->thread);
    CloseHandle(state_->ready);
    CloseHandle(state_->commandsReleased);
    state_->commandsReleased = nullptr;
    state_->thread = nullptr;
    state_->ready = nullptr;
    state_->apiWindows[0] = state_->apiWindows[1] = state_->stranger = nullptr;
    theApplication = nullptr;
}

bool CallApplication::IsRunning() const {
    return state_->thread != nullptr;
}

void CallApplication::SetAttachReply(AttachReply reply) {
    std::lock_guard guard(state_->lock);
    state_->attachReply = reply;
}

void CallApplication::SetReplyTiming(ReplyTiming timing) {
    std::lock_guard guard(state_->lock);
    state_->replyTiming = timing;
}

void CallApplication::SetObserver(Observer observer) {
    std::lock_guard guard(state_->lock);
    state_->observer = std::move(observer);
}

void CallApplication::HoldCommands() {
    if (state_->commandsReleased != nullptr)
        ResetEvent(state_->commandsReleased);
}

void CallApplication::ReleaseCommands() {
    if (state_->commandsReleased != nullptr)
        SetEvent(state_->commandsReleased);
}

bool CallApplication::AnswerDiscovery() {
    return SendMessageW(state_->apiWindows[0], kRequestAnswerDiscovery, 0, 0) != 0;
}

void CallApplication::AttachAgain() {
    SendMessageW(state_->apiWindows[0], kRequestAttachAgain, 0, 0);
}

void CallApplication::SetDiscoverAgainReplies(std::size_t count) {
    std::lock_guard guard(state_->lock);
    state_->discoverAgainReplies = count;
}

std::size_t CallApplication::DiscoveriesReceived() const {
    std::lock_guard guard(state_->lock);
    return state_->discoveries;
}

void CallApplication::DestroyApiWindow() {
    SendMessageW(state_->apiWindows[0], kRequestDestroyApiWindow, 0, 0);
}

HWND CallApplication::ClientWindow() const {
    return state_->client;
}

HWND CallApplication::ApiWindow() const {
    return state_->CurrentApiWindow();
}

std::vector<ReceivedCommand> CallApplication::Commands() const {
    std::lock_guard guard(state_->lock);
    return state_->commands.Kept();
}

std::size_t CallApplication::CommandCount() const {
    std::lock_guard guard(state_->lock);
    return state_->commands.Total();
}

std::vector<std::string> CallApplication::CommandTexts() const {
    std::vector<std::string> texts;
    for (const ReceivedCommand& command : Commands())
        texts.push_back(command.text);
    return texts;
}

void CallApplication::ClearCommands() {
    std::lock_guard guard(state_->lock);
    state_->commands.Clear();
}

LRESULT CallApplication::NotifyBytes(const std::vector<char>& bytes, DWORD byteCount) {
    SendRequest request{bytes.data(), byteCount, state_->CurrentApiWindow()};
    return SendMessageW(state_->apiWindows[0], kRequestSend, 0, reinterpret_cast<LPARAM>(&request));
}

LRESULT CallApplication::Notify(const std::string& text) {
    std::vector<char> bytes(text.begin(), text.end());
    bytes.push_back('\0');
    return NotifyBytes(bytes, static_cast<DWORD>(bytes.size()));
}

LRESULT CallApplication::NotifyFromStranger(const std::string& text) {
    std::vector<char> bytes(text.begin(), text.end());
    bytes.push_back('\0');
    SendRequest request{bytes.data(), static_cast<DWORD>(bytes.size()), state_->stranger};
    return SendMessageW(state_->apiWindows[0], kRequestSend, 0, reinterpret_cast<LPARAM>(&request));
}

void CallApplication::IncomingCall(const std::string& id, const std::string& type) {
    Notify(state_->model.IncomingCall(id, type));
}

void CallApplication::OutgoingCall(const std::string& id, const std::string& type) {
    Notify(state_->model.OutgoingCall(id, type));
}

void CallApplication::AnswerCall(const std::string& id) {
    Notify(state_->model.AnswerCall(id));
}

void CallApplication::FarEndHangUp(const std::string& id) {
    EndCall(id, "FINISHED");
}

void CallApplication::MissCall(const std::string& id) {
    EndCall(id, "MISSED");
}

void CallApplication::RefuseCall(const std::string& id) {
    EndCall(id, "REFUSED");
}

void CallApplication::EndCall(const std::string& id, const std::string& status) {
    Notify(state_->model.EndCall(id, status));
}

}  // namespace simdesk
