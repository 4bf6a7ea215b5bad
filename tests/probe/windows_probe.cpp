// Window classes, the life of a window, and a thread's own message queue.
#include "peers.h"

namespace probe {
namespace {

LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void ProbeClasses() {
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    info.lpfnWndProc = PlainProc;
    info.lpszClassName = L"ProbePlainClass";
    const ATOM first = RegisterClassExW(&info);
    SetLastError(kPlantedError);
    const ATOM second = RegisterClassExW(&info);
    Line("class.register-twice",
         std::string(first != 0 ? "atom" : "0") + " then " + Num(second) + " " + Err());
    info.cbSize = sizeof info - 1;
    info.lpszClassName = L"ProbeBadSizeClass";
    SetLastError(kPlantedError);
    Line("class.bad-size", NumErr(RegisterClassExW(&info)));
    SetLastError(kPlantedError);
    HWND none = CreateWindowExW(0, L"ProbeNoSuchClass", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                nullptr, nullptr);
    Line("window.unknown-class", std::string(none != nullptr ? "window " : "null ") + Err());
}

void ProbeWindowLife() {
    HWND window = CreateProbeWindow();
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(window, &process);
    Line("window.owner", "thread " + YesNo(thread == GetCurrentThreadId()) + ", process " +
                             YesNo(process == GetCurrentProcessId()));
    ClearDeliveries();
    UpdateWindow(window);
    Line("window.update-never-shown.paints", Num(CountOf(window, WM_PAINT)));
    const std::string destroyed = Outcome(DestroyWindow(window));
    Line("window.destroy-twice", destroyed + " then " + Outcome(DestroyWindow(window)));
    Line("window.is-window-after-destroy", Num(IsWindow(window)));

    HWND closing = CreateProbeWindow();
    SendMessageW(closing, WM_CLOSE, 0, 0);
    Line("window.default-close-destroys", YesNo(!IsWindow(closing)));

    Peer peer(Peer::Mode::kPumping);
    SetLastError(kPlantedError);
    const std::string foreign = Outcome(DestroyWindow(peer.window()));
    Line("window.destroy-other-threads",
         foreign + ", still a window " + YesNo(IsWindow(peer.window()) != FALSE));
    peer.Stop();
    Line("window.gone-with-its-thread", YesNo(!IsWindow(peer.window())));
}

void ProbeOwnQueue() {
    MSG msg{};
    Line("queue.peek-empty", Num(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)));
    PostMessageW(nullptr, kPing, 5, 6);
    const BOOL got = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
    Line("queue.thread-message", Num(got) + " hwnd " + YesNo(msg.hwnd == nullptr) + " wParam " +
                                     Num(static_cast<long long>(msg.wParam)));

    HWND window = CreateProbeWindow();
    PostMessageW(window, kPing, 0, 0);
    DestroyWindow(window);
    Line("queue.posted-to-destroyed-window", Num(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)));

    SetLastError(kPlantedError);
    const BOOL filtered = GetMessageW(&msg, window, 0, 0);
    Line("queue.get-with-dead-window-filter", Num(filtered) + " " + Err());

    PostQuitMessage(7);
    const BOOL quit = GetMessageW(&msg, nullptr, 0, 0);
    Line("queue.quit", Num(quit) + " message " + Hex(msg.message) + " wParam " +
                           Num(static_cast<long long>(msg.wParam)));
}

}  // namespace

void ProbeWindows() {
    ProbeClasses();
    ProbeWindowLife();
    ProbeOwnQueue();
}

}  // namespace probe
