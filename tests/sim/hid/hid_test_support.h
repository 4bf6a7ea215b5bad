// Shared helpers of the HID stack tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "simdesk/desktop.h"
#include "simdesk/devices.h"
#include "simdesk/win32.h"

namespace hidtest {

// Parsed data for one descriptor, freed through HidD_FreePreparsedData.
struct PreparsedDeleter {
    void operator()(_HIDP_PREPARSED_DATA* data) const { HidD_FreePreparsedData(data); }
};
using Preparsed = std::unique_ptr<_HIDP_PREPARSED_DATA, PreparsedDeleter>;
// Top-level collection `index` of the descriptor; null when it does not parse.
Preparsed ParseCollection(const std::vector<std::uint8_t>& descriptor, std::size_t index = 0);

// A handle closed on scope exit.
class Handle {
  public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void Reset();

  private:
    HANDLE handle_;
};

HANDLE Open(const std::wstring& path, DWORD access, DWORD flags = 0,
            DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE);

// Every interface path SetupAPI lists, in enumeration order.
std::vector<std::wstring> ListedPaths();

// One WM_DEVICECHANGE as a window saw it; the path copied out of the broadcast.
struct DeviceChange {
    HWND window;
    WPARAM event;
    bool hasHeader;
    DWORD deviceType;
    GUID classGuid;
    std::wstring path;
};

// Top-level windows on the calling thread that record WM_DEVICECHANGE.
class ChangeRecorder {
  public:
    HWND NewWindow();
    const std::vector<DeviceChange>& changes() const;
    void Clear();
};

}  // namespace hidtest
