#include "call_app_standin.h"

#include <utility>

namespace standin {
namespace {

constexpr wchar_t kWindowClass[] = L"QuillonCallAppStandIn";
constexpr wchar_t kWindowTitle[] = L"Call application stand-in";
// Window-thread requests from the other threads of the test process.
constexpr UINT kSendRequestMessage = WM_APP + 1;
constexpr UINT kSendRepliesMessage = WM_APP + 2;
constexpr Millis kStartTimeout{5000};
constexpr UINT kAnnounceTimeoutMs = 1000;
constexpr std::string_view kGetCallPrefix = "GET CALL ";
constexpr std::string_view kTypeSuffix = "TYPE";

}  // namespace

struct CallAppStandIn::SendRequest {
    HWND agent;
    std::string_view text;
    HWND from;
    std::optional<LRESULT> result;
};

std::optional<std::string> CallTypeAnswer(std::string_view command, std::string_view type) {
    if (!command.starts_with(kGetCallPrefix) || !command.ends_with(kTypeSuffix) ||
        command.size() < kGetCallPrefix.size() + kTypeSuffix.size()) {
        return std::nullopt;
    }
    std::string_view id = command.substr(
        kGetCallPrefix.size(), command.size() - kGetCallPrefix.size() - kTypeSuffix.size());
    std::string answer = "CALL ";
    answer.append(id).append(kTypeSuffix).append(" ").append(type);
    return answer;
}

CallAppStandIn::CallAppStandIn(Options options) : options_(std::move(options)) {
    discoverMessage_ = RegisterWindowMessageW(kDiscoverMessageName);
    attachMessage_ = RegisterWindowMessageW(kAttachMessageName);
    if (discoverMessage_ == 0 || attachMessage_ == 0) {
        return;
    }
    thread_ = std::thread([this] { run(); });
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kStartTimeout, [this] { return started_; });
    ready_ = started_ && windows_[0] != nullptr && windows_[1] != nullptr;
}

CallAppStandIn::~CallAppStandIn() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return started_; });
    }
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
}

void CallAppStandIn::run() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &CallAppStandIn::windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);  // may already exist: several stand-ins per process

    // Top-level and never shown: such a window receives HWND_BROADCAST, a
    // message-only window would not.
    HWND created[2] = {};
    for (HWND& window : created) {
        window = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, this);
    }
    {
        std::lock_guard lock(mutex_);
        windows_[0] = created[0];
        windows_[1] = created[1];
        threadId_ = GetCurrentThreadId();
    }
    if (options_.announce && created[0] != nullptr) {
        // Clients that started first discover again; their discovery reaches
        // this thread while it waits here.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(HWND_BROADCAST, attachMessage_, reinterpret_cast<WPARAM>(created[0]),
                            kAttachDiscoverAgain, SMTO_ABORTIFHUNG, kAnnounceTimeoutMs, &ignored);
    }
    {
        std::lock_guard lock(mutex_);
        started_ = true;
    }
    changed_.notify_all();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    for (HWND window : created) {
        if (window != nullptr) {
            DestroyWindow(window);
            if (options_.raiseDestroyEvents)
                NotifyWinEvent(EVENT_OBJECT_DESTROY, window, OBJID_WINDOW, CHILDID_SELF);
        }
    }
}

LRESULT CALLBACK CallAppStandIn::windowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CallAppStandIn*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(window, message, wParam, lParam);
}

ApiWindow CallAppStandIn::which(HWND window) const {
    return window == windows_[1] ? ApiWindow::kSecond : ApiWindow::kFirst;
}

