// Fuzz target "descriptors": any report descriptor, through the simulated HID
// parser, a device plugged with it, the agent's preparation of each collection
// (HidP_GetCaps and the caps calls), one decode per input report ID, and the
// indicator writes against that device.
//
// Input: u16 descriptor length (little endian), the descriptor, then bytes that
// fill the input reports (cycled; zeros when there are none). Reports sit in
// heap blocks of exactly the report length.
#include <algorithm>
#include <string>
#include <vector>

#include "bridge/button_reader.h"
#include "fuzz_support.h"
#include "hid/descriptor_parser.h"
#include "hid/device_record.h"
#include "hid/indicator_output.h"
#include "hid/preparsed_data.h"
#include "hid/target_device.h"
#include "simdesk/desktop.h"
#include "simdesk/devices.h"

namespace {

using simdesk::hid::Cap;
using simdesk::hid::ParsedCollection;
using simdesk::hid::ReportTypeData;

// Enough collections to reach every path; more only cost time.
constexpr std::size_t kMaxCollectionsTried = 4;
constexpr std::uint32_t kMaxFieldBits = 32;

// What the parser hands on must be something HID.DLL's routines can work with:
// every field 1 to 32 bits wide and inside its report.
void CheckCollection(const ParsedCollection& collection) {
    for (const ReportTypeData& type : collection.types) {
        for (const Cap& cap : type.caps) {
            FUZZ_REQUIRE(cap.bitSize >= 1 && cap.bitSize <= kMaxFieldBits,
                         "a cap's field is 1 to 32 bits wide");
            FUZZ_REQUIRE(cap.reportCount >= 1, "a cap has at least one field");
            FUZZ_REQUIRE(cap.bytePosition >= 1, "fields follow the report ID byte");
            FUZZ_REQUIRE(cap.FirstBit() + std::uint64_t{cap.reportCount} * cap.bitSize <=
                             std::uint64_t{type.byteLength} * 8,
                         "a cap's fields lie inside its report");
            FUZZ_REQUIRE(cap.usageMin <= cap.usageMax, "a usage range is ordered");
            FUZZ_REQUIRE(cap.isRange || cap.usageMin == cap.usageMax, "a single usage is one");
            FUZZ_REQUIRE(std::find(type.reportIds.begin(), type.reportIds.end(), cap.reportId) !=
                             type.reportIds.end(),
                         "a cap's report ID is one of its type's");
        }
    }
}

std::string Narrow(const std::wstring& wide) {
    return std::string(wide.begin(), wide.end());
}

// One decode of each input report ID the items name, then the rules over them.
void DecodeEachReport(const std::vector<std::uint8_t>& filler) {
    const ReportTables& input = deviceRecord.input;
    const USHORT length = deviceRecord.capabilities.InputReportByteLength;
    std::vector<ULONG> reportIds;
    for (ULONG i = 0; i < input.itemCount; ++i) {
        if (std::find(reportIds.begin(), reportIds.end(), input.items[i].reportId) ==
            reportIds.end())
            reportIds.push_back(input.items[i].reportId);
    }
    std::size_t next = 0;
    for (ULONG reportId : reportIds) {
        FUZZ_REQUIRE(length >= 1, "a collection with input items has input reports");
        const fuzzing::ExactBlock block(length);
        char* report = block.data();
        report[0] = static_cast<char>(reportId);
        for (USHORT i = 1; i < length && !filler.empty(); ++i)
            report[i] = static_cast<char>(filler[next++ % filler.size()]);
        UnpackInputReport(report, length, input.items.get(), input.itemCount,
                          deviceRecord.parsedDescriptor);
        for (ULONG i = 0; i < input.itemCount; ++i) {
            const ReportItem& item = input.items[i];
            if (!item.isButton)
                continue;
            for (ULONG n = 0; n < item.button.maxUsageCount && item.button.usages[n] != 0; ++n) {
                const USAGE usage = item.button.usages[n];
                FUZZ_REQUIRE(usage >= item.button.usageMin && usage <= item.button.usageMax,
                             "an item lists only its own usages");
            }
        }
        CallView call;
        call.direction = CallDirection::Incoming;
        call.attached = true;
        call.incomingIdEmpty = false;
        const ReportHistory history;
        const ItemView item0 = ViewOfItem(input.items.get(), input.itemCount, 0);
        const ItemView item1 = ViewOfItem(input.items.get(), input.itemCount, 1);
        const ItemView item2 = ViewOfItem(input.items.get(), input.itemCount, 2);
        for (ULONG index = 0; index < input.itemCount; ++index) {
            DecideItem(ViewOfItem(input.items.get(), input.itemCount, index), item0, item1, item2,
                       history, call);
        }
    }
}

// Whether every output cap carrying the LED usage is a plain bit (not an array
// slot), so that a written report must read back as it was meant.
bool OnlyBitFields(const ParsedCollection& collection, USAGE usage) {
    for (const Cap& cap : collection.types[HidP_Output].caps) {
        if (cap.isButton && cap.usagePage == target_device::kLedPage && cap.HasUsage(usage) &&
            cap.isArray)
            return false;
    }
    return true;
}

// One indicator write: whatever it sends is a whole output report of a declared
// ID, and a plain LED bit reads back as written.
void CheckIndicator(simdesk::DeviceId device, std::size_t index, const ParsedCollection& collection,
                    USAGE usage, bool on) {
    const std::size_t earlier = simdesk::OutputReportCount(device, index);
    const LONG result = SetIndicator(usage, on);
    const std::size_t now = simdesk::OutputReportCount(device, index);
    FUZZ_REQUIRE(now <= earlier + 1, "one indicator change, at most one report");
    if (now == earlier)
        return;
    const auto reports = simdesk::OutputReports(device, index);
    const std::vector<std::uint8_t>& written = reports.back();
    const ReportTypeData& output = collection.types[HidP_Output];
    FUZZ_REQUIRE(written.size() == output.byteLength, "a whole output report is written");
    FUZZ_REQUIRE(std::find(output.reportIds.begin(), output.reportIds.end(), written[0]) !=
                     output.reportIds.end(),
                 "the written report carries a declared report ID");
    if (result != HIDP_STATUS_SUCCESS || !OnlyBitFields(collection, usage))
        return;
    _HIDP_PREPARSED_DATA parsed;
    parsed.collection = collection;
    std::vector<char> bytes(written.begin(), written.end());
    std::vector<USAGE> lit(HidP_MaxUsageListLength(HidP_Output, target_device::kLedPage, &parsed));
    ULONG count = static_cast<ULONG>(lit.size());
    HidP_GetUsages(HidP_Output, target_device::kLedPage, /*LinkCollection=*/0, lit.data(), &count,
                   &parsed, bytes.data(), static_cast<ULONG>(bytes.size()));
    const bool shown = std::find(lit.begin(), lit.begin() + std::min<ULONG>(count, lit.size()),
                                 usage) != lit.begin() + std::min<ULONG>(count, lit.size());
    FUZZ_REQUIRE(shown == on, "an LED reads back as it was written");
}

void ExerciseInterface(simdesk::DeviceId device, std::size_t index, const std::wstring& path,
                       const ParsedCollection& collection,
                       const std::vector<std::uint8_t>& filler) {
    if (OpenTargetDevice(Narrow(path).c_str())) {
        DecodeEachReport(filler);
        CloseTargetDevice();
    }
    SetDevicePath(path.c_str());
    for (const bool on : {true, false}) {
        CheckIndicator(device, index, collection, target_device::kOffHookLed, on);
        CheckIndicator(device, index, collection, target_device::kRingLed, on);
    }
    FUZZ_REQUIRE(simdesk::OpenHandleCount(device, index) == 0,
                 "opening, decoding and writing leave no handle open");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto* thread = new simdesk::DesktopThread;
    (void)thread;
    fuzzing::ByteReader input(data, size);
    const std::uint16_t descriptorLength = input.U16();
    simdesk::DeviceModel model;
    model.name = "fuzzed device";
    model.vendorId = target_device::kVendorId;
    model.productId = target_device::kProductId;
    model.reportDescriptor = input.Bytes(descriptorLength);
    const std::vector<std::uint8_t> filler = input.Bytes(input.remaining());

    const auto parsed = simdesk::hid::ParseReportDescriptor(model.reportDescriptor);
    if (!parsed.error.empty() || parsed.collections.empty())
        return 0;
    for (const ParsedCollection& collection : parsed.collections)
        CheckCollection(collection);

    const simdesk::DeviceId device = simdesk::PlugDevice(model);
    FUZZ_REQUIRE(device != 0, "a descriptor that parses plugs in");
    const auto interfaces = simdesk::DeviceInterfaces(device);
    FUZZ_REQUIRE(interfaces.size() == parsed.collections.size(),
                 "one interface per top-level collection");
    for (std::size_t i = 0; i < interfaces.size() && i < kMaxCollectionsTried; ++i)
        ExerciseInterface(device, i, interfaces[i].path, parsed.collections[i], filler);
    simdesk::UnplugAllDevicesQuietly();
    return 0;
}
