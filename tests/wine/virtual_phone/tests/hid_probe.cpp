#include "hid_probe.h"

#include <dbt.h>

#include <algorithm>
#include <cwctype>

namespace vphone::test {
namespace {

constexpr auto kListPollInterval = std::chrono::milliseconds(20);
constexpr wchar_t kWindowClass[] = L"VirtualPhoneNotificationProbe";

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
        auto* probe =
            reinterpret_cast<DeviceNotifications*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (probe && header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
            const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
            probe->Record(wParam, device->dbcc_name);
        }
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::vector<std::wstring> PresentHidPaths() {
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    std::vector<std::wstring> paths;
    DeviceInfoSet set(
        SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.valid())
        return paths;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidGuid, index, &interfaceData);
         ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<std::byte> block(required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(block.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, detail, required, nullptr,
                                             nullptr))
            paths.emplace_back(detail->DevicePath);
    }
    return paths;
}

bool WaitListed(const std::wstring& path, bool listed, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto paths = PresentHidPaths();
        if ((std::find(paths.begin(), paths.end(), path) != paths.end()) == listed)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kListPollInterval);
    }
}

std::vector<UsageCap> ButtonCaps(HIDP_REPORT_TYPE type, PHIDP_PREPARSED_DATA data) {
    HIDP_CAPS caps{};
    if (HidP_GetCaps(data, &caps) != HIDP_STATUS_SUCCESS)
        return {};
    USHORT count = type == HidP_Input ? caps.NumberInputButtonCaps : caps.NumberOutputButtonCaps;
    std::vector<HIDP_BUTTON_CAPS> raw(count);
    if (count == 0 || HidP_GetButtonCaps(type, raw.data(), &count, data) != HIDP_STATUS_SUCCESS)
        return {};
    std::vector<UsageCap> result;
    for (USHORT i = 0; i < count; ++i)
        result.push_back({raw[i].UsagePage,
                          raw[i].IsRange ? raw[i].Range.UsageMin : raw[i].NotRange.Usage,
                          raw[i].ReportID});
    return result;
}

std::vector<USAGE> PressedUsages(USAGE page, PHIDP_PREPARSED_DATA data, std::vector<char>& report) {
    ULONG length = HidP_MaxUsageListLength(HidP_Input, page, data);
    std::vector<USAGE> usages(length);
    if (length == 0 ||
        HidP_GetUsages(HidP_Input, page, /*LinkCollection=*/0, usages.data(), &length, data,
                       report.data(), static_cast<ULONG>(report.size())) != HIDP_STATUS_SUCCESS)
        return {};
    usages.resize(length);
    return usages;
}

OverlappedRead::OverlappedRead(HANDLE device, DWORD length)
    : device_(device),
      event_(CreateEventW(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr)),
      buffer_(length) {
    overlapped_.hEvent = event_.get();
    if (!ReadFile(device_, buffer_.data(), length, nullptr, &overlapped_) &&
        GetLastError() != ERROR_IO_PENDING) {
        startError_ = GetLastError();
        finished_ = true;
    }
}

OverlappedRead::~OverlappedRead() {
    if (!finished_) {
        CancelIoEx(device_, &overlapped_);
        DWORD ignored = 0;
        GetOverlappedResult(device_, &overlapped_, &ignored, /*bWait=*/TRUE);
    }
}

ReadResult OverlappedRead::Wait(std::chrono::milliseconds timeout) {
    ReadResult result;
    if (finished_) {
        result.completed = true;
        result.error = startError_;
        return result;
    }
    if (WaitForSingleObject(event_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return result;
    finished_ = true;
    result.completed = true;
    DWORD transferred = 0;
    if (!GetOverlappedResult(device_, &overlapped_, &transferred, /*bWait=*/FALSE))
        result.error = GetLastError();
    else
        result.bytes.assign(buffer_.begin(), buffer_.begin() + transferred);
    return result;
}

DeviceNotifications::DeviceNotifications() {
    std::promise<bool> started;
    auto ready = started.get_future();
    thread_ = std::thread([this, &started] { Run(started); });
    ready_ = ready.get();
}

DeviceNotifications::~DeviceNotifications() {
    if (threadId_)
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
}

void DeviceNotifications::Run(std::promise<bool>& started) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ProbeWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
    // A hidden top-level window: message-only windows get no device broadcasts.
    HWND window = CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    if (!window) {
        started.set_value(false);
        return;
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    HDEVNOTIFY registration =
        RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);

    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here on
    threadId_ = GetCurrentThreadId();
    started.set_value(registration != nullptr);

    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (registration)
        UnregisterDeviceNotification(registration);
    DestroyWindow(window);
}

void DeviceNotifications::Record(WPARAM kind, std::wstring path) {
    {
        std::lock_guard lock(mutex_);
        seen_.push_back({kind, std::move(path)});
    }
    changed_.notify_all();
}

std::size_t DeviceNotifications::count() {
    std::lock_guard lock(mutex_);
    return seen_.size();
}

std::optional<std::wstring> DeviceNotifications::WaitFor(WPARAM kind, const std::wstring& path,
                                                         std::chrono::milliseconds timeout,
                                                         std::size_t since) {
    std::unique_lock lock(mutex_);
    std::optional<std::wstring> found;
    changed_.wait_for(lock, timeout, [&] {
        for (std::size_t i = since; i < seen_.size() && !found; ++i) {
            const auto& notification = seen_[i];
            if (notification.kind == kind && EqualIgnoringCase(notification.path, path))
                found = notification.path;
        }
        return found.has_value();
    });
    return found;
}

}  // namespace vphone::test
