// Threads: real std::threads, registered with the desktop and waitable by handle.
#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "kernel/kernel_objects.h"
#include "kernel/processes.h"
#include "kernel/thread_registry.h"
#include "simdesk/faults.h"
#include "simdesk/win32_kernel.h"

namespace simdesk {
namespace {

struct ThreadObject : KernelObject {
    const char* Kind() const override { return "thread"; }
    DWORD id = 0;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
    bool IsSignaled() const override { return finished; }
};

// Unwinds a CreateThread thread to its trampoline, which records the code.
struct ThreadExitRequest {
    DWORD exitCode;
};

// Windows thread ids are multiples of 4, as are process ids.
constexpr DWORD kFirstThreadId = 0x1004;
constexpr DWORD kThreadIdStep = 4;

std::atomic<DWORD> nextThreadId{kFirstThreadId};
thread_local DWORD currentThreadId = 0;
// 0: the agent's process, which every thread belongs to unless a peer began one of its own.
thread_local DWORD currentProcessId = 0;
thread_local bool startedByCreateThread = false;

DWORD AllocateThreadId() {
    return nextThreadId.fetch_add(kThreadIdStep);
}

// Named after its simulated id, so that tools reading /proc (top -H, the idle
// benchmarks) can tell the desktop's threads apart.
void NameOsThread(DWORD id) {
    char name[16];
    std::snprintf(name, sizeof(name), "sim %x", static_cast<unsigned>(id));
    pthread_setname_np(pthread_self(), name);
}

void RunThread(std::shared_ptr<ThreadObject> thread, LPTHREAD_START_ROUTINE start, LPVOID parameter,
               bool agentThread, DWORD process) {
    currentThreadId = thread->id;
    currentProcessId = process;
    NameOsThread(thread->id);
    faults::MarkAgentThread(agentThread);
    startedByCreateThread = true;
    DWORD exitCode = 0;
    try {
        exitCode = start(parameter);
    } catch (const ThreadExitRequest& request) {
        exitCode = request.exitCode;
    }
    DesktopGuard lock(DesktopMutex());
    thread->exitCode = exitCode;
    thread->finished = true;
    UnregisterThreadLocked(thread->id);
}

}  // namespace
}  // namespace simdesk

using namespace simdesk;

DWORD WINAPI GetCurrentThreadId() {
    if (currentThreadId == 0)
        currentThreadId = AllocateThreadId();
    return currentThreadId;
}

DWORD WINAPI GetThreadId(HANDLE Thread) {
    auto thread = ObjectFromHandleAs<ThreadObject>(Thread);
    if (!thread) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return 0;
    }
    return thread->id;
}

DWORD WINAPI GetCurrentProcessId() {
    return currentProcessId != 0 ? currentProcessId : kAgentProcessId;
}

namespace simdesk {

void SetCurrentProcessId(DWORD process) {
    currentProcessId = process;
}

}  // namespace simdesk

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (faults::Inject(faults::Call::CreateThread, ERROR_NOT_ENOUGH_MEMORY))
        return nullptr;
    if (lpStartAddress == nullptr) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if ((dwCreationFlags & CREATE_SUSPENDED) != 0) {
        SetLastErrorValue(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    thread->id = AllocateThreadId();
    const DWORD process = GetCurrentProcessId();
    {
        DesktopGuard lock(DesktopMutex());
        RegisterThreadLocked(thread->id);
        AddThreadToProcessLocked(process, thread->id);
    }
    HANDLE handle = NewHandle(thread);
    if (lpThreadId != nullptr)
        *lpThreadId = thread->id;
    // Detached: as on Windows, the process may end with the thread still running.
    std::thread(RunThread, thread, lpStartAddress, lpParameter, faults::OnAgentThread(), process)
        .detach();
    return handle;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    DesktopGuard lock(DesktopMutex());
    auto thread = ObjectFromHandleAs<ThreadObject>(hThread);
    if (!thread || lpExitCode == nullptr) {
        SetLastErrorValue(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = thread->exitCode;
    return TRUE;
}

void WINAPI ExitThread(DWORD dwExitCode) {
    // Only threads of CreateThread have a trampoline to unwind to.
    if (!startedByCreateThread)
        std::terminate();
    throw ThreadExitRequest{dwExitCode};
}

BOOL WINAPI TerminateThread(HANDLE hThread, DWORD) {
    SetLastErrorValue(ObjectFromHandleAs<ThreadObject>(hThread) ? ERROR_NOT_SUPPORTED
                                                                : ERROR_INVALID_HANDLE);
    return FALSE;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    // A desktop wait, so that a sleeping thread counts as idle.
    DesktopGuard lock(DesktopMutex());
    WaitOnDesktop(
        lock, [] { return false; }, dwMilliseconds);
}
