// Plugged devices, their interface paths, opening them, and the test-side controls.
#include "hid/device_registry.h"

#include <algorithm>
#include <cwctype>
#include <mutex>

#include "hid/descriptor_parser.h"
#include "hid/device_notifications.h"
#include "kernel/jitter.h"
#include "simdesk/win32_dbt.h"
#include "simdesk/win32_kernel.h"

namespace simdesk::hid {
namespace {

struct Registry {
    std::vector<std::unique_ptr<Device>> devices;  // plug order
    DeviceId nextId = 1;
};

Registry& TheRegistry() {
    static auto* registry = new Registry;
    return *registry;
}

Device* FindDevice(DeviceId id) {
    for (auto& device : TheRegistry().devices)
        if (device->id == id)
            return device.get();
    return nullptr;
}

Interface* FindInterface(DeviceId id, std::size_t index) {
    Device* device = FindDevice(id);
    if (device == nullptr || index >= device->interfaces.size())
        return nullptr;
    return device->interfaces[index].get();
}

std::wstring Hex4(unsigned value, bool upper) {
    static const wchar_t* const kDigits[] = {L"0123456789abcdef", L"0123456789ABCDEF"};
    std::wstring text(4, L'0');
    for (int i = 3; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = kDigits[upper][value & 0xF];
    return text;
}

std::wstring Dec2(unsigned value) {
    return {static_cast<wchar_t>(L'0' + value / 10 % 10), static_cast<wchar_t>(L'0' + value % 10)};
}

constexpr wchar_t kHidGuidText[] = L"{4d1e55b2-f16f-11cf-88cb-001111000030}";

// Windows' two spellings of an interface path: SetupAPI lists it in lower case,
// device-interface notifications carry the hardware-ID case ("Col02" included).
std::wstring InterfacePath(const DeviceModel& model, const std::wstring& instance,
                           std::size_t collection, std::size_t collectionCount, bool hardwareCase) {
    std::wstring path = hardwareCase ? L"\\\\?\\HID#VID_" : L"\\\\?\\hid#vid_";
    path += Hex4(model.vendorId, hardwareCase);
    path += hardwareCase ? L"&PID_" : L"&pid_";
    path += Hex4(model.productId, hardwareCase);
    if (model.interfaceNumber >= 0) {
        path += hardwareCase ? L"&MI_" : L"&mi_";
        path += Dec2(static_cast<unsigned>(model.interfaceNumber));
    }
    if (collectionCount > 1) {
        path += hardwareCase ? L"&Col" : L"&col";
        path += Dec2(static_cast<unsigned>(collection + 1));
    }
    path += L'#';
    path += instance;
    path += L'&';
    path += Hex4(static_cast<unsigned>(collection), hardwareCase);
    path += L'#';
    path += kHidGuidText;
    return path;
}

std::wstring MadeUpInstance(DeviceId id) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring hash;
    for (std::uint32_t value = 0x2a0f7a5u * id + 0x1b3c; value != 0; value >>= 4)
        hash.insert(hash.begin(), kDigits[value & 0xF]);
    return L"7&" + hash + L"&0";
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(static_cast<wint_t>(x)) ==
                      std::towlower(static_cast<wint_t>(y));
           });
}

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

// Windows' sharing rule: a new open must allow what the others hold, and the
// others must allow what it asks for. Query-only opens take part in neither.
bool SharingAllows(const Interface& interface, DWORD access, DWORD share) {
    for (const auto& weak : interface.files) {
        const auto file = weak.lock();
        if (!file)
            continue;
        const DWORD heldAccess = file->access() & kReadWrite;
        if (heldAccess == 0)
            continue;
        if ((access & GENERIC_READ) && !(file->share() & FILE_SHARE_READ))
            return false;
        if ((access & GENERIC_WRITE) && !(file->share() & FILE_SHARE_WRITE))
            return false;
        if ((heldAccess & GENERIC_READ) && !(share & FILE_SHARE_READ))
            return false;
        if ((heldAccess & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE))
            return false;
    }
    return true;
}

