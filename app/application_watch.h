// Noticing that the call application went away: its API window destroyed, or
// its process ended (a crash included), without waking while nothing happens.
// Window thread only.
#pragma once

#include "platform/platform.h"

// Follows the application that owns `apiWindow` (the attached API window):
// a wait on its process for the message loop, and a win event hook for the
// window destroyed while its process lives. A window already followed is left
// as is; null, or a window that no longer exists, follows nothing.
void WatchApplication(HWND apiWindow);

// The followed application's process, for the message loop's wait; null when
// there is none to wait on.
HANDLE ApplicationProcess();

// The message loop's wait on ApplicationProcess() ended: the process is gone,
// or the wait failed (then the process is no longer waited on).
void OnApplicationProcessWaitEnded(bool ended);
