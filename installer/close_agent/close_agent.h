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

CloseResult CloseRunningAgents();
