// WTSRegisterSessionNotification and the test-side session changes.
#include <algorithm>

#include "simdesk/win32_wts.h"
#include "simdesk/faults.h"
#include "user/user_state.h"

namespace simdesk {
namespace {

// Registrations outlive their windows, as in the session service: a destroyed
// window that never unregistered stays listed and is skipped on delivery.
std::vector<HWND>& Registered() {
    static auto* registered = new std::vector<HWND>;
    return *registered;
}

}  // namespace

bool IsRegisteredForSessionNotifications(HWND window) {
    DesktopGuard lock(DesktopMutex());
    return std::find(Registered().begin(), Registered().end(), window) != Registered().end();
}

void SendSessionChange(DWORD code) {
    std::vector<HWND> targets;
    {
        DesktopGuard lock(DesktopMutex());
        targets = Registered();
    }
    for (HWND window : targets) {
        PostMessageW(window, WM_WTSSESSION_CHANGE, code, static_cast<LPARAM>(kSessionId));
    }
}

void EndSession() {
    std::vector<HWND> targets;
    {
        DesktopGuard lock(DesktopMutex());
        for (const auto& [key, window] : User().windows) {
            if (window->IsTopLevel())
                targets.push_back(window->handle);
        }
    }
    // Every window is asked first; one that says no keeps the session going.
    bool ending = true;
    for (HWND window : targets) {
        if (IsWindow(window) && SendMessageW(window, WM_QUERYENDSESSION, 0,
                                             static_cast<LPARAM>(ENDSESSION_LOGOFF)) == FALSE)
            ending = false;
    }
    for (HWND window : targets) {
        if (IsWindow(window))
            SendMessageW(window, WM_ENDSESSION, ending ? TRUE : FALSE,
                         static_cast<LPARAM>(ENDSESSION_LOGOFF));
    }
}

void LockSession() {
    SendSessionChange(WTS_SESSION_LOCK);
}
void UnlockSession() {
    SendSessionChange(WTS_SESSION_UNLOCK);
}
void DisconnectConsole() {
    SendSessionChange(WTS_CONSOLE_DISCONNECT);
}
void ConnectConsole() {
    SendSessionChange(WTS_CONSOLE_CONNECT);
}

}  // namespace simdesk

using namespace simdesk;

BOOL WINAPI WTSRegisterSessionNotification(HWND hWnd, DWORD dwFlags) {
    if (faults::Inject(faults::Call::WTSRegisterSessionNotification, RPC_S_INVALID_BINDING))
        return FALSE;
    if (dwFlags != NOTIFY_FOR_THIS_SESSION && dwFlags != NOTIFY_FOR_ALL_SESSIONS) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DesktopGuard lock(DesktopMutex());
    if (FindWindow(hWnd) == nullptr) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    auto& registered = Registered();
    if (std::find(registered.begin(), registered.end(), hWnd) == registered.end()) {
        registered.push_back(hWnd);
    }
    return TRUE;
}

BOOL WINAPI WTSUnRegisterSessionNotification(HWND hWnd) {
    DesktopGuard lock(DesktopMutex());
    std::erase(Registered(), hWnd);
    return TRUE;
}
