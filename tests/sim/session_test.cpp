// Session-change notifications as the agent subscribes to and leaves them.
#include <gtest/gtest.h>

#include "test_windows.h"

namespace {

using simtest::CreateRecordingWindow;
using simtest::Recorder;

TEST(SessionNotifications, RegisteredWindowsGetEachChangePosted) {
    HWND registered = CreateRecordingWindow();
    HWND other = CreateRecordingWindow();
    ASSERT_TRUE(WTSRegisterSessionNotification(registered, NOTIFY_FOR_THIS_SESSION));
    EXPECT_TRUE(simdesk::IsRegisteredForSessionNotifications(registered));
    EXPECT_FALSE(simdesk::IsRegisteredForSessionNotifications(other));

    simdesk::LockSession();
    simdesk::UnlockSession();
    simdesk::DisconnectConsole();
    simdesk::ConnectConsole();
    simdesk::SendSessionChange(WTS_SESSION_LOGON);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);

    const WPARAM expected[] = {WTS_SESSION_LOCK, WTS_SESSION_UNLOCK, WTS_CONSOLE_DISCONNECT,
                               WTS_CONSOLE_CONNECT, WTS_SESSION_LOGON};
    auto received = Recorder::Get().Of(registered);
    std::vector<WPARAM> codes;
    for (const auto& r : received) {
        if (r.message != WM_WTSSESSION_CHANGE)
            continue;
        codes.push_back(r.wParam);
        EXPECT_EQ(r.lParam, static_cast<LPARAM>(simdesk::kSessionId));
    }
    EXPECT_EQ(codes, std::vector<WPARAM>(std::begin(expected), std::end(expected)));
    EXPECT_EQ(Recorder::Get().Count(other, WM_WTSSESSION_CHANGE), 0);
    DestroyWindow(registered);
    DestroyWindow(other);
}

TEST(SessionNotifications, UnregisteringInWmCloseStopsThemDestroyingAloneDoesNot) {
    Recorder::Get().SetReaction([](HWND hwnd, UINT message, WPARAM, LPARAM, bool& handled) {
        if (message == WM_CLOSE)
            WTSUnRegisterSessionNotification(hwnd);
        handled = false;  // then DefWindowProcW destroys it
        return LRESULT{0};
    });
    HWND closed = CreateRecordingWindow();
    HWND destroyed = CreateRecordingWindow();
    for (HWND window : {closed, destroyed}) {
        ASSERT_TRUE(WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION));
    }
    SendMessageW(closed, WM_CLOSE, 0, 0);
    DestroyWindow(destroyed);
    EXPECT_FALSE(IsWindow(closed));
    EXPECT_FALSE(simdesk::IsRegisteredForSessionNotifications(closed));
    EXPECT_TRUE(simdesk::IsRegisteredForSessionNotifications(destroyed))
        << "a registration outlives a window that never unregistered";
    simdesk::LockSession();  // must skip the dead window quietly
    Recorder::Get().SetReaction(nullptr);
}

TEST(SessionNotifications, BadArgumentsFail) {
    HWND window = CreateRecordingWindow();
    EXPECT_FALSE(WTSRegisterSessionNotification(window, /*dwFlags=*/5));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DestroyWindow(window);
    EXPECT_FALSE(WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

}  // namespace
