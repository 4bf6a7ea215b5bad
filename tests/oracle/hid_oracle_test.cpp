// Feeds each oracle descriptor to the simulated parser and compares the caps with
// the parsed data that Windows built for the same collection.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "hid/descriptor_parser.h"
#include "pp_data_dump.h"

namespace {

using simdesk::hid::Cap;
using simdesk::hid::ParsedCollection;

const char* const kDevices[] = {
    "045E_02FF_0005_0001", "046A_0011_0006_0001", "046D_0A37_0001_000C", "046D_B010_0001_000C",
    "046D_B010_0001_FF00", "046D_B010_0002_0001", "046D_B010_0002_FF00", "046D_B010_0006_0001",
    "046D_C077_0002_0001", "046D_C283_0004_0001", "046D_C52F_0001_000C", "046D_C52F_0001_FF00",
    "046D_C52F_0002_0001", "046D_C52F_0002_FF00", "046D_C534_0001_000C", "046D_C534_0001_FF00",
    "046D_C534_0002_0001", "046D_C534_0002_FF00", "046D_C534_0006_0001", "046D_C534_0080_0001",
    "047F_C056_0001_000C", "047F_C056_0003_FFA0", "047F_C056_0005_000B", "1532_00A3_0002_0001",
    "17CC_1130_0000_FF01",
};

// Windows' NumberOfCaps counts caps the dump does not list (FirstCap..LastCap holds
// fewer). These come from items the rebuilt descriptors cannot express (a Constant
// item carrying a usage, for one), so the listed caps are what is compared there.
struct CountQuirk {
    const char* device;
    int reportType;
};
const CountQuirk kCountQuirks[] = {
    {"046D_0A37_0001_000C", HidP_Input},
    {"1532_00A3_0002_0001", HidP_Feature},
    {"17CC_1130_0000_FF01", HidP_Input},
};

// Devices checked against the captured descriptor instead of the rebuilt one, and why.
struct CapturedCase {
    const char* device;
    const char* reason;
};
const CapturedCase kCapturedCases[] = {
    {"17CC_1130_0000_FF01",
     "the rebuilt descriptor merges two Input items (48 and 8 one-bit fields) into one, "
     "and Windows orders caps last-usage-first per main item"},
};

const CapturedCase* FindCapturedCase(const std::string& device) {
    for (const CapturedCase& entry : kCapturedCases)
        if (device == entry.device)
            return &entry;
    return nullptr;
}

bool HasCountQuirk(const std::string& device, int type) {
    for (const CountQuirk& quirk : kCountQuirks)
        if (device == quirk.device && type == quirk.reportType)
            return true;
    return false;
}

const char* TypeName(int type) {
    static const char* const kNames[] = {"input", "output", "feature"};
    return kNames[type];
}

class HidOracle : public testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::is_directory(HID_ORACLE_DIR))
            << "oracle data not found at " << HID_ORACLE_DIR;
    }
    std::string PathOf(const std::string& suffix) const {
        return std::string(HID_ORACLE_DIR) + "/" + GetParam() + suffix;
    }
};

// Compares one field and names the device, report type, cap index and field on failure.
void ExpectField(const oracle::DumpedCap& expected, const char* field, long long actual,
                 const std::string& where) {
    const auto it = expected.find(field);
    ASSERT_NE(it, expected.end()) << where << ": dump lacks " << field;
    EXPECT_EQ(actual, it->second) << where << " field " << field;
}

