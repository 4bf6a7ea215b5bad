// The one open target device: its handle, parsed descriptor, capabilities and,
// per report type, a report buffer, capability arrays and a table of report
// items. Opened and closed on the window thread; read and decoded by the reader.
#pragma once

#include <memory>

#include "platform/platform.h"

inline constexpr std::size_t kMaxDevicePathLength = 259;  // characters, terminator excluded

struct ButtonItemFields {
    ULONG usageMin = 0;  // the single usage when the capability is not a range
    ULONG usageMax = 0;
    ULONG maxUsageCount = 0;
    // After a decode: the pressed usages within usageMin..usageMax, then a 0 when there is room.
    std::unique_ptr<USAGE[]> usages;
};

struct ValueItemFields {
    USAGE usage = 0;
    ULONG value = 0;
    LONG scaledValue = 0;
};

// One data item of one report type; `isButton` says which of the two field sets holds.
struct ReportItem {
    BOOLEAN isButton = FALSE;
    USHORT usagePage = 0;
    NTSTATUS status = 0;
    ULONG reportId = 0;
    BOOLEAN hasData = FALSE;  // set once a report carrying this item was decoded
    ButtonItemFields button;
    ValueItemFields value;
};

// Buffers and tables of one report type.
struct ReportTables {
    std::unique_ptr<char[]> report;  // report byte length, zeroed
    std::unique_ptr<ReportItem[]> items;
    ULONG itemCount = 0;
    std::unique_ptr<HIDP_BUTTON_CAPS[]> buttonCaps;
    std::unique_ptr<HIDP_VALUE_CAPS[]> valueCaps;
};

struct DeviceRecord {
    std::unique_ptr<char[]> openedPath;
    HANDLE deviceHandle = INVALID_HANDLE_VALUE;
    BOOL readAccess = FALSE;
    BOOL writeAccess = FALSE;
    BOOL overlappedIo = FALSE;
    BOOL exclusiveAccess = FALSE;
    PHIDP_PREPARSED_DATA parsedDescriptor = nullptr;
    HIDP_CAPS capabilities{};
    HIDD_ATTRIBUTES attributes{};
    ReportTables input;
    ReportTables output;
    ReportTables feature;
};

extern DeviceRecord& deviceRecord;

// Opens the device at `path` (ANSI text) for overlapped reading and builds its
// tables. False leaves the record empty. Expects an empty record.
bool OpenTargetDevice(const char* path);

// Builds the three report types' buffers, capability arrays and item tables.
// On false, what was built stays for CloseTargetDevice to release.
bool PrepareReportItems();

// Decodes one input report into the items whose report ID it carries. Allocates
// nothing. False when a raw value could not be read, or when there is no report
// (null or 0 bytes; nothing is touched then). A button item whose usages the
// parser refuses keeps the list of the last report it read.
bool UnpackInputReport(const char* report, USHORT reportLength, ReportItem* items, ULONG itemCount,
                       PHIDP_PREPARSED_DATA parsedDescriptor);

// Releases everything; safe on an empty record and twice.
void CloseTargetDevice();
