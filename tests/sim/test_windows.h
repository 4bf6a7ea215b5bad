// Windows for the simulated desktop's tests: a class whose procedure records
// every message it gets, and peer threads that own such windows.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "simdesk/desktop.h"
#include "simdesk/win32.h"
#include "tests/common/window_thread.h"

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

// Messages used by the tests' own protocol.
inline constexpr UINT kQuitLoop = WM_APP + 1;

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

// A thread owning one recording window (see WindowThread for the modes).
class Peer : public testing_windows::WindowThread {
  public:
    explicit Peer(Mode mode)
        : WindowThread(
              mode, [] { return CreateRecordingWindow(); }, kQuitLoop) {}
};

}  // namespace simtest
