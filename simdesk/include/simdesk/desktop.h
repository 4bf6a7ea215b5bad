// Test-side controls of the simulated desktop: what a test, a simulated peer or
// the demo uses to drive the desktop and look at it. The agent never includes this.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "simdesk/win32_types.h"

namespace simdesk {

// Registers the calling thread for WaitUntilIdle for the scope's lifetime. Wrap
// the whole life of a test or peer thread that owns windows or waits on the
// desktop; at the end of the scope the thread's windows are destroyed, as when a
// Windows thread ends. Threads made by CreateThread are registered already.
class DesktopThread {
  public:
    DesktopThread();
    ~DesktopThread();
    DesktopThread(const DesktopThread&) = delete;
    DesktopThread& operator=(const DesktopThread&) = delete;

  private:
    bool registered_;
};

// Makes the calling thread the first thread of a new simulated process, as a
// program started on the desktop: its windows report that process, threads it
// creates belong to it, and the process ends (a handle to it is signalled) when
// its last thread ends. Returns the new process id.
DWORD BeginProcess();

// Returns once every registered thread other than the caller is blocked in a
// desktop wait that nothing can satisfy now (a timed wait counts as idle): no
// posted or sent message waits for a pumping thread and no thread is running.
// One driving thread at a time may call it.
void WaitUntilIdle();

// Open handles of the whole simulated process by kind ("event", "file",
// "mutex", "thread"), for tests that look for leaks.
std::map<std::string, std::size_t> OpenHandleCounts();

// The agent's module: what GetModuleHandleW(nullptr) returns; its resources come
// from resources/agent.rc.
HINSTANCE AgentInstance();

// Session changes: post WM_WTSSESSION_CHANGE (wParam = code, lParam = session 1)
// to every window registered with WTSRegisterSessionNotification.
inline constexpr DWORD kSessionId = 1;
void SendSessionChange(DWORD code);
// The session ends (log-off): WM_QUERYENDSESSION, then WM_ENDSESSION (TRUE when
// no window refused), sent to every top-level window, hidden ones included. The
// processes are not ended: Windows may end them any time after that.
void EndSession();
void LockSession();
void UnlockSession();
void DisconnectConsole();
void ConnectConsole();
bool IsRegisteredForSessionNotifications(HWND window);

// Modal dialogs opened by DialogBoxParamW.
struct DialogControl {
    std::wstring className;  // "BUTTON", "STATIC"
    std::wstring text;       // caption, or "#<id>" for an icon control
    int id;
    int x, y, cx, cy;  // dialog units
    DWORD style;
};
// The most recently opened dialog that is still open, or null.
HWND FindOpenDialog();
std::wstring WindowCaption(HWND window);
std::vector<DialogControl> DialogControls(HWND dialog);
// Presses a button as a user would: the dialog gets WM_COMMAND (id, BN_CLICKED)
// from the button. False when the dialog has no such button.
bool ClickDialogButton(HWND dialog, int controlId);

// Menu resources of the agent, for checking them against the script.
struct MenuEntry {
    std::wstring text;
    int id;  // 0 for a popup
    std::vector<MenuEntry> items;
};
std::vector<MenuEntry> AgentMenu(int menuId);

// Windows' visibility, for checking that the agent never shows one.
bool IsWindowShown(HWND window);

}  // namespace simdesk
