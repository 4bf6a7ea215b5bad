// The simulated desktop's side of the probe: a registered main thread and the
// stock mouse and keyboard plugged, standing in for Wine's own two devices.
#include "probe.h"
#include "simdesk/desktop.h"
#include "simdesk/devices.h"

namespace probe {

void PrepareWorld() {
    // For the whole run, as a Windows thread is part of the desktop from its start.
    static auto* mainThread = new simdesk::DesktopThread;
    (void)mainThread;
    simdesk::PlugDevice(simdesk::MouseModel());
    simdesk::PlugDevice(simdesk::KeyboardModel());
}

}  // namespace probe
