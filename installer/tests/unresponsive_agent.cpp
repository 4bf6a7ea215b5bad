// Test stand-in for a hung agent: the agent's window class and title, but WM_CLOSE is
// ignored, so only the installer's fallback (ending the process) gets rid of it. Ends on
// its own after a minute so it can never outlive a test.
#include <windows.h>

namespace {

constexpr wchar_t kAgentWindowClass[] = L"QUILLONSKYPEPLUGIN";
constexpr wchar_t kAgentWindowTitle[] = L"TervoSkypePlugIn";
constexpr UINT_PTR kLifetimeTimer = 1;
constexpr UINT kLifetimeMs = 60000;
constexpr int kExitCreateFailed = 3;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CLOSE:
            return 0;
        case WM_TIMER:
            PostQuitMessage(/*nExitCode=*/0);
            return 0;
        default:
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int /*show*/) {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = instance;
    window_class.lpszClassName = kAgentWindowClass;
    RegisterClassExW(&window_class);
    const HWND window =
        CreateWindowExW(0, kAgentWindowClass, kAgentWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return kExitCreateFailed;
    }
    SetTimer(window, kLifetimeTimer, kLifetimeMs, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
