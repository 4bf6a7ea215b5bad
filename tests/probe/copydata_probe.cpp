// WM_COPYDATA as the receiver sees it, on its own thread and on another.
#include <cstring>

#include "peers.h"

namespace probe {
namespace {

std::string Seen(const COPYDATASTRUCT& sent, LRESULT answer) {
    const CopySeen seen = LastCopy();
    return "answer " + Num(answer) + ", dwData " + Num(static_cast<long long>(seen.dwData)) +
           " cbData " + Num(seen.cbData) + " text \"" + seen.text + "\", sender's structure " +
           YesNo(seen.structure == &sent) + ", sender's bytes " + YesNo(seen.data == sent.lpData);
}

}  // namespace

void ProbeCopyData() {
    char text[] = "CALL 1234 STATUS RINGING";
    COPYDATASTRUCT data{/*dwData=*/7, sizeof text, text};
    HWND self = CreateProbeWindow();
    const LRESULT own = SendMessageW(self, WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                                     reinterpret_cast<LPARAM>(&data));
    Line("copydata.same-thread", Seen(data, own));
    Peer peer(Peer::Mode::kPumping);
    const LRESULT other = SendMessageW(peer.window(), WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                                       reinterpret_cast<LPARAM>(&data));
    Line("copydata.other-thread", Seen(data, other));
    COPYDATASTRUCT empty{/*dwData=*/3, 0, nullptr};
    const LRESULT none = SendMessageW(peer.window(), WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                                      reinterpret_cast<LPARAM>(&empty));
    const CopySeen seen = LastCopy();
    Line("copydata.no-bytes", "answer " + Num(none) + ", dwData " +
                                  Num(static_cast<long long>(seen.dwData)) + " cbData " +
                                  Num(seen.cbData) + " lpData null " + YesNo(seen.data == nullptr));
    peer.Stop();
    DestroyWindow(self);
}

}  // namespace probe
