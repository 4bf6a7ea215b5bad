// SETUPAPI device interface enumeration over the plugged HID interfaces.
#include <cstring>
#include <map>

#include "hid/device_registry.h"
#include "simdesk/win32_kernel.h"
#include "simdesk/win32_setupapi.h"

namespace simdesk::hid {
namespace {

// The HID device setup class, what SP_DEVINFO_DATA::ClassGuid names.
constexpr GUID kHidClassGuid = {
    0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};

// A device information set: the interfaces present when it was made.
struct InfoList {
    std::vector<std::shared_ptr<Interface>> interfaces;
};

struct InfoLists {
    std::map<ULONG_PTR, InfoList> lists;
    ULONG_PTR nextId = 0x1000;
};

// Guarded by the desktop lock.
InfoLists& TheLists() {
    static auto* lists = new InfoLists;
    return *lists;
}

InfoList* FindList(HDEVINFO handle) {
    auto& lists = TheLists().lists;
    const auto found = lists.find(reinterpret_cast<ULONG_PTR>(handle));
    return found != lists.end() ? &found->second : nullptr;
}

BOOL Fail(DWORD error) {
    SetLastErrorValue(error);
    return FALSE;
}

}  // namespace
}  // namespace simdesk::hid

using namespace simdesk;
using namespace simdesk::hid;

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND, DWORD Flags) {
    // Only the interface enumeration the agent makes is simulated.
    constexpr DWORD kSupported = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
    if (Flags != kSupported || ClassGuid == nullptr || Enumerator != nullptr) {
        SetLastErrorValue(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    DesktopGuard lock(DesktopMutex());
    InfoList list;
    if (*ClassGuid == kHidInterfaceGuid)
        list.interfaces = PresentInterfaces();
    const ULONG_PTR id = TheLists().nextId++;
    TheLists().lists.emplace(id, std::move(list));
    // Success leaves the last error as it was.
    return reinterpret_cast<HDEVINFO>(id);
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    DesktopGuard lock(DesktopMutex());
    const InfoList* list = FindList(DeviceInfoSet);
    if (list == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (DeviceInfoData != nullptr || InterfaceClassGuid == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (DeviceInterfaceData == nullptr ||
        DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!(*InterfaceClassGuid == kHidInterfaceGuid) || MemberIndex >= list->interfaces.size())
        return Fail(ERROR_NO_MORE_ITEMS);
    const Interface& interface = *list->interfaces[MemberIndex];
    DeviceInterfaceData->InterfaceClassGuid = kHidInterfaceGuid;
    DeviceInterfaceData->Flags = interface.plugged ? SPINT_ACTIVE : SPINT_REMOVED;
    DeviceInterfaceData->Reserved = MemberIndex + 1;  // which member of the set
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
    DesktopGuard lock(DesktopMutex());
    const InfoList* list = FindList(DeviceInfoSet);
    if (list == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (DeviceInterfaceData == nullptr ||
        DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    const ULONG_PTR member = DeviceInterfaceData->Reserved;
    if (member == 0 || member > list->interfaces.size())
        return Fail(ERROR_INVALID_PARAMETER);
    const Interface& interface = *list->interfaces[member - 1];
    if (!interface.plugged)
        return Fail(ERROR_NO_SUCH_DEVICE_INTERFACE);

    const std::size_t pathBytes = (interface.path.size() + 1) * sizeof(WCHAR);
    const auto required =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + pathBytes);
    if (RequiredSize != nullptr)
        *RequiredSize = required;
    if (DeviceInterfaceDetailData == nullptr) {
        return Fail(DeviceInterfaceDetailDataSize == 0 ? ERROR_INSUFFICIENT_BUFFER
                                                       : ERROR_INVALID_USER_BUFFER);
    }
    if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (DeviceInterfaceDetailDataSize < required)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (DeviceInfoData != nullptr) {
        if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))
            return Fail(ERROR_INVALID_USER_BUFFER);
        DeviceInfoData->ClassGuid = kHidClassGuid;
        DeviceInfoData->DevInst = static_cast<DWORD>(member);
        DeviceInfoData->Reserved = 0;
    }
    std::memcpy(DeviceInterfaceDetailData->DevicePath, interface.path.c_str(), pathBytes);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    DesktopGuard lock(DesktopMutex());
    if (TheLists().lists.erase(reinterpret_cast<ULONG_PTR>(DeviceInfoSet)) == 0)
        return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}
