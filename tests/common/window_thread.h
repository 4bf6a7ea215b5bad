// A thread that owns one window, for tests in either world. A pumping thread
// runs a GetMessageW loop until WM_QUIT; a held one first blocks in
// WaitForSingleObject, taking no sent message, until Release().
#pragma once

#include "platform/platform.h"

namespace testing_windows {

class WindowThread {
  public:
    enum class Mode { kPumping, kHeld };
    // `createWindow` runs on the new thread; its window must answer
    // `quitMessage` with PostQuitMessage.
    WindowThread(Mode mode, HWND (*createWindow)(), UINT quitMessage)
        : mode_(mode),
          createWindow_(createWindow),
          quitMessage_(quitMessage),
          ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, &threadId_);
        WaitForSingleObject(ready_, INFINITE);
    }
    ~WindowThread() {
        Stop();
        CloseHandle(ready_);
        CloseHandle(release_);
    }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

    HWND window() const { return window_; }
    DWORD threadId() const { return threadId_; }
    void Release() { SetEvent(release_); }
    // Ends its loop and waits for the thread.
    void Stop() {
        if (thread_ == nullptr)
            return;
        Release();
        PostMessageW(window_, quitMessage_, 0, 0);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }

  private:
    static DWORD WINAPI Run(LPVOID parameter) {
        auto* self = static_cast<WindowThread*>(parameter);
        self->window_ = self->createWindow_();
        SetEvent(self->ready_);
        if (self->mode_ == Mode::kHeld)
            WaitForSingleObject(self->release_, INFINITE);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
        return static_cast<DWORD>(msg.wParam);
    }

    Mode mode_;
    HWND (*createWindow_)();
    UINT quitMessage_;
    HANDLE ready_;
    HANDLE release_;
    HANDLE thread_ = nullptr;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
};

}  // namespace testing_windows
