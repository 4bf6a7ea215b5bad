// The phone's telephony collection as each world's HID stack serves it: its
// caps, every button cap, which usage each input bit reports and which bit
// each LED usage sets. Both worlds must print phone_layout_expected.txt: the
// simulated phone and the virtual phone under Wine are then the same phone.
#include <cstdio>
#include <string>
#include <vector>

#include "probe.h"
#include "stock_devices.h"

namespace probe {
namespace {

constexpr USHORT kVendorId = 0xF1CE;
constexpr USHORT kProductId = 0x0B5D;
constexpr USAGE kTelephonyPage = 0x0B;
constexpr USAGE kButtonPage = 0x09;
constexpr USAGE kLedPage = 0x08;
// Every LED usage of the phone and a few it lacks.
constexpr USAGE kLedUsages[] = {0x09, 0x17, 0x18, 0x20, 0x21, 0x19, 0x2A};
constexpr int kInputBits = 8;

std::string Range(USHORT low, USHORT high) {
    std::string text = Hex(low);
    if (low != high)
        text.append("-").append(Hex(high));
    return text;
}

std::string Bytes(const std::vector<char>& report) {
    std::string text;
    for (const char byte : report) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(byte));
        text.append(text.empty() ? "" : " ").append(hex);
    }
    return text;
}

void ButtonCaps(const std::string& key, HIDP_REPORT_TYPE type, USHORT count,
                PHIDP_PREPARSED_DATA parsed) {
    std::vector<HIDP_BUTTON_CAPS> caps(count);
    USHORT got = count;
    const NTSTATUS status = HidP_GetButtonCaps(type, caps.data(), &got, parsed);
    Line(key + "-button-caps", Hex(static_cast<ULONG>(status)) + " count " + Num(got));
    for (USHORT i = 0; i < got && i < count; ++i) {
        const HIDP_BUTTON_CAPS& cap = caps[i];
        const bool range = cap.IsRange != FALSE;
        const USHORT usageMin = range ? cap.Range.UsageMin : cap.NotRange.Usage;
        const USHORT usageMax = range ? cap.Range.UsageMax : cap.NotRange.Usage;
        const USHORT indexMin = range ? cap.Range.DataIndexMin : cap.NotRange.DataIndex;
        const USHORT indexMax = range ? cap.Range.DataIndexMax : cap.NotRange.DataIndex;
        Line(key + "-button-cap." + Num(i),
             "page " + Hex(cap.UsagePage) + " usage " + Range(usageMin, usageMax) + " report " +
                 Num(cap.ReportID) + " bit field " + Hex(cap.BitField) + " absolute " +
                 YesNo(cap.IsAbsolute != FALSE) + " range " + YesNo(range) + " data index " +
                 Range(indexMin, indexMax) + " link " + Num(cap.LinkCollection) + " " +
                 Hex(cap.LinkUsagePage) + ":" + Hex(cap.LinkUsage));
    }
}

// The usages one input report reads as, page by page.
std::string UsagesOf(const std::vector<char>& report, PHIDP_PREPARSED_DATA parsed) {
    std::string text;
    for (const USAGE page : {kTelephonyPage, kButtonPage}) {
        USAGE usages[16];
        ULONG count = static_cast<ULONG>(std::size(usages));
        std::vector<char> copy = report;
        const NTSTATUS status = HidP_GetUsages(HidP_Input, page, 0, usages, &count, parsed,
                                               copy.data(), static_cast<ULONG>(copy.size()));
        if (status != HIDP_STATUS_SUCCESS) {
            text.append(" ")
                .append(Hex(page))
                .append(":status ")
                .append(Hex(static_cast<ULONG>(status)));
            continue;
        }
        for (ULONG i = 0; i < count; ++i)
            text.append(" ").append(Hex(page)).append(":").append(Hex(usages[i]));
    }
    return text.empty() ? " none" : text;
}