LRESULT CallAppStandIn::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == discoverMessage_) {
        // Both windows hear the broadcast; the application answers once.
        if (window != windows_[0]) {
            return 0;
        }
        auto broadcaster = reinterpret_cast<HWND>(wParam);
        {
            std::lock_guard lock(mutex_);
            discovers_.push_back({broadcaster, lParam});
        }
        changed_.notify_all();
        if (options_.answerDiscover) {
            // Posted, as a separate application would: the agent sees it only
            // when its own loop gets to it.
            PostMessageW(broadcaster, attachMessage_, reinterpret_cast<WPARAM>(windows_[0]),
                         kAttachSuccess);
        }
        return 0;
    }
    switch (message) {
        case WM_COPYDATA:
            if (lParam != 0) {
                onCommand(window, wParam, *reinterpret_cast<const COPYDATASTRUCT*>(lParam));
            }
            return TRUE;
        case kSendRequestMessage: {
            auto* request = reinterpret_cast<SendRequest*>(lParam);
            request->result = sendCopyData(request->agent, request->text, request->from);
            return 0;
        }
        case kSendRepliesMessage: {
            std::vector<std::pair<HWND, std::string>> replies;
            replies.swap(pendingReplies_);
            for (const auto& [agent, text] : replies) {
                if (options_.observer) {
                    options_.observer(/*received=*/false, text);
                }
                std::optional<LRESULT> result = sendCopyData(agent, text, windows_[0]);
                std::lock_guard lock(mutex_);
                autoReplies_.emplace_back(text, result.value_or(kSendFailed));
                --answersOwed_;
            }
            changed_.notify_all();
            return 0;
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void CallAppStandIn::onCommand(HWND window, WPARAM wParam, const COPYDATASTRUCT& data) {
    CommandSeen seen{which(window), reinterpret_cast<HWND>(wParam), data.dwData, data.cbData, {}};
    if (data.lpData != nullptr) {
        const auto* bytes = static_cast<const char*>(data.lpData);
        std::size_t length = 0;
        while (length < data.cbData && bytes[length] != '\0') {
            ++length;
        }
        seen.text.assign(bytes, length);
    }
    if (options_.observer) {
        options_.observer(/*received=*/true, seen.text);
    }
    std::optional<std::string> answer;
    if (options_.answer) {
        answer = options_.answer(seen.text);
    } else if (!options_.answerCallType.empty()) {
        answer = CallTypeAnswer(seen.text, options_.answerCallType);
    }
    const HWND agent = seen.sender;
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(std::move(seen));
        if (answer && !options_.answerInline) {
            ++answersOwed_;
        }
    }
    changed_.notify_all();
    if (!answer) {
        return;
    }
    if (options_.answerInline) {
        if (options_.observer) {
            options_.observer(/*received=*/false, *answer);
        }
        std::optional<LRESULT> result = sendCopyData(agent, *answer, windows_[0]);
        {
            std::lock_guard lock(mutex_);
            autoReplies_.emplace_back(std::move(*answer), result.value_or(kSendFailed));
        }
        changed_.notify_all();
        return;
    }
    // Answered after this command returns: the agent is blocked in its send
    // until then.
    pendingReplies_.emplace_back(agent, std::move(*answer));
    PostMessageW(windows_[0], kSendRepliesMessage, 0, 0);
}

std::optional<LRESULT> CallAppStandIn::sendCopyData(HWND agent, std::string_view text,
                                                    HWND from) const {
    std::string payload(text);  // owns the terminating NUL that travels with the text
    COPYDATASTRUCT data{};
    data.dwData = 0;
    data.cbData = static_cast<DWORD>(payload.size() + 1);
    data.lpData = payload.data();
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(agent, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                            reinterpret_cast<LPARAM>(&data), SMTO_NORMAL,
                            static_cast<UINT>(options_.sendTimeout.count()), &result) == 0) {
        return std::nullopt;
    }
    return static_cast<LRESULT>(result);
}

std::optional<LRESULT> CallAppStandIn::notify(HWND agent, std::string_view text,
                                              ApiWindow from) const {
    if (!ready_) {
        return std::nullopt;
    }
    SendRequest request{agent, text, window(from), std::nullopt};
    if (GetCurrentThreadId() == threadId_) {
        return sendCopyData(agent, text, request.from);
    }
    SendMessageW(windows_[0], kSendRequestMessage, 0, reinterpret_cast<LPARAM>(&request));
    return request.result;
}

bool CallAppStandIn::postAttach(HWND agent, LPARAM code, ApiWindow from) const {
    return PostMessageW(agent, attachMessage_, reinterpret_cast<WPARAM>(window(from)), code) != 0;
}

bool CallAppStandIn::waitUntilAccepted(HWND agent, Millis timeout, ApiWindow from) const {
    const auto deadline = Clock::now() + timeout;
    do {
        std::optional<LRESULT> result = notify(agent, kNeutralNotification, from);
        if (result == 1) {
            return true;
        }
        // Let the agent's loop reach the posted attach before asking again.
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, Millis{5});
    } while (Clock::now() < deadline);
    return false;
}

bool CallAppStandIn::waitUntil(const std::function<bool()>& done, Millis timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, done);
}

bool CallAppStandIn::waitForDiscovers(std::size_t count, Millis timeout) const {
    return waitUntil([&] { return discovers_.size() >= count; }, timeout);
}

bool CallAppStandIn::waitForCommands(std::size_t count, Millis timeout) const {
    return waitUntil([&] { return commands_.size() >= count; }, timeout);
}

bool CallAppStandIn::waitForAutoReplies(std::size_t count, Millis timeout) const {
    return waitUntil([&] { return autoReplies_.size() >= count; }, timeout);
}

bool CallAppStandIn::waitUntilAnswered(Millis timeout) const {
    return waitUntil([&] { return answersOwed_ == 0; }, timeout);
}

std::vector<DiscoverSeen> CallAppStandIn::discovers() const {
    std::lock_guard lock(mutex_);
    return discovers_;
}

std::vector<CommandSeen> CallAppStandIn::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<std::string> CallAppStandIn::commandTexts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    texts.reserve(commands_.size());
    for (const CommandSeen& seen : commands_) {
        texts.push_back(seen.text);
    }
    return texts;
}

std::vector<std::pair<std::string, LRESULT>> CallAppStandIn::autoReplies() const {
    std::lock_guard lock(mutex_);
    return autoReplies_;
}

}  // namespace standin
