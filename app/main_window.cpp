#include "app/main_window.h"

#include "app/app_globals.h"
#include "app/application_watch.h"
#include "bridge/bridge_state.h"
#include "bridge/button_reader.h"
#include "bridge/carry_out.h"
#include "bridge/host_channel.h"
#include "bridge/notification_handler.h"
#include "hid/hot_plug.h"
#include "resources/resource.h"

void OnSessionChange(WPARAM code) {
    switch (code) {
        case WTS_SESSION_LOCK:
            SetSessionLocked(/*locked=*/true);
            break;
        case WTS_SESSION_UNLOCK:
            SetSessionLocked(/*locked=*/false);
            break;
        case WTS_CONSOLE_CONNECT:
            SetConsoleDetached(/*detached=*/false);
            break;
        case WTS_CONSOLE_DISCONNECT:
            SetConsoleDetached(/*detached=*/true);
            break;
        default:
            break;
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            // Closed with a call lit, for an upgrade or at log-off: left as it
            // is, the phone would ring on for good.
            CarryOut(PutIndicatorsOut(), window);
            PostQuitMessage(0);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_QUERYENDSESSION:
            // Never holds up the end of the session.
            return TRUE;
        case WM_ENDSESSION:
            // The process may be ended any time after this returns, with no
            // WM_DESTROY: the phone must not ring on after log-off.
            if (wParam != FALSE)
                OnSessionEnding();
            return 0;
        case WM_CLOSE:
            WTSUnRegisterSessionNotification(window);
            DestroyWindow(window);
            return 0;
        case WM_COPYDATA:
            return OnCopyData(window, wParam, lParam);
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDM_ABOUT:
                    DialogBoxParamW(instanceHandle, MAKEINTRESOURCEW(IDD_ABOUTBOX), window,
                                    AboutDialogProc, 0);
                    return 0;
                case IDM_EXIT:
                    DestroyWindow(window);
                    return 0;
                default:
                    return DefWindowProcW(window, message, wParam, lParam);
            }
        case WM_DEVICECHANGE:
            OnDeviceChange(wParam, lParam);
            return 0;
        case WM_WTSSESSION_CHANGE:
            OnSessionChange(wParam);
            return 0;
        case kReaderEndedMessage:
            OnReaderEnded();
            return 0;
        default:
            break;
    }
    if (attachMessage != 0 && message == attachMessage) {
        OnAttachMessage(window, wParam, lParam);
        WatchApplication(ApiWindow());
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}
