// Process objects and OpenProcess. A process other than the agent's ends when
// its last thread ends; its windows have gone with its threads by then.
#include <map>
#include <set>

#include "kernel/kernel_objects.h"
#include "kernel/processes.h"
#include "simdesk/desktop.h"
#include "simdesk/win32_kernel.h"

namespace simdesk {
namespace {

constexpr DWORD kFirstPeerProcessId = 0x2004;
constexpr DWORD kProcessIdStep = 4;

struct ProcessObject : KernelObject {
    const char* Kind() const override { return "process"; }
    bool IsSignaled() const override { return ended; }
    void OnLastHandleClosed() override;
    DWORD id = 0;
    std::set<DWORD> threads;
    bool ended = false;
    bool opened = false;  // a handle to it is open
};

struct ProcessTable {
    std::map<DWORD, std::shared_ptr<ProcessObject>> running;
    // Ended ones stay reachable while a handle keeps them, and only then, as
    // Windows frees a process object with its last handle.
    std::map<DWORD, std::weak_ptr<ProcessObject>> ended;
    DWORD nextId = kFirstPeerProcessId;
};

// Lock held.
ProcessTable& Processes() {
    static ProcessTable* table = [] {
        auto* made = new ProcessTable;
        auto agent = std::make_shared<ProcessObject>();
        agent->id = kAgentProcessId;
        made->running.emplace(kAgentProcessId, std::move(agent));
        return made;
    }();
    return *table;
}

// Lock held: the thread's exit hooks run on it, after the user layer's.
void OnThreadExit(DWORD threadId) {
    ProcessTable& table = Processes();
    for (auto it = table.running.begin(); it != table.running.end(); ++it) {
        ProcessObject& process = *it->second;
        if (process.threads.erase(threadId) == 0 || !process.threads.empty() ||
            process.id == kAgentProcessId)
            continue;
        process.ended = true;
        if (process.opened)
            table.ended[process.id] = it->second;
        table.running.erase(it);
        NotifyDesktopChanged();
        return;
    }
}

// Lock held: CloseHandle calls it so.
void ProcessObject::OnLastHandleClosed() {
    opened = false;
    if (ended)
        Processes().ended.erase(id);
}

void EnsureExitHook() {
    static const bool hooked = (AddThreadExitHook(OnThreadExit), true);
    (void)hooked;
}

}  // namespace

void AddThreadToProcessLocked(DWORD process, DWORD threadId) {
    if (process == kAgentProcessId)
        return;  // never ends: its threads need no count
    EnsureExitHook();
    auto found = Processes().running.find(process);
    if (found != Processes().running.end())
        found->second->threads.insert(threadId);
}

DWORD BeginProcess() {
    DesktopGuard lock(DesktopMutex());
    EnsureExitHook();
    ProcessTable& table = Processes();
    const DWORD self = GetCurrentThreadId();
    for (auto& [id, process] : table.running)
        process->threads.erase(self);
    auto process = std::make_shared<ProcessObject>();
    process->id = table.nextId;
    table.nextId += kProcessIdStep;
    process->threads.insert(self);
    table.running.emplace(process->id, process);
    SetCurrentProcessId(process->id);
    return process->id;
}

}  // namespace simdesk

using namespace simdesk;

HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD dwProcessId) {
    DesktopGuard lock(DesktopMutex());
    ProcessTable& table = Processes();
    std::shared_ptr<ProcessObject> process;
    if (auto running = table.running.find(dwProcessId); running != table.running.end())
        process = running->second;
    else if (auto ended = table.ended.find(dwProcessId); ended != table.ended.end())
        process = ended->second.lock();
    if (!process) {
        // An id that names no process (0, the idle process, included).
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    process->opened = true;
    return NewHandle(process);
}
