// Report descriptor parser following the rules Windows' HID class driver applies.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hid/parsed_collection.h"

namespace simdesk::hid {

struct ParseResult {
    std::vector<ParsedCollection> collections;  // one per top-level collection
    std::string error;                          // empty on success
};

// Parses a whole device descriptor; each top-level (application) collection
// becomes one ParsedCollection, as Windows splits a device into interfaces.
ParseResult ParseReportDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace simdesk::hid
