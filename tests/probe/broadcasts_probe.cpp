// HWND_BROADCAST: which windows a broadcast reaches, in what order, what each
// way of broadcasting returns, and a broadcast that meets a thread not pumping.
#include <chrono>

#include "peers.h"

namespace probe {
namespace {

using Clock = std::chrono::steady_clock;

struct Audience {
    HWND own;
    HWND child;
    HWND messageOnly;
    HWND otherThread;
};

std::string Reached(const Audience& a, UINT message) {
    FlushPosted(a.own);
    FlushPosted(a.otherThread);
    return "own " + Num(CountOf(a.own, message)) + ", other thread " +
           Num(CountOf(a.otherThread, message)) + ", child " + Num(CountOf(a.child, message)) +
           ", message-only " + Num(CountOf(a.messageOnly, message));
}

void ProbeEachWay(const Audience& audience, const std::string& name, UINT message) {
    ClearDeliveries();
    SetLastError(kPlantedError);
    const std::string posted = Outcome(PostMessageW(HWND_BROADCAST, message, 0, 0));
    Line("broadcast." + name + ".post", posted + " -> " + Reached(audience, message));

    ClearDeliveries();
    DWORD_PTR result = kPlantedResult;
    SetLastError(kPlantedError);
    const LRESULT timed = SendMessageTimeoutW(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG,
                                              kAnswerTimeoutMs, &result);
    const std::string error = PlantedError();
    Line("broadcast." + name + ".send-timeout", Num(timed) + " result " + Num(result) + " error " +
                                                    error + " -> " + Reached(audience, message));

    ClearDeliveries();
    SetLastError(kPlantedError);
    const LRESULT sent = SendMessageW(HWND_BROADCAST, message, 0, 0);
    Line("broadcast." + name + ".send",
         Num(sent) + " error " + PlantedError() + " -> " + Reached(audience, message));
}

void ProbeAudience(UINT registered) {
    Audience audience{};
    audience.own = CreateProbeWindow();
    audience.child = CreateProbeWindow(audience.own, WS_CHILD);
    audience.messageOnly = CreateProbeWindow(HWND_MESSAGE, 0);
    Peer peer(Peer::Mode::kPumping);
    audience.otherThread = peer.window();
    ProbeEachWay(audience, "registered", registered);
    ProbeEachWay(audience, "system", WM_NULL);
    ProbeEachWay(audience, "wm-user", WM_USER);
    ProbeEachWay(audience, "wm-app", WM_APP + 1);
    peer.Stop();
    DestroyWindow(audience.messageOnly);
    DestroyWindow(audience.own);
}

void ProbeOrder(UINT registered) {
    HWND older = CreateProbeWindow();
    HWND newer = CreateProbeWindow();
    ClearDeliveries();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, registered, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                        &result);
    std::string order;
    for (const Delivery& each : Deliveries()) {
        if (each.message != registered || (each.hwnd != older && each.hwnd != newer))
            continue;
        order += order.empty() ? "" : ", ";
        order += each.hwnd == older ? "older" : "newer";
    }
    Line("broadcast.order", order);
    DestroyWindow(newer);
    DestroyWindow(older);
}

// One thread in a kernel wait: the broadcast waits for it, then goes on to the
// older windows (here one of the caller's own, called directly).
void ProbeHeldThread(UINT registered, UINT flags, const std::string& name) {
    HWND own = CreateProbeWindow();
    Peer held(Peer::Mode::kHeld);
    ClearDeliveries();
    DWORD_PTR result = kPlantedResult;
    SetLastError(kPlantedError);
    const auto start = Clock::now();
    const LRESULT timed =
        SendMessageTimeoutW(HWND_BROADCAST, registered, 0, 0, flags, kExpiringTimeoutMs, &result);
    const bool waited = Clock::now() - start >= std::chrono::milliseconds(kExpiringTimeoutMs);
    const std::string error = PlantedError();
    const int ownCount = CountOf(own, registered);
    held.Release();
    SendMessageW(held.window(), kMarker, 0, 0);
    Line("broadcast.held-thread." + name,
         Num(timed != 0 ? 1 : 0) + " error " + error + " result " + Num(result) +
             ", waited full time " + YesNo(waited) + " -> older own window " + Num(ownCount) +
             ", held thread later " + Num(CountOf(held.window(), registered)));
    held.Stop();
    DestroyWindow(own);
}

}  // namespace

void ProbeBroadcasts() {
    const UINT registered = RegisterWindowMessageW(L"ProbeBroadcast");
    ProbeAudience(registered);
    ProbeOrder(registered);
    ProbeHeldThread(registered, SMTO_ABORTIFHUNG, "abort-if-hung");
    ProbeHeldThread(registered, SMTO_NORMAL, "normal");
}

}  // namespace probe
