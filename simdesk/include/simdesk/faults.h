// Test-side fault injection: makes the Nth call of a named Win32 function fail
// the way Windows fails it, and counts the calls so that a test can sweep N over
// a whole scenario. Only calls made on the agent's threads are counted and
// failed: a thread marked with MarkAgentThread and every thread it starts with
// CreateThread. The simulated peers and the driving test are never touched.
// The agent never includes this.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "simdesk/win32_types.h"

namespace simdesk::faults {

// Each with what a failed call reports, as Windows reports it.
enum class Call : int {
    CreateFileQuery,  // CreateFileW, access 0: INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND (gone)
    CreateFileRead,   // CreateFileW, GENERIC_READ: the same
    CreateFileWrite,  // CreateFileW, GENERIC_WRITE: the same
    HidD_GetPreparsedData,        // FALSE, ERROR_DEVICE_NOT_CONNECTED
    HidD_GetAttributes,           // FALSE, ERROR_DEVICE_NOT_CONNECTED
    HidP_GetCaps,                 // HIDP_STATUS_INVALID_PREPARSED_DATA
    HidP_GetButtonCaps,           // HIDP_STATUS_INVALID_PREPARSED_DATA
    HidP_GetValueCaps,            // HIDP_STATUS_INVALID_PREPARSED_DATA
    HidP_GetSpecificButtonCaps,   // HIDP_STATUS_INVALID_PREPARSED_DATA
    HidP_MaxUsageListLength,      // 0
    ReadFile,                     // FALSE, ERROR_DEVICE_NOT_CONNECTED; no read is started
    GetOverlappedResult,          // once the I/O is over: FALSE, ERROR_DEVICE_NOT_CONNECTED
    WriteFile,                    // FALSE, ERROR_DEVICE_NOT_CONNECTED; nothing reaches the device
    CreateThread,                 // null, ERROR_NOT_ENOUGH_MEMORY
    CreateEventW,                 // null, ERROR_NO_SYSTEM_RESOURCES
    RegisterDeviceNotificationW,  // null, ERROR_NOT_ENOUGH_MEMORY
    WTSRegisterSessionNotification,  // FALSE, RPC_S_INVALID_BINDING (service not started)
    RegisterWindowMessageW,          // 0, ERROR_NOT_ENOUGH_MEMORY (atom table full)
    SendMessageTimeoutW,             // 0, ERROR_TIMEOUT; nothing is delivered
    SendMessageW,                    // 0, ERROR_INVALID_WINDOW_HANDLE; nothing is delivered
    PostMessageW,  // FALSE, ERROR_NOT_ENOUGH_QUOTA (queue full); nothing is posted
    // operator new(std::nothrow): null. The simulated desktop does not allocate
    // that way; a test binary that replaces the operator calls Inject for it.
    NothrowNew,
};
inline constexpr int kCallKinds = static_cast<int>(Call::NothrowNew) + 1;

std::string_view CallName(Call call);
std::optional<Call> CallNamed(std::string_view name);

// Marks the calling thread as the agent's for the rest of its life (or not).
void MarkAgentThread(bool agent = true);
bool OnAgentThread();

// The `nth` agent call of `call` from now on (1 for the next) fails; the other
// calls go through. One armed fault per function at a time.
void FailNth(Call call, std::size_t nth);
// Disarms every fault; counts go on.
void ClearFaults();
// Zeroes the counts and disarms every fault.
void ResetCounts();
// Agent calls of `call` since ResetCounts, and how many of them were failed.
std::size_t CallCount(Call call);
std::size_t InjectedCount(Call call);

// The hook at the top of each simulated function: counts an agent call and
// answers true when it is the one to fail, with the last error set to `error`
// (left alone when 0, for calls that report no last error).
bool Inject(Call call, DWORD error = 0);

// CreateFileW's call by the access asked for.
Call CreateFileCall(DWORD desiredAccess);

}  // namespace simdesk::faults
