// HidP_* calls that read and write reports, with Windows' checks and statuses.
#include <cstring>
#include <vector>

#include "hid/preparsed_data.h"

namespace simdesk::hid {
namespace {

struct Target {
    const ParsedCollection* collection = nullptr;
    NTSTATUS status = HIDP_STATUS_SUCCESS;
};

// The checks every report routine makes first, in Windows' order.
Target CheckReport(HIDP_REPORT_TYPE type, PHIDP_PREPARSED_DATA data, const void* report,
                   ULONG length) {
    Target target;
    target.collection = CollectionOf(data);
    if (target.collection == nullptr) {
        target.status = HIDP_STATUS_INVALID_PREPARSED_DATA;
    } else if (!ValidType(type)) {
        target.status = HIDP_STATUS_INVALID_REPORT_TYPE;
    } else if (report == nullptr || length == 0 ||
               length != target.collection->types[type].byteLength) {
        target.status = HIDP_STATUS_INVALID_REPORT_LENGTH;
    }
    return target;
}

struct Lookup {
    const Cap* cap = nullptr;
    NTSTATUS status = HIDP_STATUS_USAGE_NOT_FOUND;
};

// Finds the cap carrying `usage` in the report whose ID is in byte 0. With
// `claimZero`, a report still holding ID 0 takes the first cap's ID, as the
// HidP_Set routines do on a freshly zeroed report.
Lookup FindCap(const ParsedCollection& collection, HIDP_REPORT_TYPE type, bool buttons, USAGE page,
               USHORT linkCollection, USAGE usage, std::uint8_t* report, bool claimZero) {
    Lookup found;
    for (const Cap& cap : collection.types[type].caps) {
        if (cap.isButton != buttons || cap.usagePage != page || !cap.HasFieldFor(usage) ||
            !LinkMatches(cap, linkCollection))
            continue;
        if (cap.reportId == report[0])
            return {&cap, HIDP_STATUS_SUCCESS};
        if (found.cap == nullptr)
            found = {&cap, HIDP_STATUS_INCOMPATIBLE_REPORT_ID};
    }
    if (found.cap != nullptr && claimZero && report[0] == 0) {
        report[0] = found.cap->reportId;
        found.status = HIDP_STATUS_SUCCESS;
    }
    return found;
}

// Value an Array field holds for `usage` of `cap`.
std::uint32_t ArrayValueOf(const Cap& cap, USAGE usage) {
    return static_cast<std::uint32_t>(cap.logicalMin + cap.arrayIndexBase + (usage - cap.usageMin));
}

// Usage an Array field value selects within `cap`, or 0 when it selects none.
USAGE ArrayUsageOf(const Cap& cap, std::uint32_t value) {
    const auto signedValue = static_cast<std::int64_t>(value);
    if (signedValue < cap.logicalMin || signedValue > cap.logicalMax)
        return 0;
    const std::int64_t index = signedValue - cap.logicalMin - cap.arrayIndexBase;
    if (index < 0 || index >= static_cast<std::int64_t>(cap.UsageCount()))
        return 0;
    return static_cast<USAGE>(cap.usageMin + index);
}

// Writes the cap's pressed usages into `list` while there is room and counts
// them all, as HID.DLL does: no allocation on the decode path.
void CollectUsages(const Cap& cap, const std::uint8_t* report, USAGE* list, ULONG capacity,
                   ULONG& count) {
    const auto add = [&](USAGE usage) {
        if (list != nullptr && count < capacity)
            list[count] = usage;
        ++count;
    };
    for (std::uint32_t i = 0; i < cap.reportCount; ++i) {
        const std::uint32_t value = ReadBits(report, cap.FirstBit() + i * cap.bitSize, cap.bitSize);
        if (cap.isArray) {
            const USAGE usage = ArrayUsageOf(cap, value);
            if (usage != 0)
                add(usage);
        } else if (value != 0) {
            const std::uint32_t offset = cap.isRange ? i : 0;
            add(static_cast<USAGE>(std::min<std::uint32_t>(cap.usageMin + offset, cap.usageMax)));
        }
    }
}

// Sets or clears one button usage in its cap's field(s).
NTSTATUS ChangeButton(const Cap& cap, USAGE usage, bool on, std::uint8_t* report) {
    if (!cap.isArray) {
        const std::uint32_t index =
            cap.isRange ? static_cast<std::uint32_t>(usage - cap.usageMin) : 0;
        if (index >= cap.reportCount)
            return HIDP_STATUS_USAGE_NOT_FOUND;
        const std::uint32_t bit = cap.FirstBit() + index;
        if (!on && ReadBits(report, bit, 1) == 0)
            return HIDP_STATUS_BUTTON_NOT_PRESSED;
        WriteBits(report, bit, 1, on ? 1u : 0u);
        return HIDP_STATUS_SUCCESS;
    }
    const std::uint32_t wanted = ArrayValueOf(cap, usage);
    std::int64_t freeSlot = -1;
    for (std::uint32_t i = 0; i < cap.reportCount; ++i) {
        const std::uint32_t bit = cap.FirstBit() + i * cap.bitSize;
        const std::uint32_t value = ReadBits(report, bit, cap.bitSize);
        if (value == wanted) {
            if (!on)
                WriteBits(report, bit, cap.bitSize, 0);
            return HIDP_STATUS_SUCCESS;
        }
        if (freeSlot < 0 && ArrayUsageOf(cap, value) == 0)
            freeSlot = i;
    }
    if (!on)
        return HIDP_STATUS_BUTTON_NOT_PRESSED;
    if (freeSlot < 0)
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    WriteBits(report, cap.FirstBit() + static_cast<std::uint32_t>(freeSlot) * cap.bitSize,
              cap.bitSize, wanted);
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS SetOrUnset(bool on, HIDP_REPORT_TYPE type, USAGE page, USHORT linkCollection, PUSAGE list,
                    PULONG length, PHIDP_PREPARSED_DATA data, PCHAR report, ULONG reportLength) {
    const Target target = CheckReport(type, data, report, reportLength);
    if (target.status != HIDP_STATUS_SUCCESS)
        return target.status;
    if (length == nullptr || (list == nullptr && *length != 0))
        return HIDP_STATUS_NULL;
    auto* bytes = reinterpret_cast<std::uint8_t*>(report);
    for (ULONG i = 0; i < *length; ++i) {
        if (list[i] == 0)
            continue;  // Windows skips zero entries
        const Lookup found = FindCap(*target.collection, type, /*buttons=*/true, page,
                                     linkCollection, list[i], bytes, /*claimZero=*/true);
        NTSTATUS status = found.status;
        if (status == HIDP_STATUS_SUCCESS)
            status = ChangeButton(*found.cap, list[i], on, bytes);
        if (status != HIDP_STATUS_SUCCESS) {
            *length = i;  // the index of the usage that failed
            return status;
        }
    }
    return HIDP_STATUS_SUCCESS;
}

struct ValueRead {
    const Cap* cap = nullptr;
    std::uint32_t raw = 0;
    NTSTATUS status = HIDP_STATUS_SUCCESS;
};

ValueRead ReadValue(HIDP_REPORT_TYPE type, USAGE page, USHORT linkCollection, USAGE usage,
                    PHIDP_PREPARSED_DATA data, PCHAR report, ULONG reportLength) {
    ValueRead read;
    const Target target = CheckReport(type, data, report, reportLength);
    if (target.status != HIDP_STATUS_SUCCESS) {
        read.status = target.status;
        return read;
    }
    auto* bytes = reinterpret_cast<std::uint8_t*>(report);
    const Lookup found = FindCap(*target.collection, type, /*buttons=*/false, page, linkCollection,
                                 usage, bytes, /*claimZero=*/false);
    read.status = found.status;
    if (found.status != HIDP_STATUS_SUCCESS)
        return read;
    read.cap = found.cap;
    // A value array yields its first element.
    const std::uint32_t index =
        found.cap->isRange ? static_cast<std::uint32_t>(usage - found.cap->usageMin) : 0;
    read.raw =
        ReadBits(bytes, found.cap->FirstBit() + index * found.cap->bitSize, found.cap->bitSize);
    return read;
}

std::int64_t SignExtend(std::uint32_t raw, USHORT bitSize) {
    if (bitSize == 0 || bitSize >= 32)
        return static_cast<std::int32_t>(raw);
    const std::uint32_t sign = 1u << (bitSize - 1);
    return (raw & sign) != 0 ? static_cast<std::int64_t>(raw) - (std::int64_t{1} << bitSize)
                             : static_cast<std::int64_t>(raw);
}

}  // namespace
}  // namespace simdesk::hid

using namespace simdesk::hid;

NTSTATUS NTAPI HidP_GetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                              PUSAGE UsageList, PULONG UsageLength,
                              PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                              ULONG ReportLength) {
    const Target target = CheckReport(ReportType, PreparsedData, Report, ReportLength);
    if (target.status != HIDP_STATUS_SUCCESS)
        return target.status;
    if (UsageLength == nullptr)
        return HIDP_STATUS_NULL;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(Report);
    bool pageSeen = false;
    bool reportSeen = false;
    const ULONG capacity = *UsageLength;
    ULONG found = 0;
    for (const Cap& cap : target.collection->types[ReportType].caps) {
        if (!cap.isButton || cap.usagePage != UsagePage || !LinkMatches(cap, LinkCollection))
            continue;
        pageSeen = true;
        if (cap.reportId != bytes[0])
            continue;
        reportSeen = true;
        CollectUsages(cap, bytes, UsageList, capacity, found);
    }
    if (!pageSeen)
        return HIDP_STATUS_USAGE_NOT_FOUND;
    if (!reportSeen)
        return HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
    *UsageLength = found;
    if (found > capacity || (UsageList == nullptr && found != 0))
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS NTAPI HidP_SetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                              PUSAGE UsageList, PULONG UsageLength,
                              PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                              ULONG ReportLength) {
    return SetOrUnset(/*on=*/true, ReportType, UsagePage, LinkCollection, UsageList, UsageLength,
                      PreparsedData, Report, ReportLength);
}

