// HidD_* calls: what the HID class driver answers about an open device file.
#include "hid/device_registry.h"
#include "hid/preparsed_data.h"
#include "simdesk/devices.h"
#include "simdesk/faults.h"

namespace simdesk::hid {
namespace {

// The open HID interface behind a handle, or null with the last error set as
// the failed device I/O control would set it.
std::shared_ptr<HidFile> HidFileOf(HANDLE handle) {
    auto object = ObjectFromHandle(handle);
    if (!object) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!std::dynamic_pointer_cast<FileObject>(object)) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);  // no file at all: no I/O control
        return nullptr;
    }
    auto file = std::dynamic_pointer_cast<HidFile>(object);
    if (!file) {
        SetLastErrorValue(ERROR_INVALID_FUNCTION);  // not a HID device: IOCTL unknown
        return nullptr;
    }
    if (!file->interface()->plugged) {
        SetLastErrorValue(ERROR_DEVICE_NOT_CONNECTED);
        return nullptr;
    }
    return file;
}

}  // namespace
}  // namespace simdesk::hid

using namespace simdesk;
using namespace simdesk::hid;

void NTAPI HidD_GetHidGuid(LPGUID HidGuid) {
    if (HidGuid != nullptr)
        *HidGuid = kHidInterfaceGuid;
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
    if (faults::Inject(faults::Call::HidD_GetAttributes, ERROR_DEVICE_NOT_CONNECTED))
        return FALSE;
    DesktopGuard lock(DesktopMutex());
    const auto file = HidFileOf(HidDeviceObject);
    if (!file)
        return FALSE;
    if (Attributes == nullptr) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Windows fills Size itself rather than checking the caller's.
    const DeviceModel& model = file->interface()->device->model;
    Attributes->Size = sizeof(HIDD_ATTRIBUTES);
    Attributes->VendorID = model.vendorId;
    Attributes->ProductID = model.productId;
    Attributes->VersionNumber = model.versionNumber;
    // HID.DLL's device I/O control clears the last error on success.
    SetLastErrorValue(ERROR_SUCCESS);
    return TRUE;
}

BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData) {
    if (faults::Inject(faults::Call::HidD_GetPreparsedData, ERROR_DEVICE_NOT_CONNECTED))
        return FALSE;
    DesktopGuard lock(DesktopMutex());
    const auto file = HidFileOf(HidDeviceObject);
    if (!file)
        return FALSE;
    if (PreparsedData == nullptr) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* data = new _HIDP_PREPARSED_DATA;
    data->collection = file->interface()->collection;
    *PreparsedData = data;
    SetLastErrorValue(ERROR_SUCCESS);
    return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
    // Freeing nothing succeeds, as freeing a null block does.
    if (PreparsedData == nullptr)
        return TRUE;
    if (CollectionOf(PreparsedData) == nullptr)
        return FALSE;
    PreparsedData->magic = 0;
    delete PreparsedData;
    return TRUE;
}
