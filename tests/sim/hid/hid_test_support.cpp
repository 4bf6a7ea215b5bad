#include "hid_test_support.h"

#include "hid/descriptor_parser.h"
#include "hid/preparsed_data.h"

namespace hidtest {
namespace {

std::vector<DeviceChange>& Changes() {
    static std::vector<DeviceChange> changes;
    return changes;
}

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_DEVICECHANGE)
        return DefWindowProcW(window, message, wParam, lParam);
    DeviceChange change{window, wParam, lParam != 0, 0, {}, {}};
    if (lParam != 0) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        change.deviceType = header->dbch_devicetype;
        if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
            const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
            change.classGuid = record->dbcc_classguid;
            change.path = record->dbcc_name;
        }
    }
    Changes().push_back(change);
    return TRUE;
}

}  // namespace

Preparsed ParseCollection(const std::vector<std::uint8_t>& descriptor, std::size_t index) {
    auto parsed = simdesk::hid::ParseReportDescriptor(descriptor);
    if (!parsed.error.empty() || index >= parsed.collections.size())
        return nullptr;
    Preparsed data(new _HIDP_PREPARSED_DATA);
    data->collection = parsed.collections[index];
    return data;
}

void Handle::Reset() {
    if (valid())
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

HANDLE Open(const std::wstring& path, DWORD access, DWORD flags, DWORD share) {
    return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
}

std::vector<std::wstring> ListedPaths() {
    GUID hid{};
    HidD_GetHidGuid(&hid);
    HDEVINFO list =
        SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    std::vector<std::wstring> paths;
    if (list == INVALID_HANDLE_VALUE)
        return paths;
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(list, nullptr, &hid, i, &data))
            break;
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, 0, &size, nullptr);
        std::vector<std::max_align_t> block(size / sizeof(std::max_align_t) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(block.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(list, &data, detail, size, nullptr, nullptr))
            paths.emplace_back(detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList(list);
    return paths;
}

HWND ChangeRecorder::NewWindow() {
    static const wchar_t kClass[] = L"HidTestChangeRecorder";
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = kClass;
        return RegisterClassExW(&windowClass) != 0;
    }();
    if (!registered)
        return nullptr;
    return CreateWindowExW(0, kClass, L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                           nullptr, nullptr);
}

const std::vector<DeviceChange>& ChangeRecorder::changes() const {
    return Changes();
}

void ChangeRecorder::Clear() {
    Changes().clear();
}

}  // namespace hidtest
