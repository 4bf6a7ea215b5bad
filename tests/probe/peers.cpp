#include "peers.h"

#include <cstring>
#include <mutex>

namespace probe {
namespace {

struct Recording {
    std::mutex mutex;
    std::vector<Delivery> deliveries;
    CopySeen copy;
    int slowFinished = 0;
};

Recording& TheRecording() {
    static auto* recording = new Recording;
    return *recording;
}

HANDLE SlowStarted() {
    static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

HANDLE PostedMarkerHandled() {
    static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

HANDLE SlowRelease() {
    static HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

LRESULT OnCopyData(LPARAM lParam) {
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    CopySeen seen{copy, copy->lpData, copy->dwData, copy->cbData, {}};
    if (copy->lpData != nullptr && copy->cbData != 0) {
        const char* text = static_cast<const char*>(copy->lpData);
        const void* end = std::memchr(text, '\0', copy->cbData);
        seen.text.assign(text,
                         end != nullptr ? static_cast<const char*>(end) : text + copy->cbData);
    }
    std::lock_guard guard(TheRecording().mutex);
    TheRecording().copy = seen;
    return 1;
}

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard guard(TheRecording().mutex);
        TheRecording().deliveries.push_back({hwnd, message, GetCurrentThreadId()});
    }
    switch (message) {
        case kPing:
            return kPingAnswer;
        case kNested:
            return SendMessageW(reinterpret_cast<HWND>(wParam), kPong, 0, 0) + 1;
        case kPong:
            return kPongAnswer;
        case kSlow: {
            SetEvent(SlowStarted());
            WaitForSingleObject(SlowRelease(), INFINITE);
            std::lock_guard guard(TheRecording().mutex);
            ++TheRecording().slowFinished;
            return 1;
        }
        case kQuit:
            PostQuitMessage(0);
            return 0;
        case kMarker:
            return 1;
        case kPostedMarker:
            SetEvent(PostedMarkerHandled());
            return 0;
        case WM_COPYDATA:
            return OnCopyData(lParam);
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

std::vector<Delivery> Deliveries() {
    std::lock_guard guard(TheRecording().mutex);
    return TheRecording().deliveries;
}

int CountOf(HWND hwnd, UINT message) {
    int count = 0;
    for (const Delivery& each : Deliveries())
        count += each.hwnd == hwnd && each.message == message ? 1 : 0;
    return count;
}

void ClearDeliveries() {
    std::lock_guard guard(TheRecording().mutex);
    TheRecording().deliveries.clear();
}

CopySeen LastCopy() {
    std::lock_guard guard(TheRecording().mutex);
    return TheRecording().copy;
}

bool WaitSlowHandlerStarted(DWORD timeoutMs) {
    return WaitForSingleObject(SlowStarted(), timeoutMs) == WAIT_OBJECT_0;
}

void ReleaseSlowHandler() {
    SetEvent(SlowRelease());
}

int SlowHandlersFinished() {
    std::lock_guard guard(TheRecording().mutex);
    return TheRecording().slowFinished;
}

void FlushPosted(HWND window) {
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return;
    }
    PostMessageW(window, kPostedMarker, 0, 0);
    WaitForSingleObject(PostedMarkerHandled(), INFINITE);
}

HWND CreateProbeWindow(HWND parent, DWORD style) {
    static const ATOM registered = [] {
        WNDCLASSEXW info{};
        info.cbSize = sizeof info;
        info.lpfnWndProc = RecordingProc;
        info.lpszClassName = L"ProbeRecorder";
        return RegisterClassExW(&info);
    }();
    (void)registered;
    return CreateWindowExW(0, L"ProbeRecorder", L"probe", style, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                           parent, nullptr, nullptr, nullptr);
}

}  // namespace probe
