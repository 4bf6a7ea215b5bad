// Device-interface and session notification registration.
#include <cstddef>

#include "peers.h"

namespace probe {
namespace {

HDEVNOTIFY Register(HWND window, DWORD size, DWORD flags = DEVICE_NOTIFY_WINDOW_HANDLE) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = size;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    return RegisterDeviceNotificationW(window, &filter, flags);
}

std::string Registered(HDEVNOTIFY handle) {
    if (handle == nullptr)
        return "null " + Err();
    UnregisterDeviceNotification(handle);
    return "handle";
}

}  // namespace

void ProbeNotifications() {
    HWND window = CreateProbeWindow();
    SetLastError(kPlantedError);
    HDEVNOTIFY handle = Register(window, sizeof(DEV_BROADCAST_DEVICEINTERFACE_W));
    Line("notify.register",
         std::string(handle != nullptr ? "handle" : "null") + ", last error " + PlantedError());
    SetLastError(kPlantedError);
    const std::string first = Outcome(UnregisterDeviceNotification(handle));
    Line("notify.unregister", first + ", last error " + PlantedError());
    SetLastError(kPlantedError);
    Line("notify.register.header-size", Registered(Register(window, sizeof(DEV_BROADCAST_HDR))));
    SetLastError(kPlantedError);
    Line("notify.register.size-0", Registered(Register(window, 0)));
    SetLastError(kPlantedError);
    Line("notify.register.all-classes",
         Registered(Register(window, sizeof(DEV_BROADCAST_DEVICEINTERFACE_W),
                             DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES)));
    HWND gone = CreateProbeWindow();
    DestroyWindow(gone);
    SetLastError(kPlantedError);
    Line("notify.register.dead-window",
         Registered(Register(gone, sizeof(DEV_BROADCAST_DEVICEINTERFACE_W))));

    SetLastError(kPlantedError);
    const std::string session =
        Outcome(WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION));
    Line("session.register", session + ", last error " + PlantedError());
    Line("session.unregister", Outcome(WTSUnRegisterSessionNotification(window)));
    SetLastError(kPlantedError);
    Line("session.register.dead-window",
         Outcome(WTSRegisterSessionNotification(gone, NOTIFY_FOR_THIS_SESSION)));
    DestroyWindow(window);
}

}  // namespace probe