void CompareCap(const Cap& cap, const oracle::DumpedCap& expected, const std::string& where) {
    ExpectField(expected, "UsagePage", cap.usagePage, where);
    ExpectField(expected, "ReportID", cap.reportId, where);
    ExpectField(expected, "BitPosition", cap.bitPosition, where);
    ExpectField(expected, "BitSize", cap.bitSize, where);
    ExpectField(expected, "ReportCount", cap.reportCount, where);
    ExpectField(expected, "BytePosition", cap.bytePosition, where);
    ExpectField(expected, "BitField", cap.bitField, where);
    ExpectField(expected, "IsButtonCap", cap.isButton, where);
    ExpectField(expected, "IsRange", cap.isRange, where);
    ExpectField(expected, "IsAbsolute", cap.isAbsolute, where);
    ExpectField(expected, "IsMultipleItemsForArray", cap.isMultipleItemsForArray, where);
    ExpectField(expected, "LinkCollection", cap.linkCollection, where);
    ExpectField(expected, "LinkUsage", cap.linkUsage, where);
    ExpectField(expected, "LinkUsagePage", cap.linkUsagePage, where);
    if (cap.isRange) {
        ExpectField(expected, "Range.UsageMin", cap.usageMin, where);
        ExpectField(expected, "Range.UsageMax", cap.usageMax, where);
        ExpectField(expected, "Range.DataIndexMin", cap.dataIndexMin, where);
        ExpectField(expected, "Range.DataIndexMax", cap.dataIndexMax, where);
    } else {
        ExpectField(expected, "NotRange.Usage", cap.usageMin, where);
        ExpectField(expected, "NotRange.Reserved1", cap.usageMax, where);
        ExpectField(expected, "NotRange.DataIndex", cap.dataIndexMin, where);
    }
    if (cap.isButton) {
        // Windows keeps limits for Array buttons only; 1-bit variable buttons carry 0.
        ExpectField(expected, "Button.LogicalMin", cap.isArray ? cap.logicalMin : 0, where);
        ExpectField(expected, "Button.LogicalMax", cap.isArray ? cap.logicalMax : 0, where);
    } else {
        ExpectField(expected, "NotButton.LogicalMin", cap.logicalMin, where);
        ExpectField(expected, "NotButton.LogicalMax", cap.logicalMax, where);
        ExpectField(expected, "NotButton.PhysicalMin", cap.physicalMin, where);
        ExpectField(expected, "NotButton.PhysicalMax", cap.physicalMax, where);
        ExpectField(expected, "NotButton.HasNull", cap.hasNull, where);
        ExpectField(expected, "Units", cap.units, where);
        ExpectField(expected, "UnitsExp", cap.unitsExp, where);
    }
}

TEST_P(HidOracle, ParsedCapsMatchWindows) {
    const std::string device = GetParam();
    const CapturedCase* captured = FindCapturedCase(device);
    SCOPED_TRACE(captured ? std::string("captured descriptor used: ") + captured->reason
                          : std::string("rebuilt descriptor used"));
    const auto descriptor = captured ? oracle::ReadListingBytes(PathOf("_real.rpt_desc"))
                                     : oracle::ReadDescriptorBytes(PathOf("_expected.rpt_desc"));
    const auto dump = oracle::ReadPpDataDump(PathOf(".pp_data"));
    ASSERT_TRUE(descriptor && dump) << device << ": oracle files unreadable";

    const auto parsed = simdesk::hid::ParseReportDescriptor(*descriptor);
    ASSERT_TRUE(parsed.error.empty()) << device << ": " << parsed.error;
    ASSERT_EQ(parsed.collections.size(), 1u) << device;
    const ParsedCollection& collection = parsed.collections.front();

    EXPECT_EQ(collection.usage, dump->header.at("Usage")) << device;
    EXPECT_EQ(collection.usagePage, dump->header.at("UsagePage")) << device;
    EXPECT_EQ(static_cast<long long>(collection.links.size()),
              dump->header.at("NumberLinkCollectionNodes"))
        << device;

    for (int type = 0; type < simdesk::hid::kReportTypeCount; ++type) {
        const oracle::CapsInfo& info = dump->capsInfo[type];
        const auto& mine = collection.types[type];
        const std::string where = device + " " + TypeName(type);
        EXPECT_EQ(mine.byteLength, info.reportByteLength) << where << " ReportByteLength";
        const long listed = info.lastCap - info.firstCap;
        ASSERT_EQ(static_cast<long>(mine.caps.size()), listed) << where << " cap count";
        if (!HasCountQuirk(device, type)) {
            EXPECT_EQ(listed, info.numberOfCaps) << where << " NumberOfCaps";
        }
        for (long i = 0; i < listed; ++i) {
            const auto found = dump->caps.find(info.firstCap + i);
            ASSERT_NE(found, dump->caps.end()) << where << " cap " << i << " not in dump";
            CompareCap(mine.caps[static_cast<std::size_t>(i)], found->second,
                       where + " cap " + std::to_string(i));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealDevices, HidOracle, testing::ValuesIn(kDevices),
                         [](const testing::TestParamInfo<const char*>& param) {
                             return std::string("d") + param.param;
                         });

}  // namespace