void ProbeLayout(HANDLE device) {
    PHIDP_PREPARSED_DATA parsed = nullptr;
    if (!HidD_GetPreparsedData(device, &parsed)) {
        Line("phone.preparsed-data", Outcome(FALSE));
        return;
    }
    HIDP_CAPS caps{};
    const NTSTATUS capsStatus = HidP_GetCaps(parsed, &caps);
    Line("phone.caps", Hex(static_cast<ULONG>(capsStatus)) + " usage " + Hex(caps.UsagePage) + ":" +
                           Hex(caps.Usage) + ", report lengths " + Num(caps.InputReportByteLength) +
                           " " + Num(caps.OutputReportByteLength) + " " +
                           Num(caps.FeatureReportByteLength) + ", link nodes " +
                           Num(caps.NumberLinkCollectionNodes));
    Line("phone.caps.input", "buttons " + Num(caps.NumberInputButtonCaps) + " values " +
                                 Num(caps.NumberInputValueCaps) + " data indices " +
                                 Num(caps.NumberInputDataIndices));
    Line("phone.caps.output", "buttons " + Num(caps.NumberOutputButtonCaps) + " values " +
                                  Num(caps.NumberOutputValueCaps) + " data indices " +
                                  Num(caps.NumberOutputDataIndices));
    Line("phone.caps.feature", "buttons " + Num(caps.NumberFeatureButtonCaps) + " values " +
                                   Num(caps.NumberFeatureValueCaps));
    ButtonCaps("phone.input", HidP_Input, caps.NumberInputButtonCaps, parsed);
    ButtonCaps("phone.output", HidP_Output, caps.NumberOutputButtonCaps, parsed);

    HIDP_BUTTON_CAPS first{};
    USHORT firstCount = 1;
    HidP_GetButtonCaps(HidP_Input, &first, &firstCount, parsed);
    for (int bit = 0; bit < kInputBits; ++bit) {
        std::vector<char> report(caps.InputReportByteLength, 0);
        if (report.size() < 2)
            break;
        report[0] = static_cast<char>(first.ReportID);
        report[1] = static_cast<char>(1u << bit);
        Line("phone.input-bit." + Num(bit), Bytes(report) + " reads" + UsagesOf(report, parsed));
    }

    for (const USAGE led : kLedUsages) {
        HIDP_BUTTON_CAPS cap{};
        USHORT capCount = 1;
        const NTSTATUS found =
            HidP_GetSpecificButtonCaps(HidP_Output, kLedPage, 0, led, &cap, &capCount, parsed);
        std::vector<char> report(caps.OutputReportByteLength, 0);
        std::string text = "cap " + Hex(static_cast<ULONG>(found));
        if (found == HIDP_STATUS_SUCCESS && !report.empty()) {
            HidP_InitializeReportForID(HidP_Output, cap.ReportID, parsed, report.data(),
                                       static_cast<ULONG>(report.size()));
            USAGE usage = led;
            ULONG usageCount = 1;
            const NTSTATUS set =
                HidP_SetUsages(HidP_Output, kLedPage, 0, &usage, &usageCount, parsed, report.data(),
                               static_cast<ULONG>(report.size()));
            text += ", set " + Hex(static_cast<ULONG>(set)) + " report " + Bytes(report);
        }
        Line("phone.led." + Hex(led), text);
    }
    HidD_FreePreparsedData(parsed);
}

}  // namespace

void ProbePhoneLayout() {
    const std::wstring path =
        HidDevicePath([](const HIDD_ATTRIBUTES& attributes, const HIDP_CAPS& caps) {
            return attributes.VendorID == kVendorId && attributes.ProductID == kProductId &&
                   caps.UsagePage == kTelephonyPage;
        });
    Line("phone.found", YesNo(!path.empty()));
    if (path.empty())
        return;
    HANDLE device = OpenDevice(path, 0);
    Line("phone.open", YesNo(device != INVALID_HANDLE_VALUE));
    if (device == INVALID_HANDLE_VALUE)
        return;
    ProbeLayout(device);
    CloseHandle(device);
}

}  // namespace probe

int main() {
    probe::PreparePhone();
    probe::ProbePhoneLayout();
    return 0;
}
