#include "hid/interface_discovery.h"

#include <cstddef>
#include <new>

#include "hid/hot_plug.h"
#include "hid/scoped_resources.h"
#include "hid/target_device.h"

InterfaceTables& interfaceTables = *new InterfaceTables();

namespace {

constexpr std::size_t kDevicePathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
constexpr DWORD kMaxDetailSize =
    static_cast<DWORD>(kDevicePathOffset + (kMaxInterfacePathLength + 1) * sizeof(WCHAR));

bool EnumerateInterface(HDEVINFO list, USHORT index, SP_DEVICE_INTERFACE_DATA& data) {
    data = SP_DEVICE_INTERFACE_DATA{};
    data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    return SetupDiEnumDeviceInterfaces(list, nullptr, &interfaceTables.hidClassGuid, index,
                                       &data) == TRUE;
}

// Fetches the detail block of one interface into its table entry. False leaves it empty.
bool FetchDetail(HDEVINFO list, SP_DEVICE_INTERFACE_DATA& data, std::unique_ptr<BYTE[]>& entry) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, 0, &size, nullptr);
    if (size == 0 || size > kMaxDetailSize || size < kDevicePathOffset + sizeof(WCHAR))
        return false;
    entry.reset(new (std::nothrow) BYTE[size]());
    if (!entry)
        return false;
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(entry.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    DWORD unused = 0;
    if (!SetupDiGetDeviceInterfaceDetailW(list, &data, detail, size, &unused, nullptr)) {
        entry.reset();
        return false;
    }
    return true;
}

// Reads the attributes and top-level capabilities of one interface. On failure
// the capabilities entry is cleared so that the interface cannot match.
void ExamineInterface(const WCHAR* path, HIDP_CAPS& caps, HIDD_ATTRIBUTES& attributes) {
    ScopedFileHandle device(CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    attributes.Size = sizeof(HIDD_ATTRIBUTES);
    if (device.valid())
        HidD_GetAttributes(device.get(), &attributes);
    ScopedPreparsedData descriptor;
    if (!device.valid() || !HidD_GetPreparsedData(device.get(), descriptor.out()) ||
        HidP_GetCaps(descriptor.get(), &caps) != HIDP_STATUS_SUCCESS) {
        caps = HIDP_CAPS{};
    }
}

bool IsTarget(const HIDP_CAPS& caps, const HIDD_ATTRIBUTES& attributes) {
    return attributes.ProductID == target_device::kProductId &&
           attributes.VendorID == target_device::kVendorId &&
           caps.InputReportByteLength == target_device::kInputReportByteLength &&
           caps.UsagePage == target_device::kTelephonyPage;
}

}  // namespace

const WCHAR* DetailPath(const BYTE* detailBlock) {
    return reinterpret_cast<const SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBlock)->DevicePath;
}

void EnumerateHidInterfaces(HIDP_CAPS* capsTable, USHORT& interfaceCount,
                            HIDD_ATTRIBUTES* attributesTable) {
    interfaceCount = 0;
    for (USHORT i = 0; i < kMaxInterfaces; ++i) {
        capsTable[i] = HIDP_CAPS{};
        attributesTable[i] = HIDD_ATTRIBUTES{};
        interfaceTables.detailTable[i].reset();
    }

    HidD_GetHidGuid(&interfaceTables.hidClassGuid);
    ScopedDeviceInfoList list(SetupDiGetClassDevsW(&interfaceTables.hidClassGuid, nullptr, nullptr,
                                                   DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!list.valid())
        return;

    SP_DEVICE_INTERFACE_DATA data{};
    USHORT count = 0;
    while (count < kMaxInterfaces && EnumerateInterface(list.get(), count, data))
        ++count;
    interfaceCount = count;

    std::unique_ptr<SP_DEVICE_INTERFACE_DATA[]> snapshot(
        new (std::nothrow) SP_DEVICE_INTERFACE_DATA[count == 0 ? 1 : count]());
    if (!snapshot)
        return;
    for (USHORT i = 0; i < count; ++i) {
        if (EnumerateInterface(list.get(), i, data)) {
            snapshot[i] = data;
        } else {
            snapshot[i].Flags = SPINT_REMOVED;
        }
    }

    for (USHORT i = 0; i < count; ++i) {
        if (!FetchDetail(list.get(), snapshot[i], interfaceTables.detailTable[i]))
            continue;
        ExamineInterface(DetailPath(interfaceTables.detailTable[i].get()), capsTable[i],
                         attributesTable[i]);
    }
}

void FindTargetDevice(USHORT interfaceCount) {
    for (USHORT i = 0; i < interfaceCount && i < kMaxInterfaces; ++i) {
        if (interfaceTables.detailTable[i] &&
            IsTarget(interfaceTables.capsTable[i], interfaceTables.attributesTable[i])) {
            ActivateTargetDevice(DetailPath(interfaceTables.detailTable[i].get()));
            return;
        }
    }
}