std::shared_ptr<FileObject> OpenInterface(std::wstring_view path, DWORD access, DWORD share,
                                          DWORD /*flags*/, DWORD* error) {
    for (auto& device : TheRegistry().devices) {
        for (auto& interface : device->interfaces) {
            if (!SameText(path, interface->path))
                continue;
            if (device->model.openError != 0) {
                *error = device->model.openError;
                return nullptr;
            }
            if (!SharingAllows(*interface, access, share)) {
                *error = ERROR_SHARING_VIOLATION;
                return nullptr;
            }
            auto file = std::make_shared<HidFile>(interface, access, share);
            interface->files.push_back(file);
            ++interface->opens;
            return file;
        }
    }
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
}

void RegisterNamespaceOnce() {
    static std::once_flag once;
    std::call_once(once, [] { RegisterFileNamespace(OpenInterface); });
}

std::vector<std::wstring> NotificationPaths(const Device& device) {
    std::vector<std::wstring> paths;
    for (const auto& interface : device.interfaces)
        paths.push_back(interface->notificationPath);
    return paths;
}

// Takes the device off the bus: I/O fails from here on and its paths are gone.
void Detach(Device& device) {
    for (auto& interface : device.interfaces) {
        interface->plugged = false;
        interface->device = nullptr;
        for (const auto& weak : interface->files)
            if (const auto file = weak.lock())
                file->FailPending(kStatusDeviceNotConnected);
        for (const Interface::HeldWrite& held : interface->heldWrites)
            CompleteOverlapped(held.overlapped, kStatusDeviceNotConnected, 0);
        interface->heldWrites.clear();
        interface->writesToHold = 0;
    }
}

std::unique_ptr<Device> TakeDevice(DeviceId id) {
    auto& devices = TheRegistry().devices;
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [id](const auto& device) { return device->id == id; });
    if (found == devices.end())
        return nullptr;
    std::unique_ptr<Device> device = std::move(*found);
    devices.erase(found);
    return device;
}

}  // namespace

std::vector<std::shared_ptr<Interface>> PresentInterfaces() {
    std::vector<std::shared_ptr<Interface>> present;
    for (const auto& device : TheRegistry().devices)
        present.insert(present.end(), device->interfaces.begin(), device->interfaces.end());
    return present;
}

}  // namespace simdesk::hid

