// Fault injection: each named function fails, as Windows fails it, on the call
// asked for and on no other, and only on the agent's threads.
#include <gtest/gtest.h>

#include <functional>

#include "simdesk/desktop.h"
#include "simdesk/faults.h"
#include "simdesk/win32.h"

namespace {

namespace faults = simdesk::faults;
using faults::Call;

// One call of a function, with arguments it would accept; true when it failed.
struct Wiring {
    Call call;
    std::function<bool()> fails;
    DWORD lastError;  // 0: the function reports none
};

DWORD WINAPI DoNothing(LPVOID) {
    return 0;
}

DWORD WINAPI TryCreateEvent(LPVOID failed) {
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    *static_cast<bool*>(failed) = event == nullptr;
    if (event != nullptr)
        CloseHandle(event);
    return 0;
}

std::vector<Wiring> Wirings() {
    const auto opens = [](DWORD access) {
        return [access] {
            return CreateFileW(L"\\\\?\\nothing", access, 0, nullptr, OPEN_EXISTING, 0, nullptr) ==
                   INVALID_HANDLE_VALUE;
        };
    };
    const HANDLE none = INVALID_HANDLE_VALUE;
    const PHIDP_PREPARSED_DATA noData = nullptr;
    return {
        {Call::CreateFileQuery, opens(0), ERROR_FILE_NOT_FOUND},
        {Call::CreateFileRead, opens(GENERIC_READ), ERROR_FILE_NOT_FOUND},
        {Call::CreateFileWrite, opens(GENERIC_WRITE), ERROR_FILE_NOT_FOUND},
        {Call::HidD_GetPreparsedData,
         [=] {
             PHIDP_PREPARSED_DATA data = nullptr;
             return !HidD_GetPreparsedData(none, &data);
         },
         ERROR_DEVICE_NOT_CONNECTED},
        {Call::HidD_GetAttributes,
         [=] {
             HIDD_ATTRIBUTES attributes{};
             return !HidD_GetAttributes(none, &attributes);
         },
         ERROR_DEVICE_NOT_CONNECTED},
        {Call::HidP_GetCaps,
         [=] {
             HIDP_CAPS caps{};
             return HidP_GetCaps(noData, &caps) == HIDP_STATUS_INVALID_PREPARSED_DATA;
         },
         0},
        {Call::HidP_GetButtonCaps,
         [=] {
             HIDP_BUTTON_CAPS caps{};
             USHORT length = 1;
             return HidP_GetButtonCaps(HidP_Input, &caps, &length, noData) ==
                    HIDP_STATUS_INVALID_PREPARSED_DATA;
         },
         0},
        {Call::HidP_GetValueCaps,
         [=] {
             HIDP_VALUE_CAPS caps{};
             USHORT length = 1;
             return HidP_GetValueCaps(HidP_Input, &caps, &length, noData) ==
                    HIDP_STATUS_INVALID_PREPARSED_DATA;
         },
         0},
        {Call::HidP_GetSpecificButtonCaps,
         [=] {
             HIDP_BUTTON_CAPS caps{};
             USHORT length = 1;
             return HidP_GetSpecificButtonCaps(HidP_Output, 0x08, 0, 0x18, &caps, &length,
                                               noData) == HIDP_STATUS_INVALID_PREPARSED_DATA;
         },
         0},
        {Call::HidP_MaxUsageListLength,
         [=] { return HidP_MaxUsageListLength(HidP_Input, 0x0B, noData) == 0; }, 0},
        {Call::ReadFile,
         [=] {
             char buffer[2];
             return !ReadFile(none, buffer, sizeof buffer, nullptr, nullptr);
         },
         ERROR_DEVICE_NOT_CONNECTED},
        {Call::GetOverlappedResult,
         [] {
             OVERLAPPED done{};  // a completed, successful I/O
             DWORD bytes = 0;
             return !GetOverlappedResult(nullptr, &done, &bytes, FALSE);
         },
         ERROR_DEVICE_NOT_CONNECTED},
        {Call::WriteFile,
         [=] {
             char buffer[2] = {};
             return !WriteFile(none, buffer, sizeof buffer, nullptr, nullptr);
         },
         ERROR_DEVICE_NOT_CONNECTED},
        {Call::CreateThread,
         [] {
             const HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
             if (thread != nullptr)
                 CloseHandle(thread);
             return thread == nullptr;
         },
         ERROR_NOT_ENOUGH_MEMORY},
        {Call::CreateEventW,
         [] {
             bool failed = false;
             TryCreateEvent(&failed);
             return failed;
         },
         ERROR_NO_SYSTEM_RESOURCES},
        {Call::RegisterDeviceNotificationW,
         [] {
             DEV_BROADCAST_DEVICEINTERFACE_W filter{};
             return RegisterDeviceNotificationW(nullptr, &filter, DEVICE_NOTIFY_WINDOW_HANDLE) ==
                    nullptr;
         },
         ERROR_NOT_ENOUGH_MEMORY},
        {Call::WTSRegisterSessionNotification,
         [] { return !WTSRegisterSessionNotification(nullptr, NOTIFY_FOR_THIS_SESSION); },
         RPC_S_INVALID_BINDING},
        {Call::RegisterWindowMessageW, [] { return RegisterWindowMessageW(L"Faults") == 0; },
         ERROR_NOT_ENOUGH_MEMORY},
        {Call::SendMessageTimeoutW,
         [] {
             DWORD_PTR result = 0;
             return SendMessageTimeoutW(HWND_BROADCAST, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10,
                                        &result) == 0;
         },
         ERROR_TIMEOUT},
        {Call::SendMessageW, [] { return SendMessageW(nullptr, WM_NULL, 0, 0) == 0; },
         ERROR_INVALID_WINDOW_HANDLE},
        {Call::PostMessageW, [] { return !PostMessageW(nullptr, WM_NULL, 0, 0); },
         ERROR_NOT_ENOUGH_QUOTA},
        // The sweep binary's own operator new calls the hook.
        {Call::NothrowNew, [] { return faults::Inject(Call::NothrowNew); }, 0},
    };
}

TEST(Faults, EachFunctionFailsOnTheCallAskedForAsWindowsFailsIt) {
    simdesk::DesktopThread thread;
    const std::vector<Wiring> wirings = Wirings();
    ASSERT_EQ(wirings.size(), static_cast<std::size_t>(faults::kCallKinds));
    faults::MarkAgentThread();
    for (const Wiring& wiring : wirings) {
        SCOPED_TRACE(std::string(faults::CallName(wiring.call)));
        EXPECT_EQ(faults::CallNamed(faults::CallName(wiring.call)), wiring.call);
        faults::ResetCounts();
        faults::FailNth(wiring.call, 2);
        SetLastError(ERROR_SUCCESS);
        wiring.fails();  // the first call goes through to the function
        EXPECT_TRUE(wiring.fails());
        if (wiring.lastError != 0) {
            EXPECT_EQ(GetLastError(), wiring.lastError);
        }
        EXPECT_EQ(faults::InjectedCount(wiring.call), 1u);
        for (int i = 0; i < faults::kCallKinds; ++i) {
            const auto other = static_cast<Call>(i);
            if (other != wiring.call) {
                EXPECT_EQ(faults::CallCount(other), 0u) << faults::CallName(other);
            }
        }
        EXPECT_EQ(faults::CallCount(wiring.call), 2u);
    }
    faults::ResetCounts();
    faults::MarkAgentThread(false);
}

TEST(Faults, OnlyTheAgentsThreadsAndThoseTheyStartAreTouched) {
    simdesk::DesktopThread thread;
    faults::ResetCounts();
    faults::FailNth(Call::CreateEventW, 1);
    bool failed = false;
    TryCreateEvent(&failed);
    EXPECT_FALSE(failed);  // not an agent thread: neither counted nor failed
    EXPECT_EQ(faults::CallCount(Call::CreateEventW), 0u);

    faults::MarkAgentThread();
    const HANDLE started = CreateThread(nullptr, 0, TryCreateEvent, &failed, 0, nullptr);
    ASSERT_NE(started, nullptr);
    WaitForSingleObject(started, INFINITE);
    CloseHandle(started);
    EXPECT_TRUE(failed);  // a thread the agent started is the agent's
    EXPECT_EQ(faults::CallCount(Call::CreateEventW), 1u);
    faults::MarkAgentThread(false);
    faults::ResetCounts();
}

}  // namespace
