// The block behind PHIDP_PREPARSED_DATA, and bit access to report buffers.
#pragma once

#include <cstdint>

#include "hid/parsed_collection.h"

struct _HIDP_PREPARSED_DATA {
    static constexpr std::uint64_t kMagic = 0x48696450204B4452;  // "HidP KDR", as Windows
    std::uint64_t magic = kMagic;
    simdesk::hid::ParsedCollection collection;
};

namespace simdesk::hid {

// The collection behind a handle from HidD_GetPreparsedData, or null when the
// pointer is not one (or was freed through HidD_FreePreparsedData).
const ParsedCollection* CollectionOf(PHIDP_PREPARSED_DATA data);

inline bool ValidType(HIDP_REPORT_TYPE type) {
    return type == HidP_Input || type == HidP_Output || type == HidP_Feature;
}

// Link collection 0 selects every collection, as in Windows.
inline bool LinkMatches(const Cap& cap, USHORT linkCollection) {
    if (linkCollection == HIDP_LINK_COLLECTION_UNSPECIFIED)
        return true;
    if (linkCollection == HIDP_LINK_COLLECTION_ROOT)
        return cap.linkCollection == 0;
    return cap.linkCollection == linkCollection;
}

// Little-endian bit fields of a report, at most 32 bits wide.
std::uint32_t ReadBits(const std::uint8_t* report, std::uint32_t firstBit, std::uint32_t bitCount);
void WriteBits(std::uint8_t* report, std::uint32_t firstBit, std::uint32_t bitCount,
               std::uint32_t value);

}  // namespace simdesk::hid
