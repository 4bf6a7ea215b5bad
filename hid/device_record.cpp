#include "hid/device_record.h"

#include <cstring>
#include <new>

DeviceRecord& deviceRecord = *new DeviceRecord();

namespace {

// Far more items than any real collection has; a larger count can only come
// from inverted ranges wrapping the 32-bit total.
constexpr ULONG kMaxItemCount = 1u << 20;

template <typename T>
bool AllocateZeroed(std::unique_ptr<T[]>& block, std::size_t count) {
    block.reset();
    if (count == 0)
        return true;
    block.reset(new (std::nothrow) T[count]());
    return block != nullptr;
}

struct ReportTypeShape {
    HIDP_REPORT_TYPE type;
    USHORT reportByteLength;
    USHORT buttonCapCount;
    USHORT valueCapCount;
    ReportTables& tables;
};

// The value-usage total, with the check that belongs to the type. False when the check fails.
bool ValueUsageTotal(const ReportTypeShape& shape, std::int32_t& total) {
    total = 0;
    for (USHORT i = 0; i < shape.valueCapCount; ++i) {
        const HIDP_VALUE_CAPS& cap = shape.tables.valueCaps[i];
        if (cap.IsRange) {
            if (shape.type == HidP_Input &&
                ULONG{cap.Range.UsageMin} >= ULONG{cap.Range.UsageMax} + shape.buttonCapCount) {
                return false;
            }
            total += std::int32_t{cap.Range.UsageMax} - std::int32_t{cap.Range.UsageMin} + 1;
        } else {
            total += 1;
        }
    }
    if (shape.type == HidP_Feature &&
        ULONG{shape.buttonCapCount} + static_cast<ULONG>(total) < ULONG{shape.buttonCapCount}) {
        return false;
    }
    return true;
}

bool FillButtonItems(const ReportTypeShape& shape, ULONG& index) {
    ReportTables& tables = shape.tables;
    for (USHORT i = 0; i < shape.buttonCapCount; ++i) {
        if (shape.type == HidP_Output && shape.valueCapCount != 0) {
            const HIDP_VALUE_CAPS& firstValue = tables.valueCaps[0];
            if (int{firstValue.Range.UsageMin} ==
                int{firstValue.Range.UsageMax} + int{shape.buttonCapCount}) {
                return false;
            }
        }
        if (index >= tables.itemCount)
            return false;
        const HIDP_BUTTON_CAPS& cap = tables.buttonCaps[i];
        ReportItem& item = tables.items[index++];
        item.isButton = TRUE;
        item.status = HIDP_STATUS_SUCCESS;
        item.usagePage = cap.UsagePage;
        item.reportId = cap.ReportID;
        item.button.usageMin = cap.IsRange ? cap.Range.UsageMin : cap.NotRange.Usage;
        item.button.usageMax = cap.IsRange ? cap.Range.UsageMax : cap.NotRange.Usage;
        item.button.maxUsageCount =
            HidP_MaxUsageListLength(shape.type, cap.UsagePage, deviceRecord.parsedDescriptor);
        if (!AllocateZeroed(item.button.usages, item.button.maxUsageCount))
            return false;
    }
    return true;
}

bool PlaceValueItem(const ReportTypeShape& shape, const HIDP_VALUE_CAPS& cap, USAGE usage,
                    ULONG& index) {
    ReportTables& tables = shape.tables;
    if (index >= tables.itemCount)
        return false;
    ReportItem& item = tables.items[index++];
    item.isButton = FALSE;
    item.status = HIDP_STATUS_SUCCESS;
    item.usagePage = cap.UsagePage;
    item.reportId = cap.ReportID;
    item.value.usage = usage;
    return true;
}

bool FillValueItems(const ReportTypeShape& shape, ULONG& index) {
    for (USHORT i = 0; i < shape.valueCapCount; ++i) {
        const HIDP_VALUE_CAPS& cap = shape.tables.valueCaps[i];
        if (!cap.IsRange) {
            if (!PlaceValueItem(shape, cap, cap.NotRange.Usage, index))
                return false;
            continue;
        }
        // Counted in 16 bits: a range ending at 0xFFFF wraps and runs into the index check.
        for (USAGE usage = cap.Range.UsageMin; usage <= cap.Range.UsageMax; ++usage) {
            if (!PlaceValueItem(shape, cap, usage, index))
                return false;
        }
    }
    return true;
}

bool PrepareReportType(const ReportTypeShape& shape) {
    ReportTables& tables = shape.tables;
    const PHIDP_PREPARSED_DATA descriptor = deviceRecord.parsedDescriptor;
    if (!AllocateZeroed(tables.report, shape.reportByteLength))
        return false;
    if (!AllocateZeroed(tables.buttonCaps, shape.buttonCapCount))
        return false;
    if (!AllocateZeroed(tables.valueCaps, shape.valueCapCount))
        return false;
    if (shape.buttonCapCount != 0) {
        USHORT length = shape.buttonCapCount;
        if (HidP_GetButtonCaps(shape.type, tables.buttonCaps.get(), &length, descriptor) !=
            HIDP_STATUS_SUCCESS) {
            return false;
        }
    }
    if (shape.valueCapCount != 0) {
        USHORT length = shape.valueCapCount;
        if (HidP_GetValueCaps(shape.type, tables.valueCaps.get(), &length, descriptor) !=
            HIDP_STATUS_SUCCESS) {
            return false;
        }
    }
    std::int32_t total = 0;
    if (!ValueUsageTotal(shape, total))
        return false;
    tables.itemCount = ULONG{shape.buttonCapCount} + static_cast<ULONG>(total);
    if (tables.itemCount > kMaxItemCount) {
        tables.itemCount = 0;
        return false;
    }
    if (!AllocateZeroed(tables.items, tables.itemCount)) {
        tables.itemCount = 0;
        return false;
    }
    ULONG index = 0;
    return FillButtonItems(shape, index) && FillValueItems(shape, index);
}

void ReleaseReportTables(ReportTables& tables) {
    tables.report.reset();
    tables.items.reset();  // each item owns its usage list
    tables.itemCount = 0;
    tables.buttonCaps.reset();
    tables.valueCaps.reset();
}

HANDLE OpenForReading(const WCHAR* path, DWORD flags) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

// Keeps, in order, the usages of the first `length` listed that lie in the item's
// range, then a 0 when there is room.
void KeepOwnUsages(ButtonItemFields& button, ULONG length) {
    const ULONG listed = length < button.maxUsageCount ? length : button.maxUsageCount;
    ULONG kept = 0;
    for (ULONG n = 0; n < listed; ++n) {
        const USAGE usage = button.usages[n];
        if (usage >= button.usageMin && usage <= button.usageMax) {
            button.usages[kept++] = usage;
        }
    }
    if (kept < button.maxUsageCount)
        button.usages[kept] = 0;
}

void CloseDeviceHandle() {
    if (deviceRecord.deviceHandle != INVALID_HANDLE_VALUE)
        CloseHandle(deviceRecord.deviceHandle);
    deviceRecord.deviceHandle = INVALID_HANDLE_VALUE;
}

}  // namespace

