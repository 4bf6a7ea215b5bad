// Named mutexes, events and waits.
#include <gtest/gtest.h>

#include <vector>

#include "simdesk/desktop.h"
#include "simdesk/win32.h"

namespace {

TEST(NamedMutex, SecondCreateReportsAlreadyExistsUntilLastHandleCloses) {
    SetLastError(12345);
    HANDLE first = CreateMutexW(nullptr, /*bInitialOwner=*/TRUE, L"GlobalMutex");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

    HANDLE second = CreateMutexW(nullptr, /*bInitialOwner=*/TRUE, L"GlobalMutex");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(second, first) << "each open gets its own handle";

    HANDLE other = CreateMutexW(nullptr, FALSE, L"globalmutex");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS))
        << "object names are case-sensitive";

    SetLastError(0);
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, L"GlobalMutex"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "name taken by a mutex";

    for (HANDLE h : {first, second, other})
        EXPECT_TRUE(CloseHandle(h));
    HANDLE again = CreateMutexW(nullptr, FALSE, L"GlobalMutex");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS))
        << "name freed with its last handle";
    CloseHandle(again);
}

TEST(NamedMutex, InitialOwnerHoldsItAgainstOtherThreads) {
    HANDLE mutex = CreateMutexW(nullptr, /*bInitialOwner=*/TRUE, L"Owned");
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0)
        << "the owner may wait again (recursion)";

    struct Probe {
        HANDLE mutex;
        DWORD result = 0;
    } probe{mutex};
    auto tryTake = [](LPVOID p) -> DWORD {
        auto* self = static_cast<Probe*>(p);
        self->result = WaitForSingleObject(self->mutex, /*dwMilliseconds=*/0);
        return 0;
    };
    HANDLE thread = CreateThread(nullptr, 0, tryTake, &probe, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(probe.result, WAIT_TIMEOUT);
    CloseHandle(thread);

    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));

    thread = CreateThread(nullptr, 0, tryTake, &probe, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(probe.result, WAIT_OBJECT_0) << "released mutex is free to take";
    CloseHandle(thread);
    CloseHandle(mutex);
}

struct EventCase {
    const char* name;
    BOOL manualReset;
    BOOL initialState;
    std::vector<DWORD> expectedWaits;  // results of consecutive zero-time-out waits
};

TEST(Events, ResetModesAndInitialState) {
    const std::vector<EventCase> cases = {
        {"auto-reset signalled releases one wait", FALSE, TRUE, {WAIT_OBJECT_0, WAIT_TIMEOUT}},
        {"manual-reset stays signalled", TRUE, TRUE, {WAIT_OBJECT_0, WAIT_OBJECT_0}},
        {"auto-reset unsignalled", FALSE, FALSE, {WAIT_TIMEOUT, WAIT_TIMEOUT}},
        {"manual-reset unsignalled", TRUE, FALSE, {WAIT_TIMEOUT}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE event = CreateEventW(nullptr, c.manualReset, c.initialState, nullptr);
        ASSERT_NE(event, nullptr);
        for (DWORD expected : c.expectedWaits)
            EXPECT_EQ(WaitForSingleObject(event, 0), expected);
        EXPECT_TRUE(SetEvent(event));
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ResetEvent(event));
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
        EXPECT_TRUE(CloseHandle(event));
    }
}

TEST(Waits, TimeoutElapsesAndBadHandlesFail) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, /*dwMilliseconds=*/20), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));

    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED) << "closed handle";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetEvent(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace

namespace {

// Leak checks count open handles by kind: each open counts until its close.
TEST(Handles, AreCountedByKindUntilClosed) {
    const auto baseline = simdesk::OpenHandleCounts();
    const auto countOf = [](const char* kind) {
        const auto counts = simdesk::OpenHandleCounts();
        const auto found = counts.find(kind);
        return found == counts.end() ? std::size_t{0} : found->second;
    };
    const std::size_t events = countOf("event");
    const std::size_t mutexes = countOf("mutex");
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, L"CountedEvent");
    HANDLE again = CreateEventW(nullptr, FALSE, FALSE, L"CountedEvent");
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    EXPECT_EQ(countOf("event"), events + 2) << "every handle counts, not every object";
    EXPECT_EQ(countOf("mutex"), mutexes + 1);
    for (HANDLE h : {event, mutex, again})
        EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(simdesk::OpenHandleCounts(), baseline);
}

}  // namespace
