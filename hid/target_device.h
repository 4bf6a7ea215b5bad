// The one phone model the agent drives: its identity, the collection it acts
// on, and the usages it reads and lights (HID Usage Tables numbering).
#pragma once

#include "platform/platform.h"

namespace target_device {

inline constexpr USHORT kVendorId = 0xF1CE;
inline constexpr USHORT kProductId = 0x0B5D;
inline constexpr USHORT kInputReportByteLength = 2;

inline constexpr USHORT kTelephonyPage = 0x0B;
inline constexpr USHORT kButtonPage = 0x09;
inline constexpr USHORT kLedPage = 0x08;

inline constexpr USHORT kHookSwitch = 0x20;  // Telephony page
inline constexpr USHORT kPhoneMute = 0x2F;   // Telephony page
inline constexpr USHORT kHangUpButton = 7;   // Button page
inline constexpr USHORT kOffHookLed = 0x17;  // LED page
inline constexpr USHORT kRingLed = 0x18;     // LED page

}  // namespace target_device