bool OpenTargetDevice(const char* path) {
    if (path == nullptr)
        return false;
    const std::size_t length = strnlen(path, kMaxDevicePathLength + 1);
    if (length > kMaxDevicePathLength)
        return false;

    deviceRecord.openedPath.reset(new (std::nothrow) char[length + 1]);
    if (!deviceRecord.openedPath)
        return false;
    std::memcpy(deviceRecord.openedPath.get(), path, length + 1);

    WCHAR widePath[kMaxDevicePathLength + 1];
    const int converted = MultiByteToWideChar(CP_ACP, 0, path, static_cast<int>(length), widePath,
                                              static_cast<int>(kMaxDevicePathLength + 1));
    widePath[converted > 0 ? converted : 0] = L'\0';

    deviceRecord.deviceHandle = OpenForReading(widePath, 0);
    if (deviceRecord.deviceHandle == INVALID_HANDLE_VALUE) {
        deviceRecord.openedPath.reset();
        return false;
    }
    deviceRecord.readAccess = TRUE;
    deviceRecord.writeAccess = FALSE;
    deviceRecord.overlappedIo = TRUE;
    deviceRecord.exclusiveAccess = FALSE;

    if (!HidD_GetPreparsedData(deviceRecord.deviceHandle, &deviceRecord.parsedDescriptor)) {
        deviceRecord.parsedDescriptor = nullptr;
        deviceRecord.openedPath.reset();
        CloseDeviceHandle();
        return false;
    }
    deviceRecord.attributes.Size = sizeof(HIDD_ATTRIBUTES);
    if (!HidD_GetAttributes(deviceRecord.deviceHandle, &deviceRecord.attributes) ||
        HidP_GetCaps(deviceRecord.parsedDescriptor, &deviceRecord.capabilities) !=
            HIDP_STATUS_SUCCESS) {
        CloseTargetDevice();
        return false;
    }
    if (!PrepareReportItems()) {
        CloseTargetDevice();
        return false;
    }
    // Only the overlapped handle is ever read from.
    CloseDeviceHandle();
    deviceRecord.deviceHandle = OpenForReading(widePath, FILE_FLAG_OVERLAPPED);
    if (deviceRecord.deviceHandle == INVALID_HANDLE_VALUE) {
        CloseTargetDevice();
        return false;
    }
    return true;
}

