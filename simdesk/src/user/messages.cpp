// Message queues: posting, retrieving, dispatching, and sending with Windows'
// cross-thread rule (the receiver handles a sent message only while it pumps).
#include <cstring>
#include <vector>

#include "kernel/jitter.h"
#include "simdesk/faults.h"
#include "user/user_state.h"

namespace simdesk {
namespace {

using Clock = std::chrono::steady_clock;

// Windows calls a thread hung when it has not looked at its queue for 5 s.
constexpr auto kHungAfter = std::chrono::milliseconds(5000);
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

struct Filter {
    HWND hwnd;
    UINT min;
    UINT max;

    bool AcceptsMessage(UINT message) const {
        return (min == 0 && max == 0) || (message >= min && message <= max);
    }
    bool AcceptsWindow(HWND target) const {
        if (hwnd == nullptr)
            return true;
        if (hwnd == kThreadMessagesOnly)
            return target == nullptr;
        for (Window* w = FindWindow(target); w != nullptr; w = FindWindow(w->parent)) {
            if (w->handle == hwnd)
                return true;
        }
        return false;
    }
    bool Accepts(const MSG& msg) const {
        return AcceptsMessage(msg.message) && AcceptsWindow(msg.hwnd);
    }
};

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto sinceStart =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return MSG{hwnd, message, wParam, lParam, static_cast<DWORD>(sinceStart.count()), POINT{}};
}

bool IsHung(const ThreadQueue& queue) {
    return queue.pumping == 0 && Clock::now() - queue.lastPump >= kHungAfter;
}

// The WM_COPYDATA copy the receiver sees; valid only during its handling.
void MarshalCopyData(SentMessage& sent) {
    if (sent.message != WM_COPYDATA || sent.lParam == 0)
        return;
    const auto* source = reinterpret_cast<const COPYDATASTRUCT*>(sent.lParam);
    sent.copyBytes.resize(source->cbData);
    if (source->cbData != 0 && source->lpData != nullptr) {
        std::memcpy(sent.copyBytes.data(), source->lpData, source->cbData);
    }
    sent.copy = COPYDATASTRUCT{source->dwData, source->cbData,
                               source->cbData != 0 ? sent.copyBytes.data() : nullptr};
    sent.lParam = reinterpret_cast<LPARAM>(&sent.copy);
}

// Finds the next message of `thread` for GetMessageW/PeekMessageW after sent
// messages: posted messages, then the quit flag, then paint. Lock held. Without
// `remove` it changes nothing, so it may serve as a wait predicate, which
// WaitUntilIdle evaluates on its own thread.
bool NextMessage(DWORD thread, ThreadQueue& queue, const Filter& filter, bool remove, MSG* out) {
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (!filter.Accepts(*it))
            continue;
        *out = *it;
        if (remove)
            queue.posted.erase(it);
        return true;
    }
    if (queue.quitPosted && filter.AcceptsMessage(WM_QUIT)) {
        *out = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
        if (remove)
            queue.quitPosted = false;
        return true;
    }
    if (filter.AcceptsMessage(WM_PAINT)) {
        for (const auto& [key, window] : User().windows) {
            if (window->thread == thread && window->needsPaint && window->shown &&
                filter.AcceptsWindow(window->handle)) {
                *out = MakeMessage(window->handle, WM_PAINT, 0, 0);
                return true;
            }
        }
    }
    return false;
}

bool ValidFilterWindow(HWND hwnd) {
    return hwnd == nullptr || hwnd == kThreadMessagesOnly || FindWindow(hwnd) != nullptr;
}

bool PostLocked(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD thread = GetCurrentThreadId();
    if (hwnd != nullptr) {
        Window* window = FindWindow(hwnd);
        if (window == nullptr)
            return false;
        thread = window->thread;
    }
    ThreadQueue& queue = QueueOf(thread);
    queue.posted.push_back(MakeMessage(hwnd, message, wParam, lParam));
    ++queue.postCount;
    return true;
}

