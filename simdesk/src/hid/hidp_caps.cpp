// HidP_* calls that describe a collection: caps, usage list lengths.
#include <algorithm>
#include <cstring>

#include "hid/preparsed_data.h"
#include "simdesk/faults.h"

namespace simdesk::hid {

const ParsedCollection* CollectionOf(PHIDP_PREPARSED_DATA data) {
    if (data == nullptr || data->magic != _HIDP_PREPARSED_DATA::kMagic)
        return nullptr;
    return &data->collection;
}

std::uint32_t ReadBits(const std::uint8_t* report, std::uint32_t firstBit, std::uint32_t bitCount) {
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < bitCount; ++i) {
        const std::uint32_t bit = firstBit + i;
        if ((report[bit / 8] >> (bit % 8)) & 1u)
            value |= 1u << i;
    }
    return value;
}

void WriteBits(std::uint8_t* report, std::uint32_t firstBit, std::uint32_t bitCount,
               std::uint32_t value) {
    for (std::uint32_t i = 0; i < bitCount; ++i) {
        const std::uint32_t bit = firstBit + i;
        const auto mask = static_cast<std::uint8_t>(1u << (bit % 8));
        if ((value >> i) & 1u)
            report[bit / 8] = static_cast<std::uint8_t>(report[bit / 8] | mask);
        else
            report[bit / 8] = static_cast<std::uint8_t>(report[bit / 8] & ~mask);
    }
}

namespace {

// The union is written through Range; for a single usage Windows repeats each
// value in the Reserved field beside it, which is exactly what this gives.
template <typename Caps>
void FillUsages(const Cap& cap, Caps& out) {
    out.Range.UsageMin = cap.usageMin;
    out.Range.UsageMax = cap.usageMax;
    out.Range.StringMin = cap.stringMin;
    out.Range.StringMax = cap.isRange ? cap.stringMax : cap.stringMin;
    out.Range.DesignatorMin = cap.designatorMin;
    out.Range.DesignatorMax = cap.isRange ? cap.designatorMax : cap.designatorMin;
    out.Range.DataIndexMin = cap.dataIndexMin;
    out.Range.DataIndexMax = cap.dataIndexMax;
}

template <typename Caps>
void FillCommon(const Cap& cap, Caps& out) {
    std::memset(&out, 0, sizeof out);
    out.UsagePage = cap.usagePage;
    out.ReportID = cap.reportId;
    out.BitField = cap.bitField;
    out.LinkCollection = cap.linkCollection;
    out.LinkUsage = cap.linkUsage;
    out.LinkUsagePage = cap.linkUsagePage;
    out.IsRange = cap.isRange;
    out.IsAbsolute = cap.isAbsolute;
    FillUsages(cap, out);
}

void Fill(const Cap& cap, HIDP_BUTTON_CAPS& out) {
    FillCommon(cap, out);
}

void Fill(const Cap& cap, HIDP_VALUE_CAPS& out) {
    FillCommon(cap, out);
    out.HasNull = cap.hasNull;
    out.BitSize = cap.bitSize;
    out.ReportCount = cap.reportCount;
    out.UnitsExp = cap.unitsExp;
    out.Units = cap.units;
    out.LogicalMin = cap.logicalMin;
    out.LogicalMax = cap.logicalMax;
    out.PhysicalMin = cap.physicalMin;
    out.PhysicalMax = cap.physicalMax;
}

template <typename Caps>
NTSTATUS SpecificCaps(bool buttons, HIDP_REPORT_TYPE type, USAGE usagePage, USHORT linkCollection,
                      USAGE usage, Caps* caps, PUSHORT length, PHIDP_PREPARSED_DATA data) {
    const ParsedCollection* collection = CollectionOf(data);
    if (collection == nullptr)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (!ValidType(type))
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    const USHORT capacity = length != nullptr ? *length : 0;
    USHORT matched = 0;
    USHORT copied = 0;
    for (const Cap& cap : collection->types[type].caps) {
        if (cap.isButton != buttons)
            continue;
        if (usagePage != 0 && cap.usagePage != usagePage)
            continue;
        if (usage != 0 && !cap.HasUsage(usage))
            continue;
        if (!LinkMatches(cap, linkCollection))
            continue;
        ++matched;
        if (copied < capacity && caps != nullptr)
            Fill(cap, caps[copied++]);
    }
    if (length != nullptr)
        *length = copied;
    if (matched == 0)
        return HIDP_STATUS_USAGE_NOT_FOUND;
    return matched > copied ? HIDP_STATUS_BUFFER_TOO_SMALL : HIDP_STATUS_SUCCESS;
}

USHORT DataIndexCount(const ReportTypeData& data) {
    return data.caps.empty() ? 0 : static_cast<USHORT>(data.caps.back().dataIndexMax + 1);
}

USHORT CountCaps(const ReportTypeData& data, bool buttons) {
    return static_cast<USHORT>(
        std::count_if(data.caps.begin(), data.caps.end(),
                      [buttons](const Cap& c) { return c.isButton == buttons; }));
}

}  // namespace
}  // namespace simdesk::hid

