#include "stock_devices.h"

#include <vector>

namespace probe {

HANDLE OpenDevice(const std::wstring& path, DWORD access, DWORD flags, DWORD share) {
    return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
}

std::wstring HidDevicePath(const HidMatch& match) {
    GUID hid;
    HidD_GetHidGuid(&hid);
    HDEVINFO list =
        SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE)
        return {};
    std::wstring found;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD index = 0;
         found.empty() && SetupDiEnumDeviceInterfaces(list, nullptr, &hid, index, &data); ++index) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<BYTE> buffer(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(list, &data, detail, size, nullptr, nullptr))
            continue;
        HANDLE device = OpenDevice(detail->DevicePath, 0);
        if (device == INVALID_HANDLE_VALUE)
            continue;
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        HidD_GetAttributes(device, &attributes);
        PHIDP_PREPARSED_DATA parsed = nullptr;
        HIDP_CAPS caps{};
        if (HidD_GetPreparsedData(device, &parsed)) {
            HidP_GetCaps(parsed, &caps);
            HidD_FreePreparsedData(parsed);
        }
        CloseHandle(device);
        if (match(attributes, caps))
            found = detail->DevicePath;
    }
    SetupDiDestroyDeviceInfoList(list);
    return found;
}

std::wstring StockDevicePath(USAGE usage) {
    return HidDevicePath([usage](const HIDD_ATTRIBUTES&, const HIDP_CAPS& caps) {
        return caps.UsagePage == kDesktopPage && caps.Usage == usage;
    });
}

}  // namespace probe
