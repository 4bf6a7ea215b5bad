// Closes the agents running on this desktop, the way the installer needs it: each one is
// asked to quit with WM_CLOSE to its hidden main window (it has no command line) and is
// waited for until its process has exited, so its executable is free to replace or remove.
#pragma once

#include <windows.h>

struct CloseResult {
    int closed = 0;      // agents that quit on WM_CLOSE
    int terminated = 0;  // agents that did not quit in time and were ended
    bool allGone = false;
};

// The agent only has to leave its message loop; this is generous on purpose.
inline constexpr DWORD kCleanExitWaitMs = 10000;

// An agent still running `clean_exit_wait_ms` after WM_CLOSE is ended: a hung agent must
// not turn an upgrade into a pending reboot.
CloseResult CloseRunningAgents(DWORD clean_exit_wait_ms = kCleanExitWaitMs);
