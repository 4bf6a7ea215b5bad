// CreateFileW dispatch and overlapped I/O against a fake device namespace.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel/kernel_objects.h"
#include "simdesk/desktop.h"
#include "simdesk/win32.h"

namespace {

// A device that queues one read until the test completes it.
struct FakeDevice : simdesk::FileObject {
    OVERLAPPED* pending = nullptr;
    BYTE* pendingBuffer = nullptr;
    std::vector<BYTE> written;

    BOOL Read(void* buffer, DWORD, DWORD*, OVERLAPPED* overlapped, DWORD* error) override {
        pending = overlapped;
        pendingBuffer = static_cast<BYTE*>(buffer);
        simdesk::BeginOverlapped(overlapped);
        *error = ERROR_IO_PENDING;
        return FALSE;
    }
    BOOL Write(const void* buffer, DWORD length, DWORD* bytesWritten, OVERLAPPED*,
               DWORD*) override {
        const auto* bytes = static_cast<const BYTE*>(buffer);
        written.assign(bytes, bytes + length);
        *bytesWritten = length;
        return TRUE;
    }
    bool Cancel(const OVERLAPPED* overlapped) override {
        if (pending == nullptr || (overlapped != nullptr && overlapped != pending))
            return false;
        Finish(simdesk::kStatusCancelled, {});
        return true;
    }
    // Lock held.
    void Finish(ULONG_PTR status, const std::vector<BYTE>& data) {
        if (!data.empty())
            std::memcpy(pendingBuffer, data.data(), data.size());
        simdesk::CompleteOverlapped(pending, status, static_cast<DWORD>(data.size()));
        pending = nullptr;
    }
};

std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();

void RegisterFakeDevices() {
    simdesk::RegisterFileNamespace([](std::wstring_view path, DWORD, DWORD, DWORD,
                                      DWORD* error) -> std::shared_ptr<simdesk::FileObject> {
        if (path == L"\\\\?\\fake#device")
            return device;
        if (path == L"\\\\?\\fake#locked")
            *error = ERROR_ACCESS_DENIED;
        return nullptr;
    });
}

void CompleteFromDevice(ULONG_PTR status, const std::vector<BYTE>& data) {
    simdesk::DesktopGuard lock(simdesk::DesktopMutex());
    device->Finish(status, data);
}

TEST(FileIo, CreateFileWDispatchesToTheNamespaceThatClaimsThePath) {
    RegisterFakeDevices();
    SetLastError(0);
    EXPECT_EQ(
        CreateFileW(L"\\\\?\\nobody#claims", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(
        CreateFileW(L"\\\\?\\fake#locked", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    HANDLE file = CreateFileW(L"\\\\?\\fake#device", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const BYTE report[] = {0x02, 0x18};
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, report, sizeof report, &written, nullptr));
    EXPECT_EQ(written, 2u);
    EXPECT_EQ(device->written, std::vector<BYTE>(report, report + 2));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(WriteFile(file, report, sizeof report, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

struct CompletionCase {
    const char* name;
    ULONG_PTR status;
    std::vector<BYTE> data;
    BOOL expectedResult;
    DWORD expectedError;
};

TEST(FileIo, OverlappedReadPendsAndGetOverlappedResultMapsTheStatus) {
    RegisterFakeDevices();
    const std::vector<CompletionCase> cases = {
        {"completed", simdesk::kStatusSuccess, {0x01, 0x04}, TRUE, 0},
        {"unplugged", simdesk::kStatusDeviceNotConnected, {}, FALSE, ERROR_DEVICE_NOT_CONNECTED},
        {"cancelled", simdesk::kStatusCancelled, {}, FALSE, ERROR_OPERATION_ABORTED},
    };
    HANDLE file = CreateFileW(L"\\\\?\\fake#device", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventW(nullptr, TRUE, /*bInitialState=*/TRUE, nullptr);
        BYTE buffer[2] = {};
        EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, nullptr, &overlapped));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_TIMEOUT) << "reset on start";
        EXPECT_FALSE(HasOverlappedIoCompleted(&overlapped));

        DWORD bytes = 99;
        EXPECT_FALSE(GetOverlappedResult(file, &overlapped, &bytes, /*bWait=*/FALSE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

        CompleteFromDevice(c.status, c.data);
        EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0);
        SetLastError(0);
        EXPECT_EQ(GetOverlappedResult(file, &overlapped, &bytes, /*bWait=*/TRUE), c.expectedResult);
        EXPECT_EQ(bytes, c.data.size());
        if (!c.expectedResult) {
            EXPECT_EQ(GetLastError(), c.expectedError);
        }
        CloseHandle(overlapped.hEvent);
    }
    CloseHandle(file);
}

TEST(FileIo, CancelIoExCancelsThePendingReadOnly) {
    RegisterFakeDevices();
    HANDLE file = CreateFileW(L"\\\\?\\fake#device", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    OVERLAPPED overlapped{};
    BYTE buffer[2];
    EXPECT_FALSE(CancelIoEx(file, &overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND)) << "nothing pending yet";
    EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, nullptr, &overlapped));
    EXPECT_TRUE(CancelIoEx(file, &overlapped));
    DWORD bytes = 0;
    EXPECT_FALSE(GetOverlappedResult(file, &overlapped, &bytes, /*bWait=*/TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    CloseHandle(file);
}

DWORD WINAPI CompleteWhenAsked(LPVOID) {
    simdesk::WaitUntilIdle();  // the reader below is parked in its synchronous read
    CompleteFromDevice(simdesk::kStatusSuccess, {0x05});
    return 0;
}

TEST(FileIo, ReadWithoutOverlappedWaitsForThePendingCompletion) {
    RegisterFakeDevices();
    simdesk::DesktopThread self;
    HANDLE file =
        CreateFileW(L"\\\\?\\fake#device", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE helper = CreateThread(nullptr, 0, CompleteWhenAsked, nullptr, 0, nullptr);
    BYTE buffer[1] = {};
    DWORD bytes = 0;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &bytes, nullptr));
    EXPECT_EQ(bytes, 1u);
    EXPECT_EQ(buffer[0], 0x05);
    WaitForSingleObject(helper, INFINITE);
    CloseHandle(helper);
    CloseHandle(file);
}

}  // namespace
