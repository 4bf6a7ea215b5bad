// Threads: handles, exit codes, ids, and idle detection over kernel waits.
#include <gtest/gtest.h>

#include <atomic>

#include "simdesk/desktop.h"
#include "simdesk/win32.h"

namespace {

struct Gate {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD seenThreadId = 0;
    ~Gate() { CloseHandle(go); }
};

DWORD WINAPI WaitForGateThenReturn(LPVOID parameter) {
    auto* gate = static_cast<Gate*>(parameter);
    gate->seenThreadId = GetCurrentThreadId();
    WaitForSingleObject(gate->go, INFINITE);
    return 7;
}

DWORD WINAPI ExitEarly(LPVOID) {
    ExitThread(42);
}

TEST(Threads, ExitCodeIsStillActiveUntilTheThreadEnds) {
    Gate gate;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, WaitForGateThenReturn, &gate, 0, &id);
    ASSERT_NE(thread, nullptr);
    simdesk::WaitUntilIdle();  // the thread is now parked on the gate

    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    EXPECT_EQ(gate.seenThreadId, id);
    EXPECT_EQ(GetThreadId(thread), id);
    EXPECT_NE(id, GetCurrentThreadId());

    SetEvent(gate.go);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
    EXPECT_EQ(GetThreadId(thread), id) << "the id outlives the thread, not its handle";
    CloseHandle(thread);
    EXPECT_EQ(GetThreadId(thread), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Threads, ExitThreadSetsTheCodeAndTerminateIsRefused) {
    HANDLE thread = CreateThread(nullptr, 0, ExitEarly, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_FALSE(TerminateThread(thread, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    CloseHandle(thread);
    EXPECT_FALSE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// A chain of threads each releasing the next: after WaitUntilIdle every link has
// run, with no sleeps and however the scheduler orders them.
struct Chain {
    static constexpr int kLinks = 5;
    HANDLE events[kLinks + 1];
    std::atomic<int> done{0};
    Chain() {
        for (HANDLE& e : events)
            e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~Chain() {
        for (HANDLE e : events)
            CloseHandle(e);
    }
};

struct Link {
    Chain* chain;
    int index;
};

DWORD WINAPI RunLink(LPVOID parameter) {
    auto* link = static_cast<Link*>(parameter);
    WaitForSingleObject(link->chain->events[link->index], INFINITE);
    link->chain->done.fetch_add(1);
    SetEvent(link->chain->events[link->index + 1]);
    return 0;
}

TEST(WaitUntilIdle, ReturnsOnlyAfterEveryReleasedThreadHasRun) {
    simdesk::DesktopThread self;
    Chain chain;
    Link links[Chain::kLinks];
    HANDLE threads[Chain::kLinks];
    for (int i = 0; i < Chain::kLinks; ++i) {
        links[i] = Link{&chain, i};
        threads[i] = CreateThread(nullptr, 0, RunLink, &links[i], 0, nullptr);
    }
    simdesk::WaitUntilIdle();
    EXPECT_EQ(chain.done.load(), 0) << "nothing released yet";

    SetEvent(chain.events[0]);
    simdesk::WaitUntilIdle();
    EXPECT_EQ(chain.done.load(), Chain::kLinks);
    EXPECT_EQ(WaitForSingleObject(chain.events[Chain::kLinks], 0), WAIT_OBJECT_0);
    for (HANDLE t : threads) {
        EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0) << "ended threads leave the registry";
        CloseHandle(t);
    }
}

DWORD WINAPI TakeMutex(LPVOID mutex) {
    WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
    ReleaseMutex(static_cast<HANDLE>(mutex));
    return 0;
}

// The waiter's predicate is judged for the waiter, not for the thread asking
// whether all is idle, which here owns the mutex.
TEST(WaitUntilIdle, AThreadBlockedOnTheCallersMutexIsIdle) {
    simdesk::DesktopThread self;
    HANDLE mutex = CreateMutexW(nullptr, /*bInitialOwner=*/TRUE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, TakeMutex, mutex, 0, nullptr);
    simdesk::WaitUntilIdle();
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    ReleaseMutex(mutex);
    simdesk::WaitUntilIdle();
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(mutex);
}

}  // namespace
