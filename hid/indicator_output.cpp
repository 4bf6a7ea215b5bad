#include "hid/indicator_output.h"

#include <new>
#include <string>

#include "hid/scoped_resources.h"
#include "hid/target_device.h"

DevicePathRecord& devicePathRecord = *new DevicePathRecord();

namespace {

// Statuses after which the report is not written: the report could not carry the usage.
bool StopsWrite(NTSTATUS status) {
    switch (status) {
        case HIDP_STATUS_INVALID_PREPARSED_DATA:
        case HIDP_STATUS_INVALID_REPORT_TYPE:
        case HIDP_STATUS_INVALID_REPORT_LENGTH:
        case HIDP_STATUS_USAGE_NOT_FOUND:
        case HIDP_STATUS_BUFFER_TOO_SMALL:
        case HIDP_STATUS_INCOMPATIBLE_REPORT_ID:
            return true;
        default:
            return false;
    }
}

// A report must start as the report that carries the usage, report ID in byte 0;
// an all-zero report would go out as report 0 and never reach a phone whose LED
// report has an ID.
NTSTATUS InitializeReportFor(USHORT usage, PHIDP_PREPARSED_DATA descriptor, char* report,
                             ULONG length) {
    HIDP_BUTTON_CAPS cap{};
    USHORT capCount = 1;
    const NTSTATUS status =
        HidP_GetSpecificButtonCaps(HidP_Output, target_device::kLedPage,
                                   /*LinkCollection=*/0, usage, &cap, &capCount, descriptor);
    if (status != HIDP_STATUS_SUCCESS || capCount == 0)
        return HIDP_STATUS_USAGE_NOT_FOUND;
    return HidP_InitializeReportForID(HidP_Output, cap.ReportID, descriptor, report, length);
}

}  // namespace

bool CopyDevicePath(std::wstring& path) {
    MutexGuard lock(devicePathRecord.lock);
    if (!devicePathRecord.path)
        return false;
    path.assign(devicePathRecord.path.get(), devicePathRecord.length);
    return true;
}

void SetDevicePath(const WCHAR* path) {
    std::uint32_t length = 0;
    while (path[length] != L'\0')
        ++length;
    std::unique_ptr<WCHAR[]> copy(new (std::nothrow) WCHAR[length + 1]);
    if (copy) {
        for (std::uint32_t i = 0; i <= length; ++i)
            copy[i] = path[i];
    }
    MutexGuard lock(devicePathRecord.lock);
    devicePathRecord.path = std::move(copy);
    devicePathRecord.length = devicePathRecord.path ? length : 0;
}

LONG SetIndicator(USHORT usage, bool on) {
    std::wstring path;
    if (!CopyDevicePath(path))
        return ERROR_DEVICE_NOT_CONNECTED;

    ScopedFileHandle device(CreateFileW(path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    if (!device.valid())
        return static_cast<LONG>(GetLastError());

    ScopedPreparsedData descriptor;
    HIDP_CAPS caps{};
    if (!HidD_GetPreparsedData(device.get(), descriptor.out()) ||
        HidP_GetCaps(descriptor.get(), &caps) != HIDP_STATUS_SUCCESS) {
        return static_cast<LONG>(GetLastError());
    }

    const ULONG length = caps.OutputReportByteLength;
    std::unique_ptr<char[]> report(new (std::nothrow) char[length == 0 ? 1 : length]());
    if (!report)
        return HIDP_STATUS_SUCCESS;

    NTSTATUS status = InitializeReportFor(usage, descriptor.get(), report.get(), length);
    if (StopsWrite(status))
        return status;

    USAGE usageList[1] = {usage};
    ULONG usageCount = 1;
    status = on ? HidP_SetUsages(HidP_Output, target_device::kLedPage, /*LinkCollection=*/0,
                                 usageList, &usageCount, descriptor.get(), report.get(), length)
                : HidP_UnsetUsages(HidP_Output, target_device::kLedPage, /*LinkCollection=*/0,
                                   usageList, &usageCount, descriptor.get(), report.get(), length);
    if (StopsWrite(status))
        return status;

    DWORD written = 0;
    WriteFile(device.get(), report.get(), length, &written, nullptr);
    return HIDP_STATUS_SUCCESS;
}

void ShowCallAnswered() {
    SetIndicator(target_device::kRingLed, /*on=*/false);
    SetIndicator(target_device::kOffHookLed, /*on=*/true);
}
