#include "hid/device_notifications.h"

#include <cstddef>
#include <cstring>
#include <memory>

#include "kernel/kernel_objects.h"
#include "simdesk/devices.h"
#include "simdesk/faults.h"
#include "simdesk/win32_dbt.h"
#include "simdesk/win32_user.h"

namespace simdesk::hid {
namespace {

struct Registration {
    ULONG_PTR id;
    HWND window;
};

struct Registrations {
    std::vector<Registration> entries;
    ULONG_PTR nextId = 1;
};

// Guarded by the desktop lock.
Registrations& TheRegistrations() {
    static auto* registrations = new Registrations;
    return *registrations;
}

// Windows gives up on a top-level window that does not answer the broadcast.
constexpr UINT kBroadcastTimeoutMs = 5000;

// A DEV_BROADCAST_DEVICEINTERFACE_W sized to its path, as Windows builds it.
class InterfaceBroadcast {
  public:
    explicit InterfaceBroadcast(const std::wstring& path)
        : size_(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                (path.size() + 1) * sizeof(WCHAR)),
          storage_(new std::max_align_t[(size_ + sizeof(std::max_align_t) - 1) /
                                        sizeof(std::max_align_t)]) {
        auto* record = Record();
        std::memset(record, 0, size_);
        record->dbcc_size = static_cast<DWORD>(size_);
        record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        record->dbcc_classguid = kHidInterfaceGuid;
        std::memcpy(record->dbcc_name, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    }
    DEV_BROADCAST_DEVICEINTERFACE_W* Record() {
        return reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(storage_.get());
    }

  private:
    std::size_t size_;
    std::unique_ptr<std::max_align_t[]> storage_;
};

std::vector<HWND> RegisteredWindows() {
    DesktopGuard lock(DesktopMutex());
    std::vector<HWND> windows;
    for (const Registration& entry : TheRegistrations().entries)
        windows.push_back(entry.window);
    return windows;
}

}  // namespace

void BroadcastInterfaceChange(DWORD event, const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
        InterfaceBroadcast broadcast(path);
        for (HWND window : RegisteredWindows()) {
            if (!IsWindow(window))
                continue;
            SendMessageW(window, WM_DEVICECHANGE, event,
                         reinterpret_cast<LPARAM>(broadcast.Record()));
        }
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG,
                        kBroadcastTimeoutMs, &ignored);
}

}  // namespace simdesk::hid

using namespace simdesk;
using namespace simdesk::hid;

HDEVNOTIFY WINAPI RegisterDeviceNotificationW(HANDLE hRecipient, LPVOID NotificationFilter,
                                              DWORD Flags) {
    if (faults::Inject(faults::Call::RegisterDeviceNotificationW, ERROR_NOT_ENOUGH_MEMORY))
        return nullptr;
    const DWORD recipientType = Flags & DEVICE_NOTIFY_SERVICE_HANDLE;
    if (recipientType != DEVICE_NOTIFY_WINDOW_HANDLE) {
        // Services are not simulated.
        SetLastErrorValue(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto* window = static_cast<HWND>(hRecipient);
    if (!IsWindow(window)) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(NotificationFilter);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) {
        SetLastErrorValue(ERROR_INVALID_DATA);
        return nullptr;
    }
    const auto* filter = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(NotificationFilter);
    DesktopGuard lock(DesktopMutex());
    Registrations& registrations = TheRegistrations();
    const ULONG_PTR id = registrations.nextId++;
    // Only HID interfaces exist here: a filter for another class never fires,
    // so it is accepted and recorded as no window.
    const bool wantsHid = (Flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0 ||
                          filter->dbcc_classguid == kHidInterfaceGuid;
    registrations.entries.push_back({id, wantsHid ? window : nullptr});
    // Success leaves the last error as it was.
    return reinterpret_cast<HDEVNOTIFY>(id);
}

BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY Handle) {
    DesktopGuard lock(DesktopMutex());
    auto& entries = TheRegistrations().entries;
    const auto id = reinterpret_cast<ULONG_PTR>(Handle);
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->id == id) {
            entries.erase(it);
            return TRUE;
        }
    }
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
}