namespace simdesk {

using namespace hid;

DeviceId PlugDevice(const DeviceModel& model, OutputReportObserver observer) {
    ParseResult parsed = ParseReportDescriptor(model.reportDescriptor);
    if (!parsed.error.empty() || parsed.collections.empty())
        return 0;
    RegisterNamespaceOnce();
    std::vector<std::wstring> paths;
    DeviceId id = 0;
    {
        DesktopGuard lock(DesktopMutex());
        auto device = std::make_unique<Device>();
        id = device->id = TheRegistry().nextId++;
        device->model = model;
        device->observer = std::move(observer);
        const std::wstring instance =
            model.instance.empty() ? MadeUpInstance(device->id) : model.instance;
        const std::size_t count = parsed.collections.size();
        for (std::size_t i = 0; i < count; ++i) {
            auto interface = std::make_shared<Interface>();
            interface->device = device.get();
            interface->index = i;
            interface->path = InterfacePath(model, instance, i, count, /*hardwareCase=*/false);
            interface->notificationPath =
                InterfacePath(model, instance, i, count, /*hardwareCase=*/true);
            interface->collection = std::move(parsed.collections[i]);
            device->interfaces.push_back(std::move(interface));
        }
        paths = NotificationPaths(*device);
        TheRegistry().devices.push_back(std::move(device));
        NotifyDesktopChanged();
    }
    BroadcastInterfaceChange(DBT_DEVICEARRIVAL, paths);
    return id;
}

bool UnplugDevice(DeviceId id) {
    std::vector<std::wstring> paths;
    {
        DesktopGuard lock(DesktopMutex());
        std::unique_ptr<Device> device = TakeDevice(id);
        if (!device)
            return false;
        Detach(*device);
        paths = NotificationPaths(*device);
        NotifyDesktopChanged();
    }
    BroadcastInterfaceChange(DBT_DEVICEREMOVECOMPLETE, paths);
    return true;
}

void UnplugAllDevicesQuietly() {
    DesktopGuard lock(DesktopMutex());
    for (auto& device : TheRegistry().devices)
        Detach(*device);
    TheRegistry().devices.clear();
    NotifyDesktopChanged();
}

bool IsDevicePlugged(DeviceId id) {
    DesktopGuard lock(DesktopMutex());
    return FindDevice(id) != nullptr;
}

std::vector<InterfaceInfo> DeviceInterfaces(DeviceId id) {
    DesktopGuard lock(DesktopMutex());
    std::vector<InterfaceInfo> infos;
    if (Device* device = FindDevice(id)) {
        for (const auto& interface : device->interfaces)
            infos.push_back({interface->path, interface->notificationPath,
                             interface->collection.usagePage, interface->collection.usage});
    }
    return infos;
}

bool SendInputReport(DeviceId id, std::size_t index, const std::vector<std::uint8_t>& report) {
    JitterAt(HandOff::InputReport);
    DesktopGuard lock(DesktopMutex());
    Interface* interface = FindInterface(id, index);
    if (interface == nullptr ||
        report.size() != interface->collection.types[HidP_Input].byteLength || report.empty())
        return false;
    for (const auto& weak : interface->files)
        if (const auto file = weak.lock())
            file->Deliver(report);
    NotifyDesktopChanged();
    return true;
}

std::vector<std::vector<std::uint8_t>> OutputReports(DeviceId id, std::size_t index) {
    DesktopGuard lock(DesktopMutex());
    Interface* interface = FindInterface(id, index);
    return interface != nullptr ? interface->outputReports.Kept()
                                : std::vector<std::vector<std::uint8_t>>{};
}

std::size_t OutputReportCount(DeviceId id, std::size_t index) {
    DesktopGuard lock(DesktopMutex());
    Interface* interface = FindInterface(id, index);
    return interface != nullptr ? interface->outputReports.Total() : 0;
}

void HoldOutputReports(DeviceId id, std::size_t index, std::size_t count) {
    DesktopGuard lock(DesktopMutex());
    if (Interface* interface = FindInterface(id, index))
        interface->writesToHold = count;
}

std::size_t HeldOutputReportCount(DeviceId id, std::size_t index) {
    DesktopGuard lock(DesktopMutex());
    Interface* interface = FindInterface(id, index);
    return interface != nullptr ? interface->heldWrites.size() : 0;
}

std::size_t ReleaseOutputReports(DeviceId id, std::size_t index) {
    DesktopGuard lock(DesktopMutex());
    Interface* interface = FindInterface(id, index);
    if (interface == nullptr)
        return 0;
    interface->writesToHold = 0;
    const std::size_t released = interface->heldWrites.size();
    while (!interface->heldWrites.empty()) {
        const Interface::HeldWrite held = std::move(interface->heldWrites.front());
        interface->heldWrites.pop_front();
        interface->TakeOutputReport(held.report);
        CompleteOverlapped(held.overlapped, kStatusSuccess, static_cast<DWORD>(held.report.size()));
    }
    return released;
}

std::size_t OpenHandleCount(DeviceId id, std::size_t index) {
    DesktopGuard lock(DesktopMutex());
    Interface* interface = FindInterface(id, index);
    if (interface == nullptr)
        return 0;
    return static_cast<std::size_t>(
        std::count_if(interface->files.begin(), interface->files.end(),
                      [](const std::weak_ptr<HidFile>& file) { return !file.expired(); }));
}

std::size_t OpenCountSincePlug(DeviceId id, std::size_t index) {
    DesktopGuard lock(DesktopMutex());
    const Interface* interface = FindInterface(id, index);
    return interface == nullptr ? 0 : interface->opens;
}

}  // namespace simdesk