NTSTATUS NTAPI HidP_UnsetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                                PUSAGE UsageList, PULONG UsageLength,
                                PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                                ULONG ReportLength) {
    return SetOrUnset(/*on=*/false, ReportType, UsagePage, LinkCollection, UsageList, UsageLength,
                      PreparsedData, Report, ReportLength);
}

NTSTATUS NTAPI HidP_GetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                  USHORT LinkCollection, USAGE Usage, PULONG UsageValue,
                                  PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                                  ULONG ReportLength) {
    const ValueRead read = ReadValue(ReportType, UsagePage, LinkCollection, Usage, PreparsedData,
                                     Report, ReportLength);
    if (read.status != HIDP_STATUS_SUCCESS)
        return read.status;
    if (UsageValue == nullptr)
        return HIDP_STATUS_NULL;
    *UsageValue = read.raw;
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS NTAPI HidP_GetScaledUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                        USHORT LinkCollection, USAGE Usage, PLONG UsageValue,
                                        PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                                        ULONG ReportLength) {
    const ValueRead read = ReadValue(ReportType, UsagePage, LinkCollection, Usage, PreparsedData,
                                     Report, ReportLength);
    if (read.status != HIDP_STATUS_SUCCESS)
        return read.status;
    if (UsageValue == nullptr)
        return HIDP_STATUS_NULL;
    const Cap& cap = *read.cap;
    // Windows scales only with both ranges proper; a device that leaves the
    // physical range at 0..0 gets this status rather than the logical value.
    if (cap.logicalMin >= cap.logicalMax || cap.physicalMin >= cap.physicalMax)
        return HIDP_STATUS_BAD_LOG_PHY_VALUES;
    const std::int64_t value = cap.logicalMin < 0 ? SignExtend(read.raw, cap.bitSize)
                                                  : static_cast<std::int64_t>(read.raw);
    if (value < cap.logicalMin || value > cap.logicalMax) {
        *UsageValue = 0;
        return cap.hasNull ? HIDP_STATUS_NULL : HIDP_STATUS_VALUE_OUT_OF_RANGE;
    }
    const std::int64_t physicalSpan = std::int64_t{cap.physicalMax} - cap.physicalMin;
    const std::int64_t logicalSpan = std::int64_t{cap.logicalMax} - cap.logicalMin;
    *UsageValue =
        static_cast<LONG>((value - cap.logicalMin) * physicalSpan / logicalSpan + cap.physicalMin);
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS NTAPI HidP_InitializeReportForID(HIDP_REPORT_TYPE ReportType, UCHAR ReportID,
                                          PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                                          ULONG ReportLength) {
    const Target target = CheckReport(ReportType, PreparsedData, Report, ReportLength);
    if (target.status != HIDP_STATUS_SUCCESS)
        return target.status;
    const ReportTypeData& type = target.collection->types[ReportType];
    bool known = false;
    for (UCHAR id : type.reportIds)
        known = known || id == ReportID;
    if (!known)
        return HIDP_STATUS_REPORT_DOES_NOT_EXIST;
    auto* bytes = reinterpret_cast<std::uint8_t*>(Report);
    std::memset(bytes, 0, ReportLength);
    bytes[0] = ReportID;
    // Values with a null state start out null: just outside their logical range.
    for (const Cap& cap : type.caps) {
        if (cap.isButton || !cap.hasNull || cap.reportId != ReportID)
            continue;
        const std::int64_t null = cap.logicalMin > 0 ? 0 : std::int64_t{cap.logicalMax} + 1;
        for (std::uint32_t i = 0; i < cap.reportCount; ++i)
            WriteBits(bytes, cap.FirstBit() + i * cap.bitSize, cap.bitSize,
                      static_cast<std::uint32_t>(null));
    }
    return HIDP_STATUS_SUCCESS;
}
