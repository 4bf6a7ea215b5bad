// Internal model of the user layer: window classes, windows and per-thread
// message queues. Everything here is guarded by the desktop lock; window
// procedures are always called with the lock released.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kernel/kernel_objects.h"
#include "simdesk/desktop.h"
#include "simdesk/win32_kernel.h"
#include "simdesk/win32_user.h"

namespace simdesk {

struct WindowClass {
    std::wstring name;
    ATOM atom;
    WNDCLASSEXW info;
};

struct Window {
    HWND handle = nullptr;
    DWORD thread = 0;
    DWORD process = 0;
    WNDPROC proc = nullptr;
    std::wstring className;
    std::wstring caption;
    DWORD style = 0;
    HWND parent = nullptr;  // WS_CHILD windows only
    HWND owner = nullptr;   // top-level windows created with a parent
    bool messageOnly = false;
    int controlId = 0;
    bool shown = false;
    bool needsPaint = false;
    bool destroying = false;
    // Dialogs (DialogBoxParamW).
    DLGPROC dialogProc = nullptr;
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    std::vector<DialogControl> controls;

    bool IsTopLevel() const { return parent == nullptr && !messageOnly; }
};

// A message sent to another thread: the sender waits for `done`. Owned jointly,
// since a send that timed out while being handled runs on after its sender left.
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    // WM_COPYDATA travels as a copy, as between processes.
    COPYDATASTRUCT copy{};
    std::vector<BYTE> copyBytes;
    bool done = false;
    LRESULT result = 0;
};

// An out-of-context win event waiting for its hooking thread to look at its queue.
struct PendingWinEvent {
    HWINEVENTHOOK hook = nullptr;
    DWORD event = 0;
    HWND hwnd = nullptr;
    LONG idObject = 0;
    LONG idChild = 0;
    DWORD thread = 0;  // the thread that raised it
    DWORD time = 0;
};

struct ThreadQueue {
    std::deque<MSG> posted;
    // Posts so far, and as many as the thread had when it last looked at its
    // queue: what MsgWaitForMultipleObjectsEx without MWMO_INPUTAVAILABLE calls new.
    std::uint64_t postCount = 0;
    std::uint64_t postCountSeen = 0;
    std::deque<PendingWinEvent> winEvents;
    std::deque<std::shared_ptr<SentMessage>> incoming;
    bool quitPosted = false;
    int quitCode = 0;
    // Inside GetMessageW, a send wait or a dialog loop: able to take sent messages.
    int pumping = 0;
    std::chrono::steady_clock::time_point lastPump = std::chrono::steady_clock::now();
};

// Distance between consecutive window handles, which stay 4-aligned as USER32's do.
inline constexpr std::uintptr_t kWindowHandleStep = 4;

struct WinEventHook {
    HWINEVENTHOOK handle = nullptr;
    DWORD eventMin = 0;
    DWORD eventMax = 0;
    WINEVENTPROC proc = nullptr;
    DWORD process = 0;  // 0: every process
    DWORD thread = 0;   // 0: every thread
    DWORD flags = 0;
    DWORD owner = 0;  // the thread that set it, which gets the events
    DWORD ownerProcess = 0;
};

struct UserState {
    std::map<std::uintptr_t, std::unique_ptr<Window>> windows;
    std::vector<WinEventHook> winEventHooks;
    std::uintptr_t nextWinEventHook = 0;
    std::vector<WindowClass> classes;
    std::map<DWORD, ThreadQueue> queues;
    std::vector<HWND> openDialogs;  // in opening order
    std::uintptr_t nextWindow;
};

// All of these: lock held.
UserState& User();
// Null when the handle names no live window.
Window* FindWindow(HWND hwnd);
ThreadQueue& QueueOf(DWORD threadId);
ATOM AddAtom(std::wstring_view name);                     // 0 when the name is empty or too long
bool SameName(std::wstring_view a, std::wstring_view b);  // case-insensitive

// Calls the window's procedure on this thread, releasing the lock around it.
// Returns 0 when the window is gone.
LRESULT CallWindow(DesktopGuard& lock, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Handles every sent message queued for the calling thread.
void HandleIncomingSends(DesktopGuard& lock, ThreadQueue& queue);

// Waits like a pumping thread: sent messages are handled while waiting (unless
// `handleSends` is false) and the thread counts as pumping. True when `ready`.
bool PumpingWait(DesktopGuard& lock, const std::function<bool()>& ready, DWORD timeoutMs,
                 bool handleSends = true);

// True when GetMessageW on `thread` (no filter) would return without waiting for
// a posted message, the quit flag or paint. No side effects: usable in predicates.
bool HasMessageFor(DWORD thread, ThreadQueue& queue);

// Sends to one window with Windows' cross-thread rule. False on time-out (or a
// hung receiver with SMTO_ABORTIFHUNG), with the last error set.
bool SendToWindow(DesktopGuard& lock, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                  UINT flags, DWORD timeoutMs, LRESULT* result);

// Queues `event` for every out-of-context hook it passes, raised by the calling
// thread (its process and thread are what hooks filter on).
void RaiseWinEventLocked(DWORD event, HWND hwnd, LONG idObject, LONG idChild);
// Calls the hooks of the win events queued for the calling thread, releasing
// the lock around each call.
void DeliverWinEvents(DesktopGuard& lock, ThreadQueue& queue);
// A thread that ends loses its hooks.
void RemoveWinEventHooksOf(DWORD threadId);

// Destroys a window of the calling thread: WM_DESTROY, then WM_NCDESTROY.
void DestroyWindowLocked(DesktopGuard& lock, HWND hwnd);

// Registers the built-in classes ("#32770", "BUTTON", "STATIC") once.
void EnsureSystemClasses();
const WindowClass* FindClass(LPCWSTR name);

}  // namespace simdesk
