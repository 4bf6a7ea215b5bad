// The desktop's stock HID mouse and keyboard, found as the agent finds its
// phone: SetupAPI interface paths, opened for query, told apart by usage.
#pragma once

#include <functional>
#include <string>

#include "probe.h"

namespace probe {

inline constexpr USAGE kDesktopPage = 0x01;
inline constexpr USAGE kMouseUsage = 0x02;
inline constexpr USAGE kKeyboardUsage = 0x06;

// The interface path of the first present HID interface that `match` accepts;
// empty when there is none.
using HidMatch = std::function<bool(const HIDD_ATTRIBUTES&, const HIDP_CAPS&)>;
std::wstring HidDevicePath(const HidMatch& match);

// The interface path of the first present HID interface with this top-level
// usage on the Generic Desktop page; empty when there is none.
std::wstring StockDevicePath(USAGE usage);

// CreateFileW on a HID path with the agent's sharing; INVALID_HANDLE_VALUE on failure.
HANDLE OpenDevice(const std::wstring& path, DWORD access, DWORD flags = 0,
                  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE);

}  // namespace probe