bool PrepareReportItems() {
    const HIDP_CAPS& caps = deviceRecord.capabilities;
    const ReportTypeShape shapes[] = {
        {HidP_Input, caps.InputReportByteLength, caps.NumberInputButtonCaps,
         caps.NumberInputValueCaps, deviceRecord.input},
        {HidP_Output, caps.OutputReportByteLength, caps.NumberOutputButtonCaps,
         caps.NumberOutputValueCaps, deviceRecord.output},
        {HidP_Feature, caps.FeatureReportByteLength, caps.NumberFeatureButtonCaps,
         caps.NumberFeatureValueCaps, deviceRecord.feature},
    };
    for (const ReportTypeShape& shape : shapes) {
        if (!PrepareReportType(shape))
            return false;
    }
    return true;
}

bool UnpackInputReport(const char* report, USHORT reportLength, ReportItem* items, ULONG itemCount,
                       PHIDP_PREPARSED_DATA parsedDescriptor) {
    if (itemCount == 0)
        return true;
    // Not even a report ID to read.
    if (report == nullptr || reportLength == 0)
        return false;
    const ULONG reportId = static_cast<UCHAR>(report[0]);
    PCHAR reportBytes = const_cast<PCHAR>(report);
    for (ULONG i = 0; i < itemCount; ++i) {
        ReportItem& item = items[i];
        if (item.reportId != reportId)
            continue;
        if (item.isButton) {
            ButtonItemFields& button = item.button;
            ULONG length = button.maxUsageCount;
            item.status = HidP_GetUsages(HidP_Input, item.usagePage, /*LinkCollection=*/0,
                                         button.usages.get(), &length, parsedDescriptor,
                                         reportBytes, reportLength);
            // A refused report hands back no list; compacting the old one would bring
            // back usages from beyond its terminator that no report holds now.
            if (item.status == HIDP_STATUS_SUCCESS || item.status == HIDP_STATUS_BUFFER_TOO_SMALL)
                KeepOwnUsages(button, length);
        } else {
            ValueItemFields& value = item.value;
            item.status =
                HidP_GetUsageValue(HidP_Input, item.usagePage, /*LinkCollection=*/0, value.usage,
                                   &value.value, parsedDescriptor, reportBytes, reportLength);
            if (item.status != HIDP_STATUS_SUCCESS)
                return false;
            item.status =
                HidP_GetScaledUsageValue(HidP_Input, item.usagePage,
                                         /*LinkCollection=*/0, value.usage, &value.scaledValue,
                                         parsedDescriptor, reportBytes, reportLength);
        }
        item.hasData = TRUE;
    }
    return true;
}

void CloseTargetDevice() {
    deviceRecord.openedPath.reset();
    CloseDeviceHandle();
    if (deviceRecord.parsedDescriptor != nullptr)
        HidD_FreePreparsedData(deviceRecord.parsedDescriptor);
    deviceRecord.parsedDescriptor = nullptr;
    ReleaseReportTables(deviceRecord.input);
    ReleaseReportTables(deviceRecord.output);
    ReleaseReportTables(deviceRecord.feature);
}
