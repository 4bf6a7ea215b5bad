// Test-side controls of the simulated HID devices: plugging and unplugging
// devices, sending their input reports and looking at the output reports the
// agent wrote. The agent never includes this.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "simdesk/win32_types.h"

namespace simdesk {

// GUID_DEVINTERFACE_HID, what HidD_GetHidGuid reports.
inline constexpr GUID kHidInterfaceGuid = {
    0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

struct DeviceModel {
    std::string name;  // for test messages only
    USHORT vendorId = 0;
    USHORT productId = 0;
    USHORT versionNumber = 0x0100;
    int interfaceNumber = -1;  // >= 0 puts "&mi_NN" in the interface paths
    // The whole device's report descriptor; each top-level collection becomes an
    // interface of its own, in descriptor order.
    std::vector<std::uint8_t> reportDescriptor;
    // Device instance part of the paths without the collection number, such as
    // "7&1a2b3c4d&0"; empty gives a made-up one.
    std::wstring instance;
    // Non-zero: every CreateFileW on the device fails with this error, as for a
    // device another program holds exclusively.
    DWORD openError = 0;
};

// 0 is never a device.
using DeviceId = std::uint32_t;

struct InterfaceInfo {
    std::wstring path;              // as SetupAPI lists it (lower case)
    std::wstring notificationPath;  // as WM_DEVICECHANGE names it (hardware-ID case)
    USHORT usagePage = 0;
    USHORT usage = 0;
};

// Called for every output report written to the device, with the interface
// index and the report bytes. Runs inside WriteFile with the desktop lock held:
// it must not call Win32 functions.
using OutputReportObserver =
    std::function<void(std::size_t interfaceIndex, const std::vector<std::uint8_t>& report)>;

// Plugs a device in: adds its interfaces after those already present, then sends
// WM_DEVICECHANGE DBT_DEVICEARRIVAL for each interface to every window registered
// for HID interface notifications and DBT_DEVNODES_CHANGED to top-level windows.
// Returns after the windows handled them; 0 when the descriptor does not parse.
DeviceId PlugDevice(const DeviceModel& model, OutputReportObserver observer = {});
// Fails I/O on open handles (pending reads end with ERROR_DEVICE_NOT_CONNECTED),
// removes the interfaces, then sends DBT_DEVICEREMOVECOMPLETE per interface and
// DBT_DEVNODES_CHANGED. False when the device is not plugged.
bool UnplugDevice(DeviceId device);
bool IsDevicePlugged(DeviceId device);
// Unplugs every device, without notifications: for resetting between tests.
void UnplugAllDevicesQuietly();

std::vector<InterfaceInfo> DeviceInterfaces(DeviceId device);

// Delivers one input report (report ID byte first, InputReportByteLength bytes)
// to every handle open for reading on the interface: it completes a pending read
// or waits in that handle's input queue. False when the device is not plugged,
// the interface does not exist or the length is wrong.
bool SendInputReport(DeviceId device, std::size_t interfaceIndex,
                     const std::vector<std::uint8_t>& report);

// The latest output reports written to the interface (up to 256), oldest first,
// and how many were written in all.
std::vector<std::vector<std::uint8_t>> OutputReports(DeviceId device, std::size_t interfaceIndex);
std::size_t OutputReportCount(DeviceId device, std::size_t interfaceIndex);

// A device slow to take its output reports: the next `count` reports written to
// the interface stay inside their WriteFile (the writer blocks, in a wait
// WaitUntilIdle counts as idle) until ReleaseOutputReports lets them through in
// order. Unplugging fails them.
void HoldOutputReports(DeviceId device, std::size_t interfaceIndex, std::size_t count);
// Output reports held now, written but not yet taken by the device.
std::size_t HeldOutputReportCount(DeviceId device, std::size_t interfaceIndex);
// Lets every held report reach the device; returns how many there were. Stops holding.
std::size_t ReleaseOutputReports(DeviceId device, std::size_t interfaceIndex);

// Handles currently open on the interface.
std::size_t OpenHandleCount(DeviceId device, std::size_t interfaceIndex);
// Every successful CreateFileW on the interface since it was plugged, closed or not.
std::size_t OpenCountSincePlug(DeviceId device, std::size_t interfaceIndex);

// Devices to plug beside the phone.
DeviceModel KeyboardModel();
DeviceModel MouseModel();
// The phone's vendor and product IDs, but a vendor-defined usage page.
DeviceModel PhoneIdsOtherPageModel();
// Telephony usage page, but an input report of 3 bytes.
DeviceModel TelephonyLength3Model();
// A keyboard held exclusively by another program: opening it fails.
DeviceModel LockedKeyboardModel();

}  // namespace simdesk
