// Handle table and per-thread last-error.
#include <map>
#include <string>

#include "kernel/kernel_objects.h"
#include "simdesk/desktop.h"
#include "simdesk/win32_kernel.h"

namespace simdesk {
namespace {

// Handles are multiples of 4 as on Windows and never reused, so a stale handle
// fails instead of reaching a newer object.
constexpr std::uintptr_t kFirstHandle = 0x100;
constexpr std::uintptr_t kHandleStep = 4;

struct HandleTable {
    std::mutex mutex;  // leaf lock: never held while calling out
    std::map<std::uintptr_t, std::shared_ptr<KernelObject>> entries;
    std::map<const KernelObject*, int> openCounts;
    std::uintptr_t next = kFirstHandle;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;
    return *table;
}

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

HANDLE NewHandle(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    std::lock_guard guard(table.mutex);
    std::uintptr_t value = table.next;
    table.next += kHandleStep;
    ++table.openCounts[object.get()];
    table.entries.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::map<std::string, std::size_t> OpenHandleCounts() {
    HandleTable& table = Table();
    std::lock_guard guard(table.mutex);
    std::map<std::string, std::size_t> counts;
    for (const auto& [value, object] : table.entries)
        ++counts[object->Kind()];
    return counts;
}

std::shared_ptr<KernelObject> ObjectFromHandle(HANDLE handle) {
    HandleTable& table = Table();
    std::lock_guard guard(table.mutex);
    auto found = table.entries.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == table.entries.end() ? nullptr : found->second;
}

void SetLastErrorValue(DWORD error) {
    lastError = error;
}

}  // namespace simdesk

using namespace simdesk;

DWORD WINAPI GetLastError() {
    return lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (hObject == CurrentProcessHandle())
        return TRUE;
    DesktopGuard lock(DesktopMutex());
    std::shared_ptr<KernelObject> object;
    bool last = false;
    {
        HandleTable& table = Table();
        std::lock_guard guard(table.mutex);
        auto found = table.entries.find(reinterpret_cast<std::uintptr_t>(hObject));
        if (found == table.entries.end()) {
            SetLastErrorValue(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(found->second);
        table.entries.erase(found);
        auto count = table.openCounts.find(object.get());
        if (--count->second == 0) {
            table.openCounts.erase(count);
            last = true;
        }
    }
    if (last)
        object->OnLastHandleClosed();
    NotifyDesktopChanged();
    return TRUE;
}
