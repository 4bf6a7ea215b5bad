// Device files on HID interfaces: opens, overlapped reads, the input queue,
// output reports, and what unplugging does to all of them.
#include <gtest/gtest.h>

#include "hid_test_support.h"
#include "kernel/kernel_objects.h"
#include "simdesk/phone.h"

namespace {

using hidtest::Handle;
using hidtest::Open;
using simdesk::SimulatedPhone;
using Report = std::vector<std::uint8_t>;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

class DeviceIo : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(phone_.Plug()); }
    void TearDown() override { simdesk::UnplugAllDevicesQuietly(); }

    // An overlapped read of one input report, with its own event.
    struct Read {
        Read() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
            overlapped.hEvent = event.get();
        }
        Handle event;
        OVERLAPPED overlapped{};
        Report buffer = Report(2, 0xEE);
    };
    // Starts `read` and returns ReadFile's result and last error.
    static std::pair<BOOL, DWORD> Start(HANDLE file, Read& read) {
        SetLastError(0);
        const BOOL ok = ReadFile(file, read.buffer.data(), static_cast<DWORD>(read.buffer.size()),
                                 nullptr, &read.overlapped);
        return {ok, GetLastError()};
    }
    static bool Signalled(const Read& read) {
        return WaitForSingleObject(read.event.get(), 0) == WAIT_OBJECT_0;
    }
    static std::pair<BOOL, DWORD> Result(HANDLE file, Read& read, DWORD* bytes) {
        SetLastError(0);
        const BOOL ok = GetOverlappedResult(file, &read.overlapped, bytes, FALSE);
        return {ok, GetLastError()};
    }

    simdesk::DesktopThread thread_;
    SimulatedPhone phone_;
    const std::wstring path_ = SimulatedPhone::TelephonyPath();
};

