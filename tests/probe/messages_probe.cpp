// Sent and posted messages between threads: results, failures, time-outs, and
// what becomes of a send that timed out.
#include <chrono>

#include "peers.h"

namespace probe {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kHandlerStartMs = 5000;

std::string SinceAtLeast(Clock::time_point start, UINT ms) {
    return "waited full time " + YesNo(Clock::now() - start >= std::chrono::milliseconds(ms));
}

// A send follows every send queued before it: once it returns, the receiver
// has handled (or dropped) all of them.
void Flush(HWND window) {
    SendMessageW(window, kMarker, 0, 0);
}

void ProbeRegisteredMessages() {
    const UINT first = RegisterWindowMessageW(L"ProbeSignal");
    const UINT again = RegisterWindowMessageW(L"PROBESIGNAL");
    Line("registered.range-and-case", "in 0xC000-0xFFFF " +
                                          YesNo(first >= 0xC000 && first <= 0xFFFF) +
                                          ", same for other case " + YesNo(again == first));
    SetLastError(kPlantedError);
    Line("registered.empty-name", NumErr(RegisterWindowMessageW(L"")));
}

void ProbeFailures() {
    HWND gone = CreateProbeWindow();
    DestroyWindow(gone);
    SetLastError(kPlantedError);
    Line("post.dead-window", Outcome(PostMessageW(gone, kPing, 0, 0)));
    SetLastError(kPlantedError);
    Line("send.dead-window", NumErr(SendMessageW(gone, kPing, 0, 0)));
    DWORD_PTR result = kPlantedResult;
    SetLastError(kPlantedError);
    const LRESULT timed =
        SendMessageTimeoutW(gone, kPing, 0, 0, SMTO_NORMAL, kExpiringTimeoutMs, &result);
    Line("send-timeout.dead-window", Num(timed) + " " + Err() + " result " + Num(result));
    Peer peer(Peer::Mode::kPumping);
    COPYDATASTRUCT data{1, 0, nullptr};
    SetLastError(kPlantedError);
    Line("post.copydata",
         Outcome(PostMessageW(peer.window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data))));
}

void ProbeAnsweredSends() {
    HWND self = CreateProbeWindow();
    Peer peer(Peer::Mode::kPumping);
    ClearDeliveries();
    const LRESULT answer = SendMessageW(peer.window(), kPing, 0, 0);
    const auto seen = Deliveries();
    Line("send.cross-thread", Num(answer) + ", on the owner's thread " +
                                  YesNo(!seen.empty() && seen.back().thread == peer.threadId()));
    Line("send.callback-while-waiting",
         Num(SendMessageW(peer.window(), kNested, reinterpret_cast<WPARAM>(self), 0)));
    DWORD_PTR result = 0;
    SetLastError(kPlantedError);
    const LRESULT timed =
        SendMessageTimeoutW(peer.window(), kPing, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs, &result);
    Line("send-timeout.answered", Num(timed) + " result " + Num(result) + " " + PlantedError());
    peer.Stop();
    DestroyWindow(self);
}

// The receiver is in a kernel wait when the send times out: it never sees it.
void ProbeSendNeverRetrieved() {
    Peer held(Peer::Mode::kHeld);
    ClearDeliveries();
    DWORD_PTR result = kPlantedResult;
    SetLastError(kPlantedError);
    const auto start = Clock::now();
    const LRESULT timed =
        SendMessageTimeoutW(held.window(), kPing, 0, 0, SMTO_NORMAL, kExpiringTimeoutMs, &result);
    Line("send-timeout.not-retrieved", Num(timed) + " " + Err() + " result " + Num(result) + ", " +
                                           SinceAtLeast(start, kExpiringTimeoutMs));
    held.Release();
    Flush(held.window());
    Line("send-timeout.not-retrieved.handled-later", Num(CountOf(held.window(), kPing)));
}

// The receiver is inside its handler when the send times out: the handler
// still runs to its end.
void ProbeSendBeingHandled() {
    Peer peer(Peer::Mode::kPumping);
    DWORD_PTR result = kPlantedResult;
    SetLastError(kPlantedError);
    const LRESULT timed =
        SendMessageTimeoutW(peer.window(), kSlow, 0, 0, SMTO_NORMAL, kHandlerTimeoutMs, &result);
    const std::string outcome = Num(timed) + " " + Err() + " result " + Num(result);
    const bool started = WaitSlowHandlerStarted(kHandlerStartMs);
    ReleaseSlowHandler();
    Flush(peer.window());
    Line("send-timeout.being-handled", outcome + ", handler had started " + YesNo(started) +
                                           ", finished " + Num(SlowHandlersFinished()));
}

}  // namespace

void ProbeMessages() {
    ProbeRegisteredMessages();
    ProbeFailures();
    ProbeAnsweredSends();
    ProbeSendNeverRetrieved();
    ProbeSendBeingHandled();
}

}  // namespace probe
