#include "app/run_application.h"

#include "app/app_globals.h"
#include "app/main_window.h"
#include "bridge/host_channel.h"
#include "hid/interface_discovery.h"
#include "resources/resource.h"

HINSTANCE instanceHandle = nullptr;
WCHAR windowTitle[kTitleLength] = {};
WCHAR windowClassName[kTitleLength] = {};
HWND mainWindow = nullptr;

namespace {

constexpr const WCHAR* kSingleInstanceMutexName = L"GlobalMutex";

void SubscribeToHidInterfaces() {
    HidD_GetHidGuid(&interfaceTables.hidClassGuid);
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = interfaceTables.hidClassGuid;
    // Kept for the life of the process; never unregistered.
    RegisterDeviceNotificationW(mainWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

}  // namespace

void RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(WNDCLASSEXW);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_AGENT));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDC_AGENT);
    windowClass.lpszClassName = windowClassName;
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
    RegisterClassExW(&windowClass);
}

int RunApplication(HINSTANCE instance) {
    LoadStringW(instance, IDS_APP_TITLE, windowTitle, kTitleLength);
    LoadStringW(instance, IDC_AGENT, windowClassName, kTitleLength);
    RegisterMainWindowClass(instance);
    instanceHandle = instance;

    mainWindow =
        CreateWindowExW(0, windowClassName, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                        CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (mainWindow == nullptr)
        return 0;
    // Never shown: no window, taskbar entry or tray icon.
    UpdateWindow(mainWindow);

    // One copy per desktop session; the handle stays open until the process ends.
    SetLastError(ERROR_SUCCESS);
    const HANDLE instanceMutex = CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName);
    if (instanceMutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;

    WTSRegisterSessionNotification(mainWindow, NOTIFY_FOR_THIS_SESSION);
    DiscoverHostApi();
    SubscribeToHidInterfaces();

    USHORT interfaceCount = 0;
    EnumerateHidInterfaces(interfaceTables.capsTable, interfaceCount,
                           interfaceTables.attributesTable);
    FindTargetDevice(interfaceCount);

    const HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_AGENT));
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
