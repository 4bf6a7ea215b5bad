// Device-interface notifications: who asked for them, and sending them.
#pragma once

#include <string>
#include <vector>

#include "simdesk/win32_types.h"

namespace simdesk::hid {

// Sends WM_DEVICECHANGE `event` naming each path to every window registered for
// HID interface notifications, then DBT_DEVNODES_CHANGED to top-level windows.
// Call without the desktop lock: the windows run their procedures meanwhile.
void BroadcastInterfaceChange(DWORD event, const std::vector<std::wstring>& paths);

}  // namespace simdesk::hid
