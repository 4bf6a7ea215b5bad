// Simulated processes: the agent's own, and those that peers begin so that
// they look like other programs (their own process id, and a process handle
// that becomes signalled when their last thread ends).
#pragma once

#include "simdesk/win32_types.h"

namespace simdesk {

// The agent's process, which every thread belongs to unless it began another.
inline constexpr DWORD kAgentProcessId = 0x0F00;

// The calling thread's process from now on (threads.cpp).
void SetCurrentProcessId(DWORD process);

// A thread made by CreateThread belongs to its creator's process. Lock held.
void AddThreadToProcessLocked(DWORD process, DWORD threadId);

}  // namespace simdesk
