// Events, mutexes, waits, handles and threads.
#include "probe.h"

namespace probe {
namespace {

constexpr DWORD kShortWaitMs = 50;
constexpr DWORD kReturnedCode = 7;
constexpr DWORD kExitThreadCode = 9;

std::string WaitResult(DWORD result) {
    switch (result) {
        case WAIT_OBJECT_0:
            return "WAIT_OBJECT_0";
        case WAIT_ABANDONED:
            return "WAIT_ABANDONED";
        case WAIT_TIMEOUT:
            return "WAIT_TIMEOUT";
        case WAIT_FAILED:
            return "WAIT_FAILED " + Err();
        default:
            return Hex(result);
    }
}

void ProbeEvents() {
    HANDLE autoReset = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    const std::string first = WaitResult(WaitForSingleObject(autoReset, 0));
    Line("event.auto-reset.waits",
         first + " then " + WaitResult(WaitForSingleObject(autoReset, 0)));
    HANDLE manual = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    const std::string once = WaitResult(WaitForSingleObject(manual, 0));
    const std::string twice = WaitResult(WaitForSingleObject(manual, 0));
    ResetEvent(manual);
    Line("event.manual.waits-then-reset",
         once + " " + twice + " then " + WaitResult(WaitForSingleObject(manual, 0)));
    CloseHandle(autoReset);
    CloseHandle(manual);
    Line("event.set-closed-handle", Outcome(SetEvent(manual)));
}

void ProbeNamedMutexes() {
    SetLastError(kPlantedError);
    HANDLE first = CreateMutexW(nullptr, TRUE, L"ProbeNamedMutex");
    Line("mutex.create-new.last-error", PlantedError());
    SetLastError(kPlantedError);
    HANDLE second = CreateMutexW(nullptr, FALSE, L"ProbeNamedMutex");
    Line("mutex.create-existing", std::string(second != nullptr ? "handle " : "null ") + Err());
    SetLastError(kPlantedError);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, L"ProbeNamedMutex");
    Line("mutex.name-taken-by-event", std::string(event != nullptr ? "handle " : "null ") + Err());
    // Recursion: the owner may wait again and must release as often.
    const std::string again = WaitResult(WaitForSingleObject(second, 0));
    const std::string release1 = Outcome(ReleaseMutex(first));
    const std::string release2 = Outcome(ReleaseMutex(first));
    const std::string release3 = Outcome(ReleaseMutex(first));
    Line("mutex.recursion", again + ", releases " + release1 + " " + release2 + " " + release3);
    CloseHandle(first);
    CloseHandle(second);
}

struct MutexCase {
    HANDLE mutex;
    HANDLE taken;
    HANDLE finish;
};

DWORD WINAPI TakeMutex(LPVOID parameter) {
    auto* c = static_cast<MutexCase*>(parameter);
    WaitForSingleObject(c->mutex, INFINITE);
    SetEvent(c->taken);
    WaitForSingleObject(c->finish, INFINITE);
    return 0;  // still owning it
}

void ProbeMutexOwners() {
    MutexCase c{CreateMutexW(nullptr, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr),
                CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE owner = CreateThread(nullptr, 0, TakeMutex, &c, 0, nullptr);
    WaitForSingleObject(c.taken, INFINITE);
    Line("mutex.owned-by-other-thread.wait", WaitResult(WaitForSingleObject(c.mutex, 0)));
    Line("mutex.release-not-owner", Outcome(ReleaseMutex(c.mutex)));
    SetEvent(c.finish);
    WaitForSingleObject(owner, INFINITE);
    Line("mutex.owner-thread-exited.wait", WaitResult(WaitForSingleObject(c.mutex, kShortWaitMs)));
    const std::string released = Outcome(ReleaseMutex(c.mutex));
    Line("mutex.owner-thread-exited.then",
         "release " + released + ", wait " + WaitResult(WaitForSingleObject(c.mutex, 0)));
    ReleaseMutex(c.mutex);
    for (HANDLE h : {owner, c.mutex, c.taken, c.finish})
        CloseHandle(h);
}

void ProbeHandles() {
    Line("wait.null", WaitResult(WaitForSingleObject(nullptr, 0)));
    Line("wait.invalid-handle-value", WaitResult(WaitForSingleObject(INVALID_HANDLE_VALUE, 0)));
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    const std::string closed = Outcome(CloseHandle(event));
    Line("close.twice", closed + " then " + Outcome(CloseHandle(event)));
    Line("wait.closed-handle", WaitResult(WaitForSingleObject(event, 0)));
    Line("close.null", Outcome(CloseHandle(nullptr)));
    Line("close.invalid-handle-value", Outcome(CloseHandle(INVALID_HANDLE_VALUE)));
}

struct ThreadCase {
    HANDLE go;
    DWORD id;
    bool callExitThread;
};

DWORD WINAPI RunThreadCase(LPVOID parameter) {
    auto* c = static_cast<ThreadCase*>(parameter);
    c->id = GetCurrentThreadId();
    WaitForSingleObject(c->go, INFINITE);
    if (c->callExitThread)
        ExitThread(kExitThreadCode);
    return kReturnedCode;
}

void ProbeThreads() {
    for (bool callExitThread : {false, true}) {
        ThreadCase c{CreateEventW(nullptr, TRUE, FALSE, nullptr), 0, callExitThread};
        DWORD id = 0;
        HANDLE thread = CreateThread(nullptr, 0, RunThreadCase, &c, 0, &id);
        DWORD running = 0;
        GetExitCodeThread(thread, &running);
        const DWORD waitRunning = WaitForSingleObject(thread, 0);
        SetEvent(c.go);
        const DWORD waitEnded = WaitForSingleObject(thread, INFINITE);
        DWORD ended = 0;
        GetExitCodeThread(thread, &ended);
        Line(callExitThread ? "thread.exit-thread" : "thread.return",
             "running " + Num(running) + " " + WaitResult(waitRunning) + ", ended " + Num(ended) +
                 " " + WaitResult(waitEnded) + ", own id " +
                 YesNo(c.id == id && id != GetCurrentThreadId()));
        CloseHandle(thread);
        CloseHandle(c.go);
    }
    Sleep(0);
    Line("thread.sleep-0", "returns");
}

}  // namespace

void ProbeKernel() {
    ProbeEvents();
    ProbeNamedMutexes();
    ProbeMutexOwners();
    ProbeHandles();
    ProbeThreads();
}

}  // namespace probe