using namespace simdesk::hid;
namespace faults = simdesk::faults;

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities) {
    if (faults::Inject(faults::Call::HidP_GetCaps))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    const ParsedCollection* collection = CollectionOf(PreparsedData);
    if (collection == nullptr)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (Capabilities == nullptr)
        return HIDP_STATUS_NULL;
    std::memset(Capabilities, 0, sizeof *Capabilities);
    const auto& in = collection->types[HidP_Input];
    const auto& out = collection->types[HidP_Output];
    const auto& feature = collection->types[HidP_Feature];
    Capabilities->Usage = collection->usage;
    Capabilities->UsagePage = collection->usagePage;
    Capabilities->InputReportByteLength = in.byteLength;
    Capabilities->OutputReportByteLength = out.byteLength;
    Capabilities->FeatureReportByteLength = feature.byteLength;
    Capabilities->NumberLinkCollectionNodes = static_cast<USHORT>(collection->links.size());
    Capabilities->NumberInputButtonCaps = CountCaps(in, /*buttons=*/true);
    Capabilities->NumberInputValueCaps = CountCaps(in, /*buttons=*/false);
    Capabilities->NumberInputDataIndices = DataIndexCount(in);
    Capabilities->NumberOutputButtonCaps = CountCaps(out, /*buttons=*/true);
    Capabilities->NumberOutputValueCaps = CountCaps(out, /*buttons=*/false);
    Capabilities->NumberOutputDataIndices = DataIndexCount(out);
    Capabilities->NumberFeatureButtonCaps = CountCaps(feature, /*buttons=*/true);
    Capabilities->NumberFeatureValueCaps = CountCaps(feature, /*buttons=*/false);
    Capabilities->NumberFeatureDataIndices = DataIndexCount(feature);
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS NTAPI HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                          USHORT LinkCollection, USAGE Usage,
                                          PHIDP_BUTTON_CAPS ButtonCaps, PUSHORT ButtonCapsLength,
                                          PHIDP_PREPARSED_DATA PreparsedData) {
    if (faults::Inject(faults::Call::HidP_GetSpecificButtonCaps))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    return SpecificCaps(/*buttons=*/true, ReportType, UsagePage, LinkCollection, Usage, ButtonCaps,
                        ButtonCapsLength, PreparsedData);
}

NTSTATUS NTAPI HidP_GetButtonCaps(HIDP_REPORT_TYPE ReportType, PHIDP_BUTTON_CAPS ButtonCaps,
                                  PUSHORT ButtonCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    if (faults::Inject(faults::Call::HidP_GetButtonCaps))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    return SpecificCaps(/*buttons=*/true, ReportType, 0, 0, 0, ButtonCaps, ButtonCapsLength,
                        PreparsedData);
}

NTSTATUS NTAPI HidP_GetSpecificValueCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                         USHORT LinkCollection, USAGE Usage,
                                         PHIDP_VALUE_CAPS ValueCaps, PUSHORT ValueCapsLength,
                                         PHIDP_PREPARSED_DATA PreparsedData) {
    return SpecificCaps(/*buttons=*/false, ReportType, UsagePage, LinkCollection, Usage, ValueCaps,
                        ValueCapsLength, PreparsedData);
}

NTSTATUS NTAPI HidP_GetValueCaps(HIDP_REPORT_TYPE ReportType, PHIDP_VALUE_CAPS ValueCaps,
                                 PUSHORT ValueCapsLength, PHIDP_PREPARSED_DATA PreparsedData) {
    if (faults::Inject(faults::Call::HidP_GetValueCaps))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    return SpecificCaps(/*buttons=*/false, ReportType, 0, 0, 0, ValueCaps, ValueCapsLength,
                        PreparsedData);
}

ULONG NTAPI HidP_MaxUsageListLength(HIDP_REPORT_TYPE ReportType, USAGE UsagePage,
                                    PHIDP_PREPARSED_DATA PreparsedData) {
    if (faults::Inject(faults::Call::HidP_MaxUsageListLength))
        return 0;
    const ParsedCollection* collection = CollectionOf(PreparsedData);
    if (collection == nullptr || !ValidType(ReportType))
        return 0;
    ULONG total = 0;
    for (const Cap& cap : collection->types[ReportType].caps)
        if (cap.isButton && (UsagePage == 0 || cap.usagePage == UsagePage))
            total += cap.reportCount;
    return total;
}
