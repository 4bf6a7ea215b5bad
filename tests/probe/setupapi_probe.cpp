// SetupAPI enumeration of HID interfaces and the detail record, as the agent
// walks them.
#include <cstddef>
#include <cwctype>
#include <vector>

#include "stock_devices.h"

namespace probe {
namespace {

constexpr DWORD kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
constexpr const wchar_t* kHidClassText = L"{4d1e55b2-f16f-11cf-88cb-001111000030}";

bool IsLowerCase(const std::wstring& text) {
    for (wchar_t c : text) {
        if (std::towlower(static_cast<wint_t>(c)) != static_cast<wint_t>(c))
            return false;
    }
    return true;
}

void ProbeDetail(HDEVINFO list, SP_DEVICE_INTERFACE_DATA& data) {
    DWORD required = 0;
    SetLastError(kPlantedError);
    const std::string query =
        Outcome(SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, 0, &required, nullptr));
    std::vector<BYTE> buffer(required + sizeof(WCHAR));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    DWORD again = 0;
    SetLastError(kPlantedError);
    const std::string full =
        Outcome(SetupDiGetDeviceInterfaceDetailW(list, &data, detail, required, &again, nullptr));
    const std::wstring path = detail->DevicePath;
    Line("setupapi.detail.size-query",
         query + ", required is offset + path + terminator " +
             YesNo(required == kPathOffset + (path.size() + 1) * sizeof(WCHAR)));
    Line("setupapi.detail.fetch",
         full + ", same size again " + YesNo(again == required) + ", last error " + PlantedError());
    Line("setupapi.detail.path", "starts with the HID prefix " +
                                     YesNo(path.starts_with(L"\\\\?\\hid#")) + ", lower case " +
                                     YesNo(IsLowerCase(path)) + ", ends with the HID class " +
                                     YesNo(path.ends_with(kHidClassText)));
    SetLastError(kPlantedError);
    Line("setupapi.detail.short-buffer", Outcome(SetupDiGetDeviceInterfaceDetailW(
                                             list, &data, detail, required - 1, nullptr, nullptr)));
    // The record's own size is the structure's: 8 on x64, not the 6 (the path's
    // offset and one UTF-16 unit) of 32-bit code.
    detail->cbSize = kPathOffset + sizeof(char16_t);
    SetLastError(kPlantedError);
    Line(
        "setupapi.detail.cbsize-of-32-bit-code",
        Outcome(SetupDiGetDeviceInterfaceDetailW(list, &data, detail, required, nullptr, nullptr)));
    detail->cbSize = 0;
    SetLastError(kPlantedError);
    Line("setupapi.detail.cbsize-0", Outcome(SetupDiGetDeviceInterfaceDetailW(
                                         list, &data, detail, required, nullptr, nullptr)));
    SetLastError(kPlantedError);
    Line("setupapi.detail.buffer-null-size-given",
         Outcome(
             SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, required, nullptr, nullptr)));
}

}  // namespace

void ProbeSetupApi() {
    GUID hid;
    HidD_GetHidGuid(&hid);
    SetLastError(kPlantedError);
    HDEVINFO list =
        SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    Line("setupapi.class-devs",
         std::string(list != INVALID_HANDLE_VALUE ? "list" : "INVALID_HANDLE_VALUE") +
             ", last error " + PlantedError());
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    DWORD count = 0;
    bool allActive = true;
    while (SetupDiEnumDeviceInterfaces(list, nullptr, &hid, count, &data)) {
        allActive = allActive && data.Flags == SPINT_ACTIVE;
        ++count;
    }
    Line("setupapi.enum.walk", "at least two " + YesNo(count >= 2) + ", all flags SPINT_ACTIVE " +
                                   YesNo(allActive) + ", then " + Err());
    SetLastError(kPlantedError);
    const std::string first = Outcome(SetupDiEnumDeviceInterfaces(list, nullptr, &hid, 0, &data));
    Line("setupapi.enum.first", first + ", last error " + PlantedError());
    SP_DEVICE_INTERFACE_DATA badSize{};
    badSize.cbSize = sizeof badSize - 1;
    SetLastError(kPlantedError);
    Line("setupapi.enum.bad-cbsize",
         Outcome(SetupDiEnumDeviceInterfaces(list, nullptr, &hid, 0, &badSize)));
    ProbeDetail(list, data);
    Line("setupapi.destroy", Outcome(SetupDiDestroyDeviceInfoList(list)));
}

}  // namespace probe