TEST_F(DeviceIo, OpensByEitherSpellingAndFailsLikeWindows) {
    struct Row {
        const char* name;
        std::wstring path;
        DWORD access;
        bool ok;
        DWORD error;
    };
    const Row rows[] = {
        {"query only", path_, 0, true, 0},
        {"read", path_, GENERIC_READ, true, 0},
        {"write", path_, GENERIC_WRITE, true, 0},
        {"hardware-ID spelling", SimulatedPhone::TelephonyNotificationPath(), GENERIC_READ, true,
         0},
        {"unknown path",
         L"\\\\?\\hid#vid_f1ce&pid_0b5d&mi_03&col09#7&1a2b3c4d&0&0008#"
         L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
         GENERIC_READ, false, ERROR_FILE_NOT_FOUND},
    };
    for (const Row& row : rows) {
        Handle file(Open(row.path, row.access));
        EXPECT_EQ(file.valid(), row.ok) << row.name;
        if (!row.ok) {
            EXPECT_EQ(GetLastError(), row.error) << row.name;
        }
    }

    const auto locked = simdesk::PlugDevice(simdesk::LockedKeyboardModel());
    Handle lockedFile(Open(simdesk::DeviceInterfaces(locked).at(0).path, 0));
    EXPECT_FALSE(lockedFile.valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(DeviceIo, ExclusiveOpenExcludesOtherReadersButNotQueries) {
    Handle exclusive(Open(path_, GENERIC_READ, 0, /*share=*/0));
    ASSERT_TRUE(exclusive.valid());
    Handle second(Open(path_, GENERIC_READ, 0, kShareAll));
    EXPECT_FALSE(second.valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    Handle query(Open(path_, 0, 0, kShareAll));
    EXPECT_TRUE(query.valid());
    exclusive.Reset();
    // A query-only handle restricts nobody, whatever its sharing.
    Handle unshared(Open(path_, 0, 0, /*share=*/0));
    ASSERT_TRUE(unshared.valid());
    Handle reader(Open(path_, GENERIC_READ, 0, kShareAll));
    EXPECT_TRUE(reader.valid());
}

TEST_F(DeviceIo, QueryHandleGivesAttributesAndParsedDataButNoReports) {
    Handle file(Open(path_, 0));
    HIDD_ATTRIBUTES attributes{};  // Size left 0: Windows sets it itself
    ASSERT_TRUE(HidD_GetAttributes(file.get(), &attributes));
    EXPECT_EQ(attributes.Size, sizeof(HIDD_ATTRIBUTES));
    EXPECT_EQ(attributes.VendorID, 0xF1CE);
    EXPECT_EQ(attributes.ProductID, 0x0B5D);
    EXPECT_EQ(attributes.VersionNumber, 0x0210);
    PHIDP_PREPARSED_DATA data = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(file.get(), &data));
    HIDP_CAPS caps{};
    EXPECT_EQ(HidP_GetCaps(data, &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.UsagePage, 0x0B);
    EXPECT_TRUE(HidD_FreePreparsedData(data));

    Read read;
    EXPECT_EQ(Start(file.get(), read),
              std::make_pair(FALSE, static_cast<DWORD>(ERROR_ACCESS_DENIED)));
    Report report = {2, 0};
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(file.get(), report.data(), 2, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(DeviceIo, HidCallsFailOnOtherHandles) {
    Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PHIDP_PREPARSED_DATA data = nullptr;
    HIDD_ATTRIBUTES attributes{};
    for (HANDLE other : {event.get(), INVALID_HANDLE_VALUE}) {
        SetLastError(0);
        EXPECT_FALSE(HidD_GetPreparsedData(other, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(HidD_GetAttributes(other, &attributes));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    EXPECT_TRUE(HidD_FreePreparsedData(nullptr)) << "freeing nothing succeeds";
}

TEST_F(DeviceIo, OverlappedReadPendsUntilAReportArrives) {
    Handle file(Open(path_, GENERIC_READ, FILE_FLAG_OVERLAPPED));
    Read read;
    EXPECT_EQ(Start(file.get(), read), std::make_pair(FALSE, static_cast<DWORD>(ERROR_IO_PENDING)));
    EXPECT_FALSE(Signalled(read));
    DWORD bytes = 7;
    EXPECT_EQ(Result(file.get(), read, &bytes),
              std::make_pair(FALSE, static_cast<DWORD>(ERROR_IO_INCOMPLETE)));

    ASSERT_TRUE(phone_.LiftHandset());
    EXPECT_TRUE(Signalled(read));
    EXPECT_EQ(Result(file.get(), read, &bytes).first, TRUE);
    EXPECT_EQ(bytes, 2u);
    EXPECT_EQ(read.buffer, (Report{0x01, 0x02}));
}

TEST_F(DeviceIo, ReportsWithNoReadPendingAreQueuedPerHandle) {
    Handle first(Open(path_, GENERIC_READ, FILE_FLAG_OVERLAPPED));
    Handle second(Open(path_, GENERIC_READ, FILE_FLAG_OVERLAPPED));
    ASSERT_TRUE(phone_.LiftHandset());
    ASSERT_TRUE(phone_.PressButton(7));
    for (HANDLE file : {first.get(), second.get()}) {
        Read read;
        EXPECT_EQ(Start(file, read).first, TRUE) << "the oldest report is there at once";
        EXPECT_TRUE(Signalled(read));
        EXPECT_EQ(read.buffer, (Report{0x01, 0x02}));
        Read next;
        EXPECT_EQ(Start(file, next).first, TRUE);
        EXPECT_EQ(next.buffer, (Report{0x01, 0x06}));
        Read empty;
        EXPECT_EQ(Start(file, empty).second, static_cast<DWORD>(ERROR_IO_PENDING));
        CancelIoEx(file, &empty.overlapped);
    }
}

TEST_F(DeviceIo, QueueKeepsTheNewest32Reports) {
    Handle file(Open(path_, GENERIC_READ, FILE_FLAG_OVERLAPPED));
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(simdesk::SendInputReport(phone_.Id(), SimulatedPhone::kTelephonyInterface,
                                             {0x01, static_cast<std::uint8_t>(i)}));
    for (int expected = 8; expected < 40; ++expected) {
        Read read;
        ASSERT_EQ(Start(file.get(), read).first, TRUE) << "report " << expected;
        EXPECT_EQ(read.buffer[1], expected);
    }
    Read none;
    EXPECT_EQ(Start(file.get(), none).second, static_cast<DWORD>(ERROR_IO_PENDING));
    CancelIoEx(file.get(), &none.overlapped);
}

TEST_F(DeviceIo, ReadBufferMustHoldAWholeReport) {
    Handle file(Open(path_, GENERIC_READ, FILE_FLAG_OVERLAPPED));
    Read read;
    read.buffer.resize(1);
    EXPECT_EQ(Start(file.get(), read),
              std::make_pair(FALSE, static_cast<DWORD>(ERROR_INVALID_USER_BUFFER)));
}

TEST_F(DeviceIo, CancelEndsThePendingRead) {
    Handle file(Open(path_, GENERIC_READ, FILE_FLAG_OVERLAPPED));
    Read read;
    ASSERT_EQ(Start(file.get(), read).second, static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_TRUE(CancelIoEx(file.get(), &read.overlapped));
    EXPECT_TRUE(Signalled(read));
    DWORD bytes = 0;
    EXPECT_EQ(Result(file.get(), read, &bytes),
              std::make_pair(FALSE, static_cast<DWORD>(ERROR_OPERATION_ABORTED)));
    EXPECT_FALSE(CancelIoEx(file.get(), &read.overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
    // The report that comes next is queued, not lost.
    ASSERT_TRUE(phone_.PressMute());
    Read next;
    EXPECT_EQ(Start(file.get(), next).first, TRUE);
    EXPECT_EQ(next.buffer, (Report{0x01, 0x01}));
}

TEST_F(DeviceIo, UnplugFailsPendingReadsAndLaterIo) {
    Handle reader(Open(path_, GENERIC_READ, FILE_FLAG_OVERLAPPED));
    Handle writer(Open(path_, GENERIC_WRITE));
    Read read;
    ASSERT_EQ(Start(reader.get(), read).second, static_cast<DWORD>(ERROR_IO_PENDING));
    ASSERT_TRUE(phone_.Unplug());

    EXPECT_TRUE(Signalled(read));
    DWORD bytes = 0;
    EXPECT_EQ(Result(reader.get(), read, &bytes),
              std::make_pair(FALSE, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED)));
    Read later;
    EXPECT_EQ(Start(reader.get(), later),
              std::make_pair(FALSE, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED)));
    Report report = {2, 0};
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(writer.get(), report.data(), 2, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    PHIDP_PREPARSED_DATA data = nullptr;
    EXPECT_FALSE(HidD_GetPreparsedData(reader.get(), &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));

    Handle reopened(Open(path_, 0));
    EXPECT_FALSE(reopened.valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(CloseHandle(reader.get())) << "a handle of a gone device still closes";
    reader.Reset();
}

TEST_F(DeviceIo, ClosingTheHandleEndsItsRead) {
    HANDLE file = Open(path_, GENERIC_READ, FILE_FLAG_OVERLAPPED);
    Read read;
    ASSERT_EQ(Start(file, read).second, static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(simdesk::OpenHandleCount(phone_.Id(), SimulatedPhone::kTelephonyInterface), 1u);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_TRUE(Signalled(read));
    EXPECT_EQ(read.overlapped.Internal, simdesk::kStatusDeletePending);
    DWORD bytes = 7;
    EXPECT_EQ(Result(file, read, &bytes),
              std::make_pair(FALSE, static_cast<DWORD>(ERROR_ACCESS_DENIED)))
        << "the record is read even though its handle is gone";
    EXPECT_EQ(simdesk::OpenHandleCount(phone_.Id(), SimulatedPhone::kTelephonyInterface), 0u);
    EXPECT_EQ(simdesk::OpenCountSincePlug(phone_.Id(), SimulatedPhone::kTelephonyInterface), 1u)
        << "a closed handle still counts as an open";
}

TEST_F(DeviceIo, WritesAreCheckedThenRecorded) {
    Handle file(Open(path_, GENERIC_WRITE));
    struct Row {
        const char* name;
        Report report;
        bool ok;
        DWORD error;
    };
    const Row rows[] = {
        {"LED report", {0x02, 0x04}, true, 0},
        {"one byte short", {0x02}, false, ERROR_INVALID_USER_BUFFER},
        {"one byte long", {0x02, 0x04, 0x00}, false, ERROR_INVALID_USER_BUFFER},
        {"report ID 0 on a device with IDs", {0x00, 0x04}, false, ERROR_INVALID_PARAMETER},
        {"input report ID", {0x01, 0x04}, false, ERROR_INVALID_PARAMETER},
    };
    for (const Row& row : rows) {
        Report report = row.report;
        DWORD written = 0;
        SetLastError(0);
        EXPECT_EQ(WriteFile(file.get(), report.data(), static_cast<DWORD>(report.size()), &written,
                            nullptr) != FALSE,
                  row.ok)
            << row.name;
        if (row.ok) {
            EXPECT_EQ(written, report.size()) << row.name;
        } else {
            EXPECT_EQ(GetLastError(), row.error) << row.name;
        }
    }
    EXPECT_EQ(simdesk::OutputReports(phone_.Id(), SimulatedPhone::kTelephonyInterface),
              (std::vector<Report>{{0x02, 0x04}}));
    EXPECT_TRUE(phone_.RingLit());
}

}  // namespace

namespace {

// The agent's reader: overlapped reads on a thread of its own, waiting on the event.
struct ReaderThread {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::vector<Report> got;
    int wanted = 0;

    static DWORD WINAPI Run(LPVOID self) {
        auto* reader = static_cast<ReaderThread*>(self);
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        for (int i = 0; i < reader->wanted; ++i) {
            OVERLAPPED overlapped{};
            overlapped.hEvent = event;
            Report buffer(2, 0);
            if (ReadFile(reader->file, buffer.data(), 2, nullptr, &overlapped)) {
                SetEvent(event);
            } else if (GetLastError() != ERROR_IO_PENDING) {
                break;
            }
            WaitForSingleObject(event, INFINITE);
            DWORD bytes = 0;
            if (!GetOverlappedResult(reader->file, &overlapped, &bytes, FALSE))
                break;
            reader->got.push_back(buffer);
        }
        CloseHandle(event);
        return 0;
    }
};

TEST(DeviceIoAcrossThreads, ReaderThreadGetsEveryReportInOrder) {
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
    ASSERT_TRUE(phone.Plug());
    ReaderThread reader;
    reader.file = Open(SimulatedPhone::TelephonyPath(), GENERIC_READ, FILE_FLAG_OVERLAPPED);
    reader.wanted = 4;
    HANDLE worker = CreateThread(nullptr, 0, ReaderThread::Run, &reader, 0, nullptr);
    ASSERT_TRUE(phone.LiftHandset());
    ASSERT_TRUE(phone.PressButton(7));
    ASSERT_TRUE(phone.ReleaseButton(7));
    ASSERT_TRUE(phone.ReplaceHandset());
    ASSERT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
    CloseHandle(worker);
    CloseHandle(reader.file);
    EXPECT_EQ(reader.got, (std::vector<Report>{{1, 0x02}, {1, 0x06}, {1, 0x02}, {1, 0x00}}));
    simdesk::UnplugAllDevicesQuietly();
}

}  // namespace
