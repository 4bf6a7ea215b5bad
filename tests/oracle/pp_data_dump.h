// Reader for the oracle's text dumps of Windows' preparsed data.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace oracle {

struct CapsInfo {
    long firstCap = 0;
    long lastCap = 0;
    long numberOfCaps = 0;
    long reportByteLength = 0;
};

// One cap as `field name -> value` (e.g. "NotRange.Usage" -> 0x2F).
using DumpedCap = std::map<std::string, long long>;

struct PpDataDump {
    std::map<std::string, long long>
        header;  // pp_data->Usage, UsagePage, NumberLinkCollectionNodes
    std::array<CapsInfo, 3> capsInfo;
    std::map<long, DumpedCap> caps;
};

std::optional<PpDataDump> ReadPpDataDump(const std::string& path);
// Every `0xNN` byte of a descriptor listing, in order.
std::optional<std::vector<std::uint8_t>> ReadDescriptorBytes(const std::string& path);
// The bytes at the end of each line of an item-per-line listing
// ("Report ID (1) 85 01").
std::optional<std::vector<std::uint8_t>> ReadListingBytes(const std::string& path);

}  // namespace oracle
