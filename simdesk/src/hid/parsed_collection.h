// What the simulated HID parser makes of one top-level collection: the stand-in
// for the HID class driver's preparsed data, laid out as Windows lists it
// (input caps, then output, then feature; within one main item, last usage first).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "simdesk/win32_hid.h"

namespace simdesk::hid {

inline constexpr int kReportTypeCount = 3;

// One capability: one usage or usage range of one main item.
struct Cap {
    USAGE usagePage = 0;
    UCHAR reportId = 0;
    bool isButton = false;
    bool isRange = false;
    bool isAbsolute = false;
    bool hasNull = false;
    bool isArray = false;
    bool isMultipleItemsForArray = false;
    USHORT bitField = 0;  // the main item's data bits
    USHORT linkCollection = 0;
    USAGE linkUsage = 0;
    USAGE linkUsagePage = 0;
    USAGE usageMin = 0;  // the usage itself when !isRange
    USAGE usageMax = 0;
    USHORT stringMin = 0, stringMax = 0;
    USHORT designatorMin = 0, designatorMax = 0;
    USHORT dataIndexMin = 0, dataIndexMax = 0;
    USHORT bytePosition = 0;  // counts the report ID byte
    USHORT bitPosition = 0;   // 0..7 within bytePosition
    USHORT bitSize = 0;
    USHORT reportCount = 0;
    // For Array items: index of this cap's first usage among the item's usages,
    // which is what an array field's value (minus LogicalMin) selects.
    USHORT arrayIndexBase = 0;
    LONG logicalMin = 0, logicalMax = 0;
    LONG physicalMin = 0, physicalMax = 0;
    ULONG units = 0, unitsExp = 0;

    // Bit offset of the cap's first field from the start of the report.
    std::uint32_t FirstBit() const { return bytePosition * 8u + bitPosition; }
    std::uint32_t UsageCount() const { return static_cast<std::uint32_t>(usageMax - usageMin) + 1; }
    bool HasUsage(USAGE usage) const { return usage >= usageMin && usage <= usageMax; }
    // Whether a report has a field for `usage`. A Variable range with more usages
    // than fields gives its first usages one field each; the rest are declared but
    // carried by no field, and the report routines do not find them.
    bool HasFieldFor(USAGE usage) const {
        return HasUsage(usage) &&
               (isArray || static_cast<std::uint32_t>(usage - usageMin) < reportCount);
    }
};

struct LinkNode {
    USAGE linkUsage = 0;
    USAGE linkUsagePage = 0;
    USHORT parent = 0;
    USHORT numberOfChildren = 0;
    USHORT nextSibling = 0;
    USHORT firstChild = 0;
    UCHAR collectionType = 0;
};

struct ReportTypeData {
    std::vector<Cap> caps;         // Windows' order
    USHORT byteLength = 0;         // 0 when the type has no main item at all
    std::vector<UCHAR> reportIds;  // IDs used by this type, in first-use order
};

struct ParsedCollection {
    USAGE usage = 0;
    USAGE usagePage = 0;
    std::array<ReportTypeData, kReportTypeCount> types;
    std::vector<LinkNode> links;  // [0] is the top-level collection
};

}  // namespace simdesk::hid
