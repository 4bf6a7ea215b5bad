// The desktop lock, the one condition variable every blocking call waits on, and
// the registry of threads that WaitUntilIdle watches.
#include <chrono>
#include <condition_variable>
#include <map>
#include <vector>

#include "kernel/kernel_objects.h"
#include "kernel/thread_registry.h"
#include "simdesk/desktop.h"
#include "simdesk/win32_kernel.h"

namespace simdesk {
namespace {

struct ThreadRecord {
    bool waiting = false;
    const std::function<bool()>* ready = nullptr;
};

struct DesktopState {
    std::mutex mutex;
    // Waiters of WaitOnDesktop.
    std::condition_variable changed;
    // WaitUntilIdle only: also told when a thread starts waiting or leaves, which
    // must not wake every waiter (they would re-announce themselves forever).
    std::condition_variable idleChanged;
    std::map<DWORD, ThreadRecord> threads;
    std::vector<std::function<void(DWORD)>> exitHooks;
};

// Never destroyed: detached threads may still wait on it while the process exits.
DesktopState& State() {
    static DesktopState* state = new DesktopState;
    return *state;
}

bool EveryOtherThreadIdle(DWORD self) {
    for (const auto& [id, record] : State().threads) {
        if (id == self)
            continue;
        if (!record.waiting || (*record.ready)())
            return false;
    }
    return true;
}

}  // namespace

std::mutex& DesktopMutex() {
    return State().mutex;
}

void NotifyDesktopChanged() {
    State().changed.notify_all();
    State().idleChanged.notify_all();
}

bool WaitOnDesktop(DesktopGuard& lock, const std::function<bool()>& ready, DWORD timeoutMs) {
    if (ready())
        return true;
    if (timeoutMs == 0)
        return false;
    DesktopState& state = State();
    auto self = state.threads.find(GetCurrentThreadId());
    if (self != state.threads.end()) {
        self->second = ThreadRecord{/*waiting=*/true, &ready};
        state.idleChanged.notify_all();
    }
    bool satisfied = true;
    if (timeoutMs == INFINITE) {
        state.changed.wait(lock, ready);
    } else {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        satisfied = state.changed.wait_until(lock, deadline, ready);
    }
    // The record may have been erased meanwhile only by this thread itself.
    self = state.threads.find(GetCurrentThreadId());
    if (self != state.threads.end())
        self->second = ThreadRecord{};
    return satisfied;
}

void AddThreadExitHook(std::function<void(DWORD threadId)> hook) {
    State().exitHooks.push_back(std::move(hook));
}

void RegisterThreadLocked(DWORD threadId) {
    State().threads.emplace(threadId, ThreadRecord{});
    NotifyDesktopChanged();
}

void UnregisterThreadLocked(DWORD threadId) {
    // Copy: a hook may add hooks.
    auto hooks = State().exitHooks;
    for (auto& hook : hooks)
        hook(threadId);
    State().threads.erase(threadId);
    NotifyDesktopChanged();
}

bool RegisterCurrentThread() {
    DesktopGuard lock(DesktopMutex());
    if (State().threads.count(GetCurrentThreadId()) != 0)
        return false;
    RegisterThreadLocked(GetCurrentThreadId());
    return true;
}

void UnregisterCurrentThread() {
    DesktopGuard lock(DesktopMutex());
    UnregisterThreadLocked(GetCurrentThreadId());
}

void WaitUntilIdle() {
    DesktopGuard lock(DesktopMutex());
    DWORD self = GetCurrentThreadId();
    State().idleChanged.wait(lock, [self] { return EveryOtherThreadIdle(self); });
}

DesktopThread::DesktopThread() : registered_(RegisterCurrentThread()) {}

DesktopThread::~DesktopThread() {
    if (registered_)
        UnregisterCurrentThread();
}

}  // namespace simdesk
