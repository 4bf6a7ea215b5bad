// Window classes, window life cycle, painting, the quit message, registered ids.
#include <gtest/gtest.h>

#include "test_windows.h"

namespace {

using simtest::CreateRecordingWindow;
using simtest::Recorder;

TEST(WindowClasses, RegisterClassExWAcceptsOnlyTheRealStructureSize) {
    struct SizeCase {
        const char* name;
        UINT cbSize;
    };
    const SizeCase wrong[] = {
        {"zero", 0},
        {"the older WNDCLASSW size", sizeof(WNDCLASSEXW) - sizeof(HICON)},
        {"too large", sizeof(WNDCLASSEXW) + 4},
    };
    for (const auto& c : wrong) {
        SCOPED_TRACE(c.name);
        WNDCLASSEXW info{};
        info.cbSize = c.cbSize;
        info.lpfnWndProc = DefWindowProcW;
        info.lpszClassName = L"SizeProbe";
        SetLastError(0);
        EXPECT_EQ(RegisterClassExW(&info), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    info.lpfnWndProc = DefWindowProcW;
    info.lpszClassName = L"SizeProbe";
    ATOM atom = RegisterClassExW(&info);
    EXPECT_GE(atom, 0xC000);
    info.lpszClassName = L"SIZEPROBE";
    EXPECT_EQ(RegisterClassExW(&info), 0) << "class names are case-insensitive";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    EXPECT_EQ(
        CreateWindowExW(0, L"NoSuchClass", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    HWND byAtom = CreateWindowExW(0, MAKEINTRESOURCEW(atom), L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr);
    EXPECT_NE(byAtom, nullptr) << "a class atom names the class too";
    DestroyWindow(byAtom);
}

TEST(WindowLife, CreationSendsNcCreateThenCreateAndStaysHidden) {
    HWND window = CreateRecordingWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Recorder::Get().MessagesOf(window), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    auto received = Recorder::Get().Of(window);
    auto* create = reinterpret_cast<CREATESTRUCTW*>(received[1].lParam);
    EXPECT_EQ(create, reinterpret_cast<CREATESTRUCTW*>(received[0].lParam));
    EXPECT_FALSE(simdesk::IsWindowShown(window));
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());

    EXPECT_TRUE(UpdateWindow(window));
    EXPECT_EQ(Recorder::Get().Count(window, WM_PAINT), 0) << "never shown: no update region";
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "and no queued WM_PAINT";

    ShowWindow(window, SW_SHOW);
    EXPECT_TRUE(UpdateWindow(window));
    EXPECT_TRUE(UpdateWindow(window));
    EXPECT_EQ(Recorder::Get().Count(window, WM_PAINT), 1) << "painting validates the window";
    DestroyWindow(window);
}

TEST(WindowLife, WmCreateFailureDestroysTheWindow) {
    Recorder::Get().SetReaction([](HWND, UINT message, WPARAM, LPARAM, bool& handled) {
        handled = message == WM_CREATE;
        return LRESULT{-1};
    });
    EXPECT_EQ(CreateRecordingWindow(), nullptr);
    Recorder::Get().SetReaction(nullptr);
}

TEST(WindowLife, DefWindowProcClosesByDestroyingAndDestroySendsDestroyThenNcDestroy) {
    HWND window = CreateRecordingWindow();
    Recorder::Get().Clear();
    EXPECT_EQ(SendMessageW(window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(Recorder::Get().MessagesOf(window),
              (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(window));
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(SendMessageW(window, WM_USER, 0, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(WindowLife, OnlyTheOwningThreadMayDestroyAWindow) {
    simtest::Peer peer(simtest::Peer::Mode::kPumping);
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(peer.window()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsWindow(peer.window()));
}

TEST(WindowLife, DestroyingAParentDestroysItsChildrenAndOwnedWindows) {
    HWND top = CreateRecordingWindow();
    HWND child = CreateRecordingWindow(top, WS_CHILD);
    HWND owned = CreateRecordingWindow(top, WS_POPUP);
    ASSERT_NE(child, nullptr);
    ASSERT_NE(owned, nullptr);
    EXPECT_TRUE(DestroyWindow(top));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_EQ(Recorder::Get().Count(child, WM_DESTROY), 1);
    EXPECT_EQ(Recorder::Get().Count(owned, WM_NCDESTROY), 1);
}

TEST(MessageLoop, QuitEndsGetMessageWithItsCodeAfterPostedMessages) {
    HWND window = CreateRecordingWindow();
    PostQuitMessage(3);
    EXPECT_TRUE(PostMessageW(window, WM_USER, 1, 2));
    MSG msg;
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER)) << "posted messages come before the quit";
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_EQ(DispatchMessageW(&msg), 0);
    EXPECT_EQ(Recorder::Get().Count(window, WM_USER), 1);
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);

    DestroyWindow(window);
    EXPECT_EQ(GetMessageW(&msg, window, 0, 0), -1) << "a filter window that is gone";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(RegisteredMessages, SameNameSameIdCaseInsensitively) {
    UINT discover = RegisterWindowMessageW(L"SkypeControlAPIDiscover");
    UINT attach = RegisterWindowMessageW(L"SkypeControlAPIAttach");
    EXPECT_GE(discover, 0xC000u);
    EXPECT_LE(discover, 0xFFFFu);
    EXPECT_NE(discover, attach);
    EXPECT_EQ(RegisterWindowMessageW(L"skypecontrolapidiscover"), discover);

    UINT fromOtherThread = 0;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID out) -> DWORD {
            *static_cast<UINT*>(out) = RegisterWindowMessageW(L"SkypeControlAPIAttach");
            return 0;
        },
        &fromOtherThread, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(fromOtherThread, attach) << "ids are desktop-wide";

    EXPECT_EQ(RegisterWindowMessageW(L""), 0u);
    EXPECT_EQ(RegisterWindowMessageW(nullptr), 0u);
}

}  // namespace
