// Windows for the simulated desktop's tests: a class whose procedure records
// every message it gets, and peer threads that own such windows.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "simdesk/desktop.h"
#include "simdesk/win32.h"

namespace simtest {

struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
};

// What the recording procedure does beyond recording: return a result and set
// `handled`, or leave it to DefWindowProcW. Set before any window exists.
using Reaction = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM, bool& handled)>;

class Recorder {
  public:
    static Recorder& Get();
    void SetReaction(Reaction reaction) { reaction_ = std::move(reaction); }
    std::vector<Received> Of(HWND hwnd) const;
    std::vector<UINT> MessagesOf(HWND hwnd) const;
    int Count(HWND hwnd, UINT message) const;
    void Clear();

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    mutable std::mutex mutex_;
    std::vector<Received> log_;
    Reaction reaction_;
};

// Registers the recording class once and creates a top-level window of it.
HWND CreateRecordingWindow(HWND parent = nullptr, DWORD style = WS_OVERLAPPEDWINDOW);

// A thread owning one recording window. Pumping peers run a GetMessageW loop
// until WM_QUIT; held peers first block in WaitForSingleObject (not pumping)
// until Release().
class Peer {
  public:
    enum class Mode { kPumping, kHeld };
    explicit Peer(Mode mode);
    ~Peer();
    HWND window() const { return window_; }
    DWORD threadId() const { return threadId_; }
    void Release() { SetEvent(release_); }
    // Ends the loop (WM_QUIT via the window) and waits for the thread.
    void Stop();

  private:
    static DWORD WINAPI Run(LPVOID self);
    Mode mode_;
    HANDLE ready_;
    HANDLE release_;
    HANDLE thread_ = nullptr;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
};

// Messages used by the tests' own protocol.
inline constexpr UINT kQuitLoop = WM_APP + 1;

}  // namespace simtest
