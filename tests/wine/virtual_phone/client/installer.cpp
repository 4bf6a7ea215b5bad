#include "installer.h"

#include "vphone/phone_layout.h"
#include "win32_handle.h"

#include <newdev.h>

#include <array>
#include <chrono>
#include <thread>

namespace vphone {
namespace {

// GUID_DEVCLASS_HIDCLASS, spelled out to avoid needing initguid in this translation unit.
constexpr GUID kHidDeviceClass = {
    0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};

constexpr auto kServiceStopTimeout = std::chrono::seconds(10);
constexpr auto kServicePollInterval = std::chrono::milliseconds(50);

StepResult Failed(const char* step) {
    return StepResult{GetLastError(), step};
}

}  // namespace

std::wstring InfBesideExecutable() {
    std::array<wchar_t, MAX_PATH> path{};
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring folder(path.data(), length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + L"vphone.inf";
}

StepResult InstallPhone(const std::wstring& infPath) {
    DeviceInfoSet set(SetupDiCreateDeviceInfoList(&kHidDeviceClass, nullptr));
    if (!set.valid())
        return Failed("SetupDiCreateDeviceInfoList");

    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    // No DICD_GENERATE_ID: the instance id is given whole, so the interface path ends in #0001#.
    if (!SetupDiCreateDeviceInfoW(set.get(), VPHONE_INSTANCE_ID, &kHidDeviceClass, nullptr, nullptr,
                                  /*CreationFlags=*/0, &device))
        return Failed("SetupDiCreateDeviceInfoW");

    // REG_MULTI_SZ: the id, its terminator and the list terminator.
    static constexpr wchar_t kHardwareIds[] = VPHONE_HARDWARE_ID L"\0";
    if (!SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(kHardwareIds),
                                           sizeof(kHardwareIds)))
        return Failed("SetupDiSetDeviceRegistryPropertyW");

    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device))
        return Failed("SetupDiCallClassInstaller(DIF_REGISTERDEVICE)");

    BOOL rebootRequired = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, VPHONE_HARDWARE_ID, infPath.c_str(),
                                            INSTALLFLAG_FORCE, &rebootRequired)) {
        StepResult result = Failed("UpdateDriverForPlugAndPlayDevicesW");
        SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device);
        return result;
    }
    return {};
}

StepResult RemovePhone() {
    DeviceInfoSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!set.valid())
        return Failed("SetupDiCreateDeviceInfoList");

    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiOpenDeviceInfoW(set.get(), VPHONE_INSTANCE_ID, nullptr, /*OpenFlags=*/0, &device))
        return Failed("SetupDiOpenDeviceInfoW");
    if (!SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device))
        return Failed("SetupDiCallClassInstaller(DIF_REMOVE)");
    return {};
}

StepResult UnloadDriver() {
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.valid())
        return Failed("OpenSCManagerW");
    ServiceHandle service(
        OpenServiceW(manager.get(), VPHONE_SERVICE_NAME, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service.valid())
        return Failed("OpenServiceW");

    SERVICE_STATUS status{};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        return Failed("ControlService(SERVICE_CONTROL_STOP)");

    const auto deadline = std::chrono::steady_clock::now() + kServiceStopTimeout;
    while (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (std::chrono::steady_clock::now() > deadline)
            return StepResult{ERROR_TIMEOUT, "waiting for the driver service to stop"};
        std::this_thread::sleep_for(kServicePollInterval);
    }
    return {};
}

}  // namespace vphone
