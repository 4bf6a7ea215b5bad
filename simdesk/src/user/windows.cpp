// Window classes and the life of a window: creation, painting, destruction.
#include <algorithm>

#include "simdesk/faults.h"
#include "user/user_state.h"

namespace simdesk {
namespace {

constexpr LRESULT kCreateFailed = -1;
// Any non-null value: nothing is ever drawn.
const HDC kPaintDc = reinterpret_cast<HDC>(static_cast<std::uintptr_t>(0x0D0C0010));

bool RegisterClassLocked(const WNDCLASSEXW& info, ATOM* atom) {
    EnsureSystemClasses();
    if (FindClass(info.lpszClassName) != nullptr) {
        SetLastErrorValue(ERROR_CLASS_ALREADY_EXISTS);
        return false;
    }
    ATOM added = AddAtom(info.lpszClassName);
    if (added == 0) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return false;
    }
    WindowClass entry{info.lpszClassName, added, info};
    entry.info.lpszClassName = nullptr;  // the caller's text need not outlive the call
    entry.info.lpszMenuName = IS_INTRESOURCE(info.lpszMenuName) ? info.lpszMenuName : nullptr;
    User().classes.push_back(std::move(entry));
    *atom = added;
    return true;
}

}  // namespace

const WindowClass* FindClass(LPCWSTR name) {
    if (name == nullptr)
        return nullptr;
    for (const WindowClass& entry : User().classes) {
        if (IS_INTRESOURCE(name) ? entry.atom == reinterpret_cast<ULONG_PTR>(name)
                                 : SameName(entry.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

void EnsureSystemClasses() {
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    for (LPCWSTR name : {L"#32770", L"BUTTON", L"STATIC"}) {
        WNDCLASSEXW info{};
        info.cbSize = sizeof info;
        info.lpfnWndProc = DefWindowProcW;
        info.lpszClassName = name;
        ATOM atom = 0;
        RegisterClassLocked(info, &atom);
    }
}

LRESULT CallWindow(DesktopGuard& lock, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = FindWindow(hwnd);
    if (window == nullptr || window->proc == nullptr)
        return 0;
    WNDPROC proc = window->proc;
    lock.unlock();
    LRESULT result = proc(hwnd, message, wParam, lParam);
    lock.lock();
    return result;
}

void DestroyWindowLocked(DesktopGuard& lock, HWND hwnd) {
    Window* window = FindWindow(hwnd);
    if (window == nullptr || window->destroying)
        return;
    window->destroying = true;
    RaiseWinEventLocked(EVENT_OBJECT_DESTROY, hwnd, OBJID_WINDOW, CHILDID_SELF);
    // Owned windows go first, then the window itself, then its children.
    std::vector<HWND> owned;
    std::vector<HWND> children;
    for (const auto& [key, other] : User().windows) {
        if (other->owner == hwnd && other->thread == window->thread)
            owned.push_back(other->handle);
        if (other->parent == hwnd)
            children.push_back(other->handle);
    }
    for (HWND each : owned)
        DestroyWindowLocked(lock, each);
    CallWindow(lock, hwnd, WM_DESTROY, 0, 0);
    for (HWND each : children)
        DestroyWindowLocked(lock, each);
    CallWindow(lock, hwnd, WM_NCDESTROY, 0, 0);

    window = FindWindow(hwnd);
    if (window == nullptr)
        return;
    // Messages still posted to it are dropped with it.
    auto& posted = QueueOf(window->thread).posted;
    std::erase_if(posted, [hwnd](const MSG& msg) { return msg.hwnd == hwnd; });
    std::erase(User().openDialogs, hwnd);
    User().windows.erase(reinterpret_cast<std::uintptr_t>(hwnd));
    NotifyDesktopChanged();
}

}  // namespace simdesk

using namespace simdesk;

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* lpwcx) {
    if (lpwcx == nullptr || lpwcx->cbSize != sizeof(WNDCLASSEXW) ||
        lpwcx->lpszClassName == nullptr || IS_INTRESOURCE(lpwcx->lpszClassName) ||
        lpwcx->cbClsExtra < 0 || lpwcx->cbWndExtra < 0) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DesktopGuard lock(DesktopMutex());
    ATOM atom = 0;
    return RegisterClassLocked(*lpwcx, &atom) ? atom : 0;
}

HWND WINAPI CreateWindowExW(DWORD, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X,
                            int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
    DesktopGuard lock(DesktopMutex());
    EnsureSystemClasses();
    const WindowClass* windowClass = FindClass(lpClassName);
    if (windowClass == nullptr) {
        SetLastErrorValue(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    bool messageOnly = hWndParent == HWND_MESSAGE;
    if (hWndParent != nullptr && !messageOnly && FindWindow(hWndParent) == nullptr) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    bool child = (dwStyle & WS_CHILD) != 0;
    if (child && (hWndParent == nullptr || messageOnly)) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);  // a child needs a parent
        return nullptr;
    }

    auto window = std::make_unique<Window>();
    HWND hwnd = reinterpret_cast<HWND>(User().nextWindow);
    User().nextWindow += kWindowHandleStep;
    window->handle = hwnd;
    window->thread = GetCurrentThreadId();
    window->process = GetCurrentProcessId();
    window->proc = windowClass->info.lpfnWndProc;
    window->className = windowClass->name;
    window->caption = lpWindowName != nullptr ? lpWindowName : L"";
    window->style = dwStyle;
    window->messageOnly = messageOnly;
    window->parent = child ? hWndParent : nullptr;
    window->owner = !child && !messageOnly ? hWndParent : nullptr;
    window->controlId = child ? static_cast<int>(reinterpret_cast<std::intptr_t>(hMenu)) : 0;
    User().windows.emplace(reinterpret_cast<std::uintptr_t>(hwnd), std::move(window));
    QueueOf(GetCurrentThreadId());
    std::wstring className = windowClass->name;

    CREATESTRUCTW create{lpParam,
                         hInstance,
                         hMenu,
                         hWndParent,
                         nHeight,
                         nWidth,
                         Y,
                         X,
                         static_cast<LONG>(dwStyle),
                         lpWindowName,
                         className.c_str(),
                         0};
    auto createParam = reinterpret_cast<LPARAM>(&create);
    if (CallWindow(lock, hwnd, WM_NCCREATE, 0, createParam) == FALSE) {
        CallWindow(lock, hwnd, WM_NCDESTROY, 0, 0);
        User().windows.erase(reinterpret_cast<std::uintptr_t>(hwnd));
        return nullptr;
    }
    if (CallWindow(lock, hwnd, WM_CREATE, 0, createParam) == kCreateFailed) {
        DestroyWindowLocked(lock, hwnd);
        return nullptr;
    }
    Window* created = FindWindow(hwnd);
    if (created == nullptr)
        return nullptr;  // destroyed during creation
    if ((dwStyle & WS_VISIBLE) != 0) {
        created->shown = true;
        created->needsPaint = true;
        NotifyDesktopChanged();
    }
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    DesktopGuard lock(DesktopMutex());
    Window* window = FindWindow(hWnd);
    if (window == nullptr) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (window->thread != GetCurrentThreadId()) {
        SetLastErrorValue(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DestroyWindowLocked(lock, hWnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    DesktopGuard lock(DesktopMutex());
    return FindWindow(hWnd) != nullptr ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    DesktopGuard lock(DesktopMutex());
    Window* window = FindWindow(hWnd);
    if (window == nullptr) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BOOL wasShown = window->shown ? TRUE : FALSE;
    bool show = nCmdShow != SW_HIDE;
    if (show && !window->shown)
        window->needsPaint = true;
    window->shown = show;
    NotifyDesktopChanged();
    return wasShown;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
    DesktopGuard lock(DesktopMutex());
    Window* window = FindWindow(hWnd);
    if (window == nullptr) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // Only a pending update region produces WM_PAINT; a never-shown window has none.
    if (window->needsPaint && window->shown) {
        if (window->thread == GetCurrentThreadId()) {
            CallWindow(lock, hWnd, WM_PAINT, 0, 0);
        } else {
            LRESULT ignored = 0;
            SendToWindow(lock, hWnd, WM_PAINT, 0, 0, SMTO_NORMAL, INFINITE, &ignored);
        }
    }
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    DesktopGuard lock(DesktopMutex());
    Window* window = FindWindow(hWnd);
    if (window == nullptr || lpPaint == nullptr) {
        SetLastErrorValue(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE
                                            : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = kPaintDc;
    lpPaint->fErase = window->needsPaint ? TRUE : FALSE;
    window->needsPaint = false;  // validated
    return kPaintDc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT*) {
    return TRUE;
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
    switch (Msg) {
        case WM_NCCREATE:
            return TRUE;  // FALSE would abort the creation
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hWnd, &paint);
            EndPaint(hWnd, &paint);
            return 0;
        }
        default:
            return 0;
    }
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    DesktopGuard lock(DesktopMutex());
    Window* window = FindWindow(hWnd);
    if (window == nullptr) {
        SetLastErrorValue(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (lpdwProcessId != nullptr)
        *lpdwProcessId = window->process;
    return window->thread;
}

UINT WINAPI RegisterWindowMessageW(LPCWSTR lpString) {
    if (faults::Inject(faults::Call::RegisterWindowMessageW, ERROR_NOT_ENOUGH_MEMORY))
        return 0;
    if (lpString == nullptr) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DesktopGuard lock(DesktopMutex());
    ATOM atom = AddAtom(lpString);
    if (atom == 0)
        SetLastErrorValue(*lpString == L'\0' ? ERROR_INVALID_NAME : ERROR_INVALID_PARAMETER);
    return atom;
}

namespace simdesk {

bool IsWindowShown(HWND window) {
    DesktopGuard lock(DesktopMutex());
    Window* found = FindWindow(window);
    return found != nullptr && found->shown;
}

}  // namespace simdesk
