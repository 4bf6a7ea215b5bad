// The simulated desktop's side of the probe: a registered main thread and the
// stock mouse and keyboard plugged, standing in for Wine's own two devices.
#include "probe.h"
#include "simdesk/desktop.h"
#include "simdesk/devices.h"
#include "simdesk/phone.h"

namespace probe {

namespace {

// For the whole run, as a Windows thread is part of the desktop from its start.
void JoinDesktop() {
    static auto* mainThread = new simdesk::DesktopThread;
    (void)mainThread;
}

}  // namespace

void PrepareWorld() {
    JoinDesktop();
    simdesk::PlugDevice(simdesk::MouseModel());
    simdesk::PlugDevice(simdesk::KeyboardModel());
}

void PreparePhone() {
    JoinDesktop();
    static auto* phone = new simdesk::SimulatedPhone;
    phone->Plug();
}

}  // namespace probe