// USER32 broadcasts only system messages and registered ones: a private
// number (WM_USER to 0xBFFF) means something else to every program, so a
// broadcast of one reaches no window at all.
constexpr UINT kFirstRegisteredMessage = 0xC000;
bool IsBroadcastable(UINT message) {
    return message < WM_USER || message >= kFirstRegisteredMessage;
}

// What a broadcast send returns, whoever answered what (as Wine's USER32).
constexpr LRESULT kBroadcastResult = 1;

// The windows a broadcast of `message` reaches, in z-order: a new top-level
// window goes on top, so the newest comes first.
std::vector<HWND> BroadcastTargets(UINT message) {
    std::vector<HWND> result;
    if (!IsBroadcastable(message))
        return result;
    const auto& windows = User().windows;  // by handle: creation order
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (it->second->IsTopLevel())
            result.push_back(it->second->handle);
    }
    return result;
}

}  // namespace

bool HasMessageFor(DWORD thread, ThreadQueue& queue) {
    MSG peek;
    return NextMessage(thread, queue, Filter{nullptr, 0, 0}, /*remove=*/false, &peek);
}

void HandleIncomingSends(DesktopGuard& lock, ThreadQueue& queue) {
    while (!queue.incoming.empty()) {
        std::shared_ptr<SentMessage> sent = queue.incoming.front();
        queue.incoming.pop_front();
        // Taken off the queue: from here a time-out of the sender no longer cancels it.
        JitterOutsideLock(lock, HandOff::SentMessage);
        sent->result = CallWindow(lock, sent->hwnd, sent->message, sent->wParam, sent->lParam);
        sent->done = true;
        // The copy lives only for the call, as between processes.
        sent->copyBytes.clear();
        sent->copyBytes.shrink_to_fit();
        NotifyDesktopChanged();
    }
}

bool PumpingWait(DesktopGuard& lock, const std::function<bool()>& ready, DWORD timeoutMs,
                 bool handleSends) {
    ThreadQueue& queue = QueueOf(GetCurrentThreadId());
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    ++queue.pumping;
    bool satisfied = false;
    for (;;) {
        if (handleSends)
            HandleIncomingSends(lock, queue);
        if (ready()) {
            satisfied = true;
            break;
        }
        DWORD remaining = INFINITE;
        if (timeoutMs != INFINITE) {
            // Rounded up: never wake before the deadline.
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            remaining = static_cast<DWORD>(left.count());
        }
        WaitOnDesktop(
            lock, [&] { return (handleSends && !queue.incoming.empty()) || ready(); }, remaining);
    }
    --queue.pumping;
    queue.lastPump = Clock::now();
    return satisfied;
}

bool SendToWindow(DesktopGuard& lock, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                  UINT flags, DWORD timeoutMs, LRESULT* result) {
    Window* window = FindWindow(hwnd);
    if (window == nullptr) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    // The window's own thread: a plain call, WM_COPYDATA's pointer included.
    if (window->thread == GetCurrentThreadId()) {
        *result = CallWindow(lock, hwnd, message, wParam, lParam);
        return true;
    }
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    MarshalCopyData(*sent);
    const DWORD receiver = window->thread;
    ThreadQueue& target = QueueOf(receiver);
    if ((flags & SMTO_ABORTIFHUNG) != 0 && IsHung(target)) {
        SetLastErrorValue(ERROR_TIMEOUT);
        return false;
    }
    target.incoming.push_back(sent);
    NotifyDesktopChanged();
    bool handleSends = (flags & SMTO_BLOCK) == 0;
    if (!PumpingWait(
            lock, [&sent] { return sent->done; }, timeoutMs, handleSends)) {
        // Not yet retrieved: cancelled, as if never sent. One being handled runs
        // to its end, its result unread.
        if (auto queue = User().queues.find(receiver); queue != User().queues.end())
            std::erase(queue->second.incoming, sent);
        SetLastErrorValue(ERROR_TIMEOUT);
        return false;
    }
    *result = sent->result;
    JitterOutsideLock(lock, HandOff::SenderWakeUp);
    return true;
}

}  // namespace simdesk

