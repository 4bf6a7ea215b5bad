// What the agent relies on to notice the call application going away, and the
// end of the session: process ids and handles, the message loop's wait, and
// out-of-context win events.
#include "peers.h"

namespace probe {
namespace {

HWND watched = nullptr;
int destroyEvents = 0;
DWORD eventThread = 0;

void CALLBACK CountDestroy(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child,
                           DWORD thread, DWORD) {
    if (event != EVENT_OBJECT_DESTROY || window != watched || object != OBJID_WINDOW ||
        child != CHILDID_SELF)
        return;
    ++destroyEvents;
    eventThread = thread;
}

struct Raiser {
    HANDLE made;
    HANDLE go;
    HWND window;
    bool notify;
};

// Destroys its window when told, then raises the event itself when `notify`.
DWORD WINAPI DestroyOnRequest(LPVOID parameter) {
    auto* raiser = static_cast<Raiser*>(parameter);
    raiser->window = CreateProbeWindow();
    SetEvent(raiser->made);
    WaitForSingleObject(raiser->go, INFINITE);
    DestroyWindow(raiser->window);
    if (raiser->notify)
        NotifyWinEvent(EVENT_OBJECT_DESTROY, raiser->window, OBJID_WINDOW, CHILDID_SELF);
    return 0;
}

void Drain() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

// Destroy events of another thread's window, seen by a hook of this thread.
std::string DestroyEventsSeen(bool notify) {
    Raiser raiser{CreateEventW(nullptr, TRUE, FALSE, nullptr),
                  CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr, notify};
    DWORD raiserThread = 0;
    // Set before the raising thread starts: Wine 8 missed an event raised by a
    // thread that had been blocked since before the hook was set.
    const HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_OBJECT_DESTROY, EVENT_OBJECT_DESTROY, nullptr, CountDestroy,
                        GetCurrentProcessId(), /*idThread=*/0, WINEVENT_OUTOFCONTEXT);
    const HANDLE thread = CreateThread(nullptr, 0, DestroyOnRequest, &raiser, 0, &raiserThread);
    WaitForSingleObject(raiser.made, INFINITE);
    watched = raiser.window;
    destroyEvents = 0;
    eventThread = 0;
    SetEvent(raiser.go);
    WaitForSingleObject(thread, INFINITE);
    Drain();
    UnhookWinEvent(hook);
    CloseHandle(thread);
    CloseHandle(raiser.made);
    CloseHandle(raiser.go);
    return Num(destroyEvents) +
           (destroyEvents > 0 ? ", from the raising thread " + YesNo(eventThread == raiserThread)
                              : "");
}

void ProbeWinEvents() {
    Line("winevent.destroy.by-destroywindow", DestroyEventsSeen(/*notify=*/false));
    Line("winevent.destroy.by-destroywindow-and-notify", DestroyEventsSeen(/*notify=*/true));
    SetLastError(kPlantedError);
    const HWINEVENTHOOK inContext =
        SetWinEventHook(EVENT_OBJECT_DESTROY, EVENT_OBJECT_DESTROY, nullptr, CountDestroy, 0, 0,
                        WINEVENT_INCONTEXT);
    Line("winevent.in-context-without-module", inContext == nullptr ? "null " + Err() : "hook");
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_DESTROY, EVENT_OBJECT_DESTROY, nullptr,
                                               CountDestroy, 0, 0, WINEVENT_OUTOFCONTEXT);
    const BOOL first = UnhookWinEvent(hook);
    const BOOL second = UnhookWinEvent(hook);
    Line("winevent.unhook-twice",
         std::string(first ? "TRUE" : "FALSE") + " then " + (second ? "TRUE" : "FALSE"));
}

void ProbeMessageWait() {
    const HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    Line("msgwait.signalled-handle",
         Num(MsgWaitForMultipleObjectsEx(1, &event, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE)));
    ResetEvent(event);
    Line("msgwait.nothing",
         Hex(MsgWaitForMultipleObjectsEx(1, &event, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE)));
    HWND self = CreateProbeWindow();
    PostMessageW(self, kPing, 0, 0);
    const DWORD posted = MsgWaitForMultipleObjectsEx(1, &event, 0, QS_ALLINPUT, 0);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    const DWORD seenBefore = MsgWaitForMultipleObjectsEx(1, &event, 0, QS_ALLINPUT, 0);
    const DWORD available =
        MsgWaitForMultipleObjectsEx(1, &event, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    Line("msgwait.posted", "new " + Hex(posted) + ", once peeked " + Hex(seenBefore) +
                               ", input available " + Hex(available));
    Drain();
    DestroyWindow(self);
    CloseHandle(event);
}

void ProbeProcesses() {
    Peer peer(Peer::Mode::kPumping);
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(peer.window(), &process);
    Line("process.window-of-other-thread", "thread " + YesNo(thread == peer.threadId()) +
                                               ", process " +
                                               YesNo(process == GetCurrentProcessId()));
    const HANDLE own = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
    Line("process.open-own", std::string(own != nullptr ? "handle" : "null") + ", wait " +
                                 Hex(WaitForSingleObject(own, 0)));
    CloseHandle(own);
    SetLastError(kPlantedError);
    Line("process.open-0",
         OpenProcess(SYNCHRONIZE, FALSE, 0) == nullptr ? "null " + Err() : "handle");
    HWND self = CreateProbeWindow();
    Line("endsession.default-query", Num(DefWindowProcW(self, WM_QUERYENDSESSION, 0, 0)));
    DestroyWindow(self);
}

}  // namespace

void ProbeDepartures() {
    ProbeWinEvents();
    ProbeMessageWait();
    ProbeProcesses();
}

}  // namespace probe
