#include "app/run_application.h"

#include "app/app_globals.h"
#include "app/application_watch.h"
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

void DispatchWithAccelerators(MSG& message, HACCEL accelerators) {
    if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Everything queued is handled, then one wait covers the queue and the call
// application's process: no time-out, so nothing wakes the thread while idle.
int RunMessageLoop(HACCEL accelerators) {
    for (;;) {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return static_cast<int>(message.wParam);
            DispatchWithAccelerators(message, accelerators);
        }
        const HANDLE process = ApplicationProcess();
        const DWORD handleCount = process != nullptr ? 1 : 0;
        const DWORD woke = MsgWaitForMultipleObjectsEx(handleCount, &process, INFINITE, QS_ALLINPUT,
                                                       MWMO_INPUTAVAILABLE);
        if (handleCount == 1 && (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED)) {
            OnApplicationProcessWaitEnded(/*ended=*/woke == WAIT_OBJECT_0);
        } else if (woke == WAIT_FAILED) {
            // Nothing left to wait on but the queue: block on it rather than spin.
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == 0)
                return static_cast<int>(message.wParam);
            if (got > 0)
                DispatchWithAccelerators(message, accelerators);
        }
    }
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

    return RunMessageLoop(LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_AGENT)));
}
