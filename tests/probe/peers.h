// Windows of the probe: one class whose procedure records every message and
// answers the probe's own, and threads that own such windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "probe.h"
#include "tests/common/window_thread.h"

namespace probe {

// The probe's private messages (direct sends and posts only).
inline constexpr UINT kPing = WM_APP + 1;    // answered with kPingAnswer
inline constexpr UINT kNested = WM_APP + 2;  // sends kPong back to the HWND in wParam
inline constexpr UINT kPong = WM_APP + 3;    // answered with kPongAnswer
inline constexpr UINT kSlow = WM_APP + 4;    // blocks its handler until ReleaseSlowHandler()
inline constexpr UINT kQuit = WM_APP + 5;    // ends the owner's message loop
inline constexpr UINT kMarker = WM_APP + 6;  // a send that follows everything queued before it
inline constexpr UINT kPostedMarker = WM_APP + 7;  // a post that signals once handled
inline constexpr LRESULT kPingAnswer = 1234;
inline constexpr LRESULT kPongAnswer = 41;

struct Delivery {
    HWND hwnd;
    UINT message;
    DWORD thread;
};

// What the recording procedure saw, across threads.
std::vector<Delivery> Deliveries();
int CountOf(HWND hwnd, UINT message);
void ClearDeliveries();

// What the last WM_COPYDATA handler saw.
struct CopySeen {
    const void* structure = nullptr;
    const void* data = nullptr;
    ULONG_PTR dwData = 0;
    DWORD cbData = 0;
    std::string text;
};
CopySeen LastCopy();

// kSlow: the handler signals that it started, then waits to be let go.
bool WaitSlowHandlerStarted(DWORD timeoutMs);
void ReleaseSlowHandler();
int SlowHandlersFinished();

// Returns once `window`'s thread has handled everything posted to it before.
void FlushPosted(HWND window);

// A top-level (or child, or message-only) window of the recording class on
// the calling thread.
HWND CreateProbeWindow(HWND parent = nullptr, DWORD style = WS_OVERLAPPEDWINDOW);

// A thread owning one probe window (see WindowThread for the modes).
class Peer : public testing_windows::WindowThread {
  public:
    explicit Peer(Mode mode)
        : WindowThread(
              mode, [] { return CreateProbeWindow(); }, kQuit) {}
};

}  // namespace probe
