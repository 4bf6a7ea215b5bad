#include "test_windows.h"

namespace simtest {

Recorder& Recorder::Get() {
    static Recorder recorder;
    return recorder;
}

std::vector<Received> Recorder::Of(HWND hwnd) const {
    std::lock_guard guard(mutex_);
    std::vector<Received> result;
    for (const Received& r : log_) {
        if (r.hwnd == hwnd)
            result.push_back(r);
    }
    return result;
}

std::vector<UINT> Recorder::MessagesOf(HWND hwnd) const {
    std::vector<UINT> result;
    for (const Received& r : Of(hwnd))
        result.push_back(r.message);
    return result;
}

int Recorder::Count(HWND hwnd, UINT message) const {
    int count = 0;
    for (const Received& r : Of(hwnd))
        count += r.message == message ? 1 : 0;
    return count;
}

void Recorder::Clear() {
    std::lock_guard guard(mutex_);
    log_.clear();
}

LRESULT CALLBACK Recorder::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Recorder& self = Get();
    {
        std::lock_guard guard(self.mutex_);
        self.log_.push_back(Received{hwnd, message, wParam, lParam, GetCurrentThreadId()});
    }
    if (message == kQuitLoop) {
        PostQuitMessage(static_cast<int>(wParam));
        return 0;
    }
    if (self.reaction_) {
        bool handled = false;
        LRESULT result = self.reaction_(hwnd, message, wParam, lParam, handled);
        if (handled)
            return result;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreateRecordingWindow(HWND parent, DWORD style) {
    static const ATOM registered = [] {
        WNDCLASSEXW info{};
        info.cbSize = sizeof info;
        info.lpfnWndProc = Recorder::Proc;
        info.lpszClassName = L"SimtestRecorder";
        return RegisterClassExW(&info);
    }();
    (void)registered;
    return CreateWindowExW(0, L"SimtestRecorder", L"recorder", style, CW_USEDEFAULT, 0,
                           CW_USEDEFAULT, 0, parent, nullptr, nullptr, nullptr);
}

}  // namespace simtest