using namespace simdesk;

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (faults::Inject(faults::Call::PostMessageW, ERROR_NOT_ENOUGH_QUOTA))
        return FALSE;
    if (Msg == WM_COPYDATA) {
        // Its pointer would not survive the trip; Windows refuses it too.
        SetLastErrorValue(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    DesktopGuard lock(DesktopMutex());
    bool posted = true;
    if (hWnd == HWND_BROADCAST) {
        for (HWND each : BroadcastTargets(Msg))
            PostLocked(each, Msg, wParam, lParam);
    } else {
        posted = PostLocked(hWnd, Msg, wParam, lParam);
    }
    if (!posted) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    NotifyDesktopChanged();
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
    DesktopGuard lock(DesktopMutex());
    ThreadQueue& queue = QueueOf(GetCurrentThreadId());
    queue.quitPosted = true;
    queue.quitCode = nExitCode;
    NotifyDesktopChanged();
}

BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    DesktopGuard lock(DesktopMutex());
    if (lpMsg == nullptr) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Filter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    DWORD self = GetCurrentThreadId();
    ThreadQueue& queue = QueueOf(self);
    for (;;) {
        PumpingWait(
            lock,
            [&] {
                MSG peek;
                return !ValidFilterWindow(hWnd) || !queue.winEvents.empty() ||
                       NextMessage(self, queue, filter, /*remove=*/false, &peek);
            },
            INFINITE);
        queue.postCountSeen = queue.postCount;
        if (queue.winEvents.empty())
            break;
        DeliverWinEvents(lock, queue);
    }
    if (!ValidFilterWindow(hWnd)) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    MSG found{};
    NextMessage(self, queue, filter, /*remove=*/true, &found);
    JitterOutsideLock(lock, HandOff::PostedMessage);
    *lpMsg = found;
    return found.message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    DesktopGuard lock(DesktopMutex());
    if (lpMsg == nullptr || !ValidFilterWindow(hWnd)) {
        SetLastErrorValue(lpMsg == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    ThreadQueue& queue = QueueOf(GetCurrentThreadId());
    DeliverWinEvents(lock, queue);
    HandleIncomingSends(lock, queue);
    queue.lastPump = std::chrono::steady_clock::now();
    queue.postCountSeen = queue.postCount;
    Filter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
    if (!NextMessage(GetCurrentThreadId(), queue, filter, remove, lpMsg))
        return FALSE;
    if (remove)
        JitterOutsideLock(lock, HandOff::PostedMessage);
    return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (lpMsg == nullptr)
        return FALSE;
    bool system = lpMsg->message == WM_SYSKEYDOWN;
    if (lpMsg->message != WM_KEYDOWN && !system)
        return FALSE;
    // No keyboard layout is simulated: letters (unshifted), digits and space.
    WPARAM key = lpMsg->wParam;
    WPARAM character = 0;
    if (key >= 'A' && key <= 'Z')
        character = key - 'A' + 'a';
    if ((key >= '0' && key <= '9') || key == ' ')
        character = key;
    if (character != 0) {
        DesktopGuard lock(DesktopMutex());
        PostLocked(lpMsg->hwnd, system ? WM_SYSCHAR : WM_CHAR, character, lpMsg->lParam);
        NotifyDesktopChanged();
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
    if (lpMsg == nullptr) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lpMsg->hwnd == nullptr)
        return 0;  // thread messages have no procedure
    DesktopGuard lock(DesktopMutex());
    Window* window = FindWindow(lpMsg->hwnd);
    if (window == nullptr) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (window->thread != GetCurrentThreadId()) {
        SetLastErrorValue(ERROR_WINDOW_OF_OTHER_THREAD);
        return 0;
    }
    return CallWindow(lock, lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

namespace {

// Input of `mask` for MsgWaitForMultipleObjectsEx. Lock held; no side effects.
bool HasInput(DWORD thread, ThreadQueue& queue, DWORD mask, bool onlyNew) {
    if ((mask & QS_SENDMESSAGE) != 0 && !queue.incoming.empty())
        return true;
    // Win events come in through the queue whatever the mask.
    if (!queue.winEvents.empty())
        return true;
    if ((mask & QS_POSTMESSAGE) != 0 && (queue.quitPosted || !queue.posted.empty()) &&
        (!onlyNew || queue.postCount != queue.postCountSeen))
        return true;
    if ((mask & QS_PAINT) == 0)
        return false;
    MSG paint;
    return NextMessage(thread, queue, Filter{nullptr, WM_PAINT, WM_PAINT}, /*remove=*/false,
                       &paint);
}

}  // namespace

DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles, DWORD dwMilliseconds,
                                         DWORD dwWakeMask, DWORD dwFlags) {
    if (nCount > MAXIMUM_WAIT_OBJECTS - 1 || (nCount != 0 && pHandles == nullptr) ||
        (dwFlags & MWMO_WAITALL) != 0) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    DesktopGuard lock(DesktopMutex());
    // The current-process pseudo-handle stands for an object never signalled here.
    std::vector<std::shared_ptr<KernelObject>> objects(nCount);
    for (DWORD i = 0; i < nCount; ++i) {
        if (pHandles[i] == CurrentProcessHandle())
            continue;
        objects[i] = ObjectFromHandle(pHandles[i]);
        if (!objects[i]) {
            SetLastErrorValue(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    const DWORD self = GetCurrentThreadId();
    ThreadQueue& queue = QueueOf(self);
    const bool onlyNew = (dwFlags & MWMO_INPUTAVAILABLE) == 0;
    const auto signalled = [&]() -> DWORD {
        for (DWORD i = 0; i < nCount; ++i) {
            if (objects[i] && objects[i]->IsSignaledFor(self))
                return i;
        }
        return nCount;
    };
    // Waiting for input: not hung, though sent messages wait for the next Peek.
    ++queue.pumping;
    const bool ready = WaitOnDesktop(
        lock, [&] { return signalled() < nCount || HasInput(self, queue, dwWakeMask, onlyNew); },
        dwMilliseconds);
    --queue.pumping;
    queue.lastPump = Clock::now();
    if (!ready)
        return WAIT_TIMEOUT;
    const DWORD index = signalled();
    if (index < nCount) {
        objects[index]->OnWaitSatisfied();
        NotifyDesktopChanged();
    }
    return WAIT_OBJECT_0 + index;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (faults::Inject(faults::Call::SendMessageW, ERROR_INVALID_WINDOW_HANDLE))
        return 0;
    DesktopGuard lock(DesktopMutex());
    LRESULT result = 0;
    if (hWnd == HWND_BROADCAST) {
        for (HWND each : BroadcastTargets(Msg)) {
            if (FindWindow(each) != nullptr) {
                SendToWindow(lock, each, Msg, wParam, lParam, SMTO_NORMAL, INFINITE, &result);
            }
        }
        return kBroadcastResult;
    }
    SendToWindow(lock, hWnd, Msg, wParam, lParam, SMTO_NORMAL, INFINITE, &result);
    return result;
}

LRESULT WINAPI SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                   UINT uTimeout, PDWORD_PTR lpdwResult) {
    if (faults::Inject(faults::Call::SendMessageTimeoutW, ERROR_TIMEOUT))
        return 0;
    DesktopGuard lock(DesktopMutex());
    LRESULT result = 0;
    if (lpdwResult != nullptr)
        *lpdwResult = 0;
    if (hWnd != HWND_BROADCAST) {
        if (!SendToWindow(lock, hWnd, Msg, wParam, lParam, fuFlags, uTimeout, &result)) {
            return 0;
        }
        if (lpdwResult != nullptr)
            *lpdwResult = static_cast<DWORD_PTR>(result);
        return 1;
    }
    // One window after the other, each with the full time-out. A broadcast tells
    // nothing about single windows: it succeeds, and a window that timed out
    // leaves ERROR_TIMEOUT as the last error.
    for (HWND each : BroadcastTargets(Msg)) {
        if (FindWindow(each) != nullptr)
            SendToWindow(lock, each, Msg, wParam, lParam, fuFlags, uTimeout, &result);
    }
    if (lpdwResult != nullptr)
        *lpdwResult = static_cast<DWORD_PTR>(kBroadcastResult);
    return 1;
}
