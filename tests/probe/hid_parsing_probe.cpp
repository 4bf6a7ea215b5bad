// HidD_ and HidP_ calls on the stock mouse and keyboard: the same calls on the
// same kind of device, observed as far as any mouse or keyboard agrees.
#include <vector>

#include "stock_devices.h"

namespace probe {
namespace {

constexpr USAGE kButtonPage = 0x09;
constexpr USAGE kKeyboardPage = 0x07;
constexpr USAGE kTelephonyPage = 0x0B;

std::string Status(NTSTATUS status) {
    return Hex(static_cast<ULONG>(status));
}

void ProbeDevice(const std::string& name, const std::wstring& path, USAGE usage, USAGE inputPage) {
    const std::string key = "hid." + name;
    HANDLE device = OpenDevice(path, 0);
    HIDD_ATTRIBUTES attributes{};
    SetLastError(kPlantedError);
    const std::string got = Outcome(HidD_GetAttributes(device, &attributes));
    Line(key + ".attributes", got + ", last error " + PlantedError() + ", Size " +
                                  YesNo(attributes.Size == sizeof attributes));
    PHIDP_PREPARSED_DATA parsed = nullptr;
    SetLastError(kPlantedError);
    const std::string preparsed = Outcome(HidD_GetPreparsedData(device, &parsed));
    Line(key + ".preparsed-data", preparsed + ", last error " + PlantedError());
    HIDP_CAPS caps{};
    const NTSTATUS capsStatus = HidP_GetCaps(parsed, &caps);
    Line(key + ".caps", Status(capsStatus) + " usage " +
                            YesNo(caps.UsagePage == kDesktopPage && caps.Usage == usage) +
                            ", input buttons " + YesNo(caps.NumberInputButtonCaps > 0));

    std::vector<HIDP_BUTTON_CAPS> buttons(caps.NumberInputButtonCaps);
    USHORT buttonCount = caps.NumberInputButtonCaps;
    const NTSTATUS buttonStatus =
        HidP_GetButtonCaps(HidP_Input, buttons.data(), &buttonCount, parsed);
    bool hasPage = false;
    for (USHORT i = 0; i < buttonCount; ++i)
        hasPage = hasPage || buttons[i].UsagePage == inputPage;
    Line(key + ".button-caps", Status(buttonStatus) + " count as caps say " +
                                   YesNo(buttonCount == caps.NumberInputButtonCaps) +
                                   ", has its page " + YesNo(hasPage));
    HIDP_BUTTON_CAPS phone[1];
    USHORT phoneCount = 1;
    const NTSTATUS phoneStatus =
        HidP_GetSpecificButtonCaps(HidP_Input, kTelephonyPage, 0, 0, phone, &phoneCount, parsed);
    Line(key + ".telephony-button-caps", Status(phoneStatus) + " count " + Num(phoneCount));
    Line(key + ".max-usage-list",
         "nonzero " + YesNo(HidP_MaxUsageListLength(HidP_Input, inputPage, parsed) > 0));

    std::vector<char> report(caps.InputReportByteLength, 0);
    std::vector<USAGE> usages(64);
    ULONG usageCount = static_cast<ULONG>(usages.size());
    const NTSTATUS usagesStatus =
        HidP_GetUsages(HidP_Input, inputPage, 0, usages.data(), &usageCount, parsed, report.data(),
                       static_cast<ULONG>(report.size()));
    Line(key + ".usages-of-zero-report", Status(usagesStatus) + " count " + Num(usageCount));
    usageCount = static_cast<ULONG>(usages.size());
    const NTSTATUS shortStatus =
        HidP_GetUsages(HidP_Input, inputPage, 0, usages.data(), &usageCount, parsed, report.data(),
                       static_cast<ULONG>(report.size()) + 1);
    Line(key + ".usages-wrong-length", Status(shortStatus));
    constexpr UCHAR kAbsentReportId = 0x55;
    Line(key + ".initialize-absent-report-id",
         Status(HidP_InitializeReportForID(HidP_Input, kAbsentReportId, parsed, report.data(),
                                           static_cast<ULONG>(report.size()))));
    HidD_FreePreparsedData(parsed);
    CloseHandle(device);
}

void ProbeMisuse() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HIDD_ATTRIBUTES attributes{};
    SetLastError(kPlantedError);
    Line("hid.attributes.event-handle", Outcome(HidD_GetAttributes(event, &attributes)));
    CloseHandle(event);
    PHIDP_PREPARSED_DATA parsed = nullptr;
    SetLastError(kPlantedError);
    Line("hid.preparsed-data.invalid-handle-value",
         Outcome(HidD_GetPreparsedData(INVALID_HANDLE_VALUE, &parsed)));
    Line("hid.free-preparsed-data.null", Num(HidD_FreePreparsedData(nullptr)));
    std::vector<BYTE> garbage(256, 0);
    HIDP_CAPS caps{};
    Line("hid.caps.garbage-data",
         Status(HidP_GetCaps(reinterpret_cast<PHIDP_PREPARSED_DATA>(garbage.data()), &caps)));
    GUID hid{};
    HidD_GetHidGuid(&hid);
    Line("hid.guid", Hex(hid.Data1) + "-" + Hex(hid.Data2) + "-" + Hex(hid.Data3));
}

}  // namespace

void ProbeHidParsing() {
    const std::wstring mouse = StockDevicePath(kMouseUsage);
    const std::wstring keyboard = StockDevicePath(kKeyboardUsage);
    Line("stock.keyboard", YesNo(!keyboard.empty()));
    if (!mouse.empty())
        ProbeDevice("mouse", mouse, kMouseUsage, kButtonPage);
    if (!keyboard.empty())
        ProbeDevice("keyboard", keyboard, kKeyboardUsage, kKeyboardPage);
    ProbeMisuse();
}

}  // namespace probe
