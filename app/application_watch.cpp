#include "app/application_watch.h"

#include "bridge/bridge_state.h"
#include "bridge/notification_handler.h"

namespace {

// What is followed of the attached application. Window thread only: the hook's
// callback runs on it too, as it looks at its queue.
struct ApplicationWatch {
    HWND apiWindow = nullptr;
    HANDLE processHandle = nullptr;  // SYNCHRONIZE only
    HWINEVENTHOOK hook = nullptr;
};

ApplicationWatch watch;

void StopWatching() {
    if (watch.hook != nullptr)
        UnhookWinEvent(watch.hook);
    if (watch.processHandle != nullptr)
        CloseHandle(watch.processHandle);
    watch = ApplicationWatch{};
}

// Acts once per watch: the process end and the window's destruction may both
// be seen for the same departure.
void ApplicationGone() {
    StopWatching();
    OnApplicationGone();
}

// The hook takes only events raised in the application's own process, so no
// other program can report its window destroyed; the test on the window and the
// hook keeps a late event of a former watch from counting.
void CALLBACK OnApplicationWindowEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object,
                                       LONG child, DWORD /*eventThread*/, DWORD /*eventTime*/) {
    if (hook == nullptr || hook != watch.hook || event != EVENT_OBJECT_DESTROY ||
        object != OBJID_WINDOW || child != CHILDID_SELF || window != watch.apiWindow)
        return;
    ApplicationGone();
}

}  // namespace

void WatchApplication(HWND apiWindow) {
    if (apiWindow == watch.apiWindow)
        return;
    StopWatching();
    DWORD process = 0;
    if (apiWindow == nullptr || GetWindowThreadProcessId(apiWindow, &process) == 0 ||
        process == 0 || process == GetCurrentProcessId())
        return;
    watch.apiWindow = apiWindow;
    // Either may fail (an application running elevated can refuse the handle);
    // the other still notices most departures.
    watch.processHandle = OpenProcess(SYNCHRONIZE, /*bInheritHandle=*/FALSE, process);
    watch.hook = SetWinEventHook(EVENT_OBJECT_DESTROY, EVENT_OBJECT_DESTROY,
                                 /*hmodWinEventProc=*/nullptr, OnApplicationWindowEvent, process,
                                 /*idThread=*/0, WINEVENT_OUTOFCONTEXT);
}

HANDLE ApplicationProcess() {
    return watch.processHandle;
}

void OnApplicationProcessWaitEnded(bool ended) {
    if (ended) {
        ApplicationGone();
        return;
    }
    // A wait that fails would fail again at once: the loop must not spin on it.
    if (watch.processHandle != nullptr) {
        CloseHandle(watch.processHandle);
        watch.processHandle = nullptr;
    }
}
