// Lights and clears the phone's Ring and Off-Hook indicators by writing whole
// output reports. Each write opens the device anew, so either thread may call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/thread_safety.h"

// Path of the active target, sized to the path. Replaced on the window thread
// while the reader thread may be writing an indicator, hence the lock.
struct DevicePathRecord {
    Mutex lock;
    std::uint32_t length GUARDED_BY(lock) = 0;       // UTF-16 units, terminator excluded
    std::unique_ptr<WCHAR[]> path GUARDED_BY(lock);  // empty before the first activation
};

extern DevicePathRecord& devicePathRecord;

// Replaces the recorded path (a copy is taken).
void SetDevicePath(const WCHAR* path);
// Copies the recorded path; false when there is none.
bool CopyDevicePath(std::wstring& path);

// Sets (`on`) or clears one LED usage in an otherwise zeroed output report and
// writes it. Returns the platform error when the device cannot be opened or
// described, the HID status when the report cannot carry the usage (nothing is
// written then), and HIDP_STATUS_SUCCESS otherwise. Callers ignore the result.
LONG SetIndicator(USHORT usage, bool on);

// Ring out, then Off-Hook on.
void ShowCallAnswered();
