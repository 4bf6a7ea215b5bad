// Registry entries for threads the kernel itself starts (CreateThread). Called
// with the desktop lock held.
#pragma once

#include "simdesk/win32_types.h"

namespace simdesk {

// Counts the thread as running from before it starts, so that WaitUntilIdle
// cannot slip through between CreateThread and the thread's first instruction.
void RegisterThreadLocked(DWORD threadId);
// Runs the exit hooks for the thread and removes it.
void UnregisterThreadLocked(DWORD threadId);

}  // namespace simdesk
