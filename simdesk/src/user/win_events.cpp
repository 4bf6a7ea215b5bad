// Out-of-context win event hooks: SetWinEventHook, UnhookWinEvent,
// NotifyWinEvent, and the events USER32 raises itself (a window destroyed).
#include <chrono>

#include "user/user_state.h"

namespace simdesk {
namespace {

constexpr std::uintptr_t kFirstHook = 0x00020020;
constexpr std::uintptr_t kHookStep = 4;

DWORD EventTime() {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool Passes(const WinEventHook& hook, DWORD event, DWORD process, DWORD thread) {
    if (event < hook.eventMin || event > hook.eventMax)
        return false;
    if ((hook.process != 0 && hook.process != process) ||
        (hook.thread != 0 && hook.thread != thread))
        return false;
    if ((hook.flags & WINEVENT_SKIPOWNPROCESS) != 0 && hook.ownerProcess == process)
        return false;
    return (hook.flags & WINEVENT_SKIPOWNTHREAD) == 0 || hook.owner != thread;
}

const WinEventHook* FindHook(HWINEVENTHOOK handle) {
    for (const WinEventHook& hook : User().winEventHooks) {
        if (hook.handle == handle)
            return &hook;
    }
    return nullptr;
}

}  // namespace

void RaiseWinEventLocked(DWORD event, HWND hwnd, LONG idObject, LONG idChild) {
    const DWORD thread = GetCurrentThreadId();
    const DWORD process = GetCurrentProcessId();
    bool queued = false;
    for (const WinEventHook& hook : User().winEventHooks) {
        if (!Passes(hook, event, process, thread))
            continue;
        QueueOf(hook.owner)
            .winEvents.push_back(
                PendingWinEvent{hook.handle, event, hwnd, idObject, idChild, thread, EventTime()});
        queued = true;
    }
    if (queued)
        NotifyDesktopChanged();
}

void DeliverWinEvents(DesktopGuard& lock, ThreadQueue& queue) {
    while (!queue.winEvents.empty()) {
        const PendingWinEvent pending = queue.winEvents.front();
        queue.winEvents.pop_front();
        // A hook removed after the event was raised gets no more calls.
        const WinEventHook* hook = FindHook(pending.hook);
        if (hook == nullptr)
            continue;
        const WINEVENTPROC proc = hook->proc;
        lock.unlock();
        proc(pending.hook, pending.event, pending.hwnd, pending.idObject, pending.idChild,
             pending.thread, pending.time);
        lock.lock();
    }
    NotifyDesktopChanged();
}

void RemoveWinEventHooksOf(DWORD threadId) {
    std::erase_if(User().winEventHooks,
                  [threadId](const WinEventHook& hook) { return hook.owner == threadId; });
}

}  // namespace simdesk

using namespace simdesk;

HWINEVENTHOOK WINAPI SetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE,
                                     WINEVENTPROC pfnWinEventProc, DWORD idProcess, DWORD idThread,
                                     DWORD dwFlags) {
    if (pfnWinEventProc == nullptr) {
        SetLastErrorValue(ERROR_INVALID_FILTER_PROC);
        return nullptr;
    }
    if ((dwFlags & WINEVENT_INCONTEXT) != 0) {
        // In-context hooks run inside the process that raises the event: a DLL.
        SetLastErrorValue(ERROR_HOOK_NEEDS_HMOD);
        return nullptr;
    }
    DesktopGuard lock(DesktopMutex());
    UserState& user = User();
    if (user.nextWinEventHook == 0)
        user.nextWinEventHook = kFirstHook;
    WinEventHook hook;
    hook.handle = reinterpret_cast<HWINEVENTHOOK>(user.nextWinEventHook);
    user.nextWinEventHook += kHookStep;
    hook.eventMin = eventMin;
    hook.eventMax = eventMax;
    hook.proc = pfnWinEventProc;
    hook.process = idProcess;
    hook.thread = idThread;
    hook.flags = dwFlags;
    hook.owner = GetCurrentThreadId();
    hook.ownerProcess = GetCurrentProcessId();
    QueueOf(hook.owner);
    user.winEventHooks.push_back(hook);
    return hook.handle;
}

BOOL WINAPI UnhookWinEvent(HWINEVENTHOOK hWinEventHook) {
    DesktopGuard lock(DesktopMutex());
    const WinEventHook* hook = FindHook(hWinEventHook);
    if (hook == nullptr || hook->owner != GetCurrentThreadId()) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::erase_if(User().winEventHooks, [hWinEventHook](const WinEventHook& each) {
        return each.handle == hWinEventHook;
    });
    return TRUE;
}

void WINAPI NotifyWinEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild) {
    DesktopGuard lock(DesktopMutex());
    RaiseWinEventLocked(event, hwnd, idObject, idChild);
}
