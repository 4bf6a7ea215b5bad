// Modal dialogs from the agent's dialog templates, and the test-side controls
// that find an open dialog and press its buttons.
#include "user/resource_script.h"
#include "user/user_state.h"

namespace simdesk {
namespace {

constexpr INT_PTR kDialogFailed = -1;

// The dialog manager's procedure: the DLGPROC first, defaults when it declines.
LRESULT CALLBACK DialogWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DLGPROC dialogProc = nullptr;
    {
        DesktopGuard lock(DesktopMutex());
        if (Window* window = FindWindow(hwnd))
            dialogProc = window->dialogProc;
    }
    if (dialogProc != nullptr && dialogProc(hwnd, message, wParam, lParam) != FALSE)
        return TRUE;
    if (message == WM_CLOSE) {
        // Closing a dialog means pressing Cancel, never destroying it directly.
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreateDialogWindow(const DialogTemplate& dialogTemplate, HWND owner, HINSTANCE instance,
                        DLGPROC dialogProc) {
    HWND dialog = CreateWindowExW(0, L"#32770", dialogTemplate.caption.c_str(),
                                  dialogTemplate.style & ~static_cast<DWORD>(WS_VISIBLE),
                                  dialogTemplate.x, dialogTemplate.y, dialogTemplate.cx,
                                  dialogTemplate.cy, owner, nullptr, instance, nullptr);
    if (dialog == nullptr)
        return nullptr;
    for (const DialogControl& control : dialogTemplate.controls) {
        CreateWindowExW(0, control.className.c_str(), control.text.c_str(), control.style,
                        control.x, control.y, control.cx, control.cy, dialog,
                        reinterpret_cast<HMENU>(static_cast<std::intptr_t>(control.id)), instance,
                        nullptr);
    }
    DesktopGuard lock(DesktopMutex());
    Window* window = FindWindow(dialog);
    window->proc = DialogWindowProc;
    window->dialogProc = dialogProc;
    window->controls = dialogTemplate.controls;
    return dialog;
}

// Focus goes to the first control with a tab stop.
HWND FirstTabStop(HWND dialog) {
    DesktopGuard lock(DesktopMutex());
    HWND first = nullptr;
    for (const auto& [key, window] : User().windows) {
        if (window->parent == dialog && (window->style & WS_TABSTOP) != 0) {
            if (first == nullptr || window->handle < first)
                first = window->handle;
        }
    }
    return first;
}

}  // namespace

HWND FindOpenDialog() {
    DesktopGuard lock(DesktopMutex());
    auto& open = User().openDialogs;
    return open.empty() ? nullptr : open.back();
}

std::wstring WindowCaption(HWND window) {
    DesktopGuard lock(DesktopMutex());
    Window* found = FindWindow(window);
    return found != nullptr ? found->caption : std::wstring{};
}

std::vector<DialogControl> DialogControls(HWND dialog) {
    DesktopGuard lock(DesktopMutex());
    Window* found = FindWindow(dialog);
    return found != nullptr ? found->controls : std::vector<DialogControl>{};
}

bool ClickDialogButton(HWND dialog, int controlId) {
    HWND button = nullptr;
    {
        DesktopGuard lock(DesktopMutex());
        if (FindWindow(dialog) == nullptr)
            return false;
        for (const auto& [key, window] : User().windows) {
            if (window->parent == dialog && window->controlId == controlId &&
                window->className == L"BUTTON") {
                button = window->handle;
            }
        }
    }
    if (button == nullptr)
        return false;
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != FALSE;
}

}  // namespace simdesk

using namespace simdesk;

INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    if (hInstance != nullptr && hInstance != AgentInstance()) {
        SetLastErrorValue(ERROR_RESOURCE_DATA_NOT_FOUND);
        return kDialogFailed;
    }
    if (lpTemplateName == nullptr) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return kDialogFailed;
    }
    const auto& dialogs = AgentResources().dialogs;
    auto found = dialogs.find(ResourceKey(lpTemplateName));
    if (found == dialogs.end()) {
        SetLastErrorValue(ERROR_RESOURCE_NAME_NOT_FOUND);
        return kDialogFailed;
    }
    if (hWndParent != nullptr && !IsWindow(hWndParent)) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    HWND dialog = CreateDialogWindow(found->second, hWndParent, hInstance, lpDialogFunc);
    if (dialog == nullptr)
        return kDialogFailed;
    SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(FirstTabStop(dialog)),
                 dwInitParam);

    DesktopGuard lock(DesktopMutex());
    if (Window* window = FindWindow(dialog); window != nullptr && !window->dialogEnded) {
        window->shown = true;  // a modal dialog is shown once initialised
        window->needsPaint = true;
        User().openDialogs.push_back(dialog);
    }
    // The modal loop: every window of the thread keeps getting its messages.
    DWORD self = GetCurrentThreadId();
    ThreadQueue& queue = QueueOf(self);
    auto finished = [dialog] {
        Window* window = FindWindow(dialog);
        return window == nullptr || window->dialogEnded;
    };
    while (!finished()) {
        PumpingWait(
            lock, [&] { return finished() || HasMessageFor(self, queue); }, INFINITE);
        if (finished())
            break;
        lock.unlock();
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Leave the quit for the outer loop and end the dialog.
                PostQuitMessage(static_cast<int>(msg.wParam));
                EndDialog(dialog, 0);
            } else {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        lock.lock();
    }
    Window* window = FindWindow(dialog);
    INT_PTR result = window != nullptr ? window->dialogResult : 0;
    if (window != nullptr)
        DestroyWindowLocked(lock, dialog);
    return result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    DesktopGuard lock(DesktopMutex());
    Window* window = FindWindow(hDlg);
    if (window == nullptr || window->dialogProc == nullptr) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    window->dialogEnded = true;
    window->dialogResult = nResult;
    window->shown = false;
    std::erase(User().openDialogs, hDlg);
    NotifyDesktopChanged();
    return TRUE;
}
