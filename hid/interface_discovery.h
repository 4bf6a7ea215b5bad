// Start-up search for the phone among the HID interfaces already present.
#pragma once

#include <memory>

#include "platform/platform.h"

inline constexpr USHORT kMaxInterfaces = 64;
// Interfaces with longer paths are not examined.
inline constexpr std::size_t kMaxInterfacePathLength = 124;

struct InterfaceTables {
    GUID hidClassGuid{};
    HIDP_CAPS capsTable[kMaxInterfaces]{};
    HIDD_ATTRIBUTES attributesTable[kMaxInterfaces]{};
    // Entry i: the detail block (cbSize, then DevicePath) of interface i, or empty.
    std::unique_ptr<BYTE[]> detailTable[kMaxInterfaces];
};

extern InterfaceTables& interfaceTables;

// Lists every present HID interface in enumeration order (at most 64) with its
// attributes and top-level capabilities. An interface that cannot be examined
// keeps zero entries and the others are still examined.
void EnumerateHidInterfaces(HIDP_CAPS* capsTable, USHORT& interfaceCount,
                            HIDD_ATTRIBUTES* attributesTable);

// Activates the first entry that is the phone's telephony collection.
void FindTargetDevice(USHORT interfaceCount);

// The path held by a detail block of the table.
const WCHAR* DetailPath(const BYTE* detailBlock);
