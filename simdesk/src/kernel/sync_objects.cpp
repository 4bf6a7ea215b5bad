// Events, mutexes, their desktop-wide names, and WaitForSingleObject.
#include <map>
#include <string>
#include <vector>

#include "kernel/kernel_objects.h"
#include "kernel/sync_objects.h"
#include "simdesk/faults.h"
#include "simdesk/win32_kernel.h"

namespace simdesk {
namespace {

struct MutexObject : KernelObject {
    const char* Kind() const override { return "mutex"; }
    DWORD owner = 0;
    int recursion = 0;
    // Its owner thread ended holding it: the next wait that gets it says so.
    bool abandoned = false;
    bool IsSignaled() const override { return IsSignaledFor(GetCurrentThreadId()); }
    bool IsSignaledFor(DWORD threadId) const override { return owner == 0 || owner == threadId; }
    void OnWaitSatisfied() override {
        owner = GetCurrentThreadId();
        ++recursion;
    }
};

// Every mutex still open. Lock held.
std::vector<std::weak_ptr<MutexObject>>& LiveMutexes() {
    static auto* mutexes = new std::vector<std::weak_ptr<MutexObject>>;
    return *mutexes;
}

// A thread that ends releases what it owns, marked abandoned. Lock held.
void AbandonMutexesOf(DWORD threadId) {
    std::erase_if(LiveMutexes(), [threadId](const std::weak_ptr<MutexObject>& weak) {
        const auto mutex = weak.lock();
        if (mutex && mutex->owner == threadId) {
            mutex->owner = 0;
            mutex->recursion = 0;
            mutex->abandoned = true;
        }
        return !mutex;
    });
}

// Lock held.
std::shared_ptr<MutexObject> NewMutex(bool initialOwner) {
    static const bool hooked = (AddThreadExitHook(AbandonMutexesOf), true);
    (void)hooked;
    auto mutex = std::make_shared<MutexObject>();
    if (initialOwner)
        mutex->OnWaitSatisfied();
    LiveMutexes().push_back(mutex);
    return mutex;
}

// Names live while any handle to the object is open: the map holds weak refs.
std::map<std::wstring, std::weak_ptr<KernelObject>>& Names() {
    static auto* names = new std::map<std::wstring, std::weak_ptr<KernelObject>>;
    return *names;
}

// Creates or opens a named object. Windows: an existing name of the same type
// opens it (ERROR_ALREADY_EXISTS); of another type, ERROR_INVALID_HANDLE.
template <typename T, typename Make>
HANDLE CreateNamed(LPCWSTR name, Make make) {
    DesktopGuard lock(DesktopMutex());
    if (name != nullptr && *name != L'\0') {
        auto& names = Names();
        auto found = names.find(name);
        if (found != names.end()) {
            if (auto existing = found->second.lock()) {
                if (!std::dynamic_pointer_cast<T>(existing)) {
                    SetLastErrorValue(ERROR_INVALID_HANDLE);
                    return nullptr;
                }
                SetLastErrorValue(ERROR_ALREADY_EXISTS);
                return NewHandle(existing);
            }
        }
        auto object = make();
        names[name] = object;
        SetLastErrorValue(ERROR_SUCCESS);
        return NewHandle(object);
    }
    SetLastErrorValue(ERROR_SUCCESS);
    return NewHandle(make());
}

}  // namespace

void EventObject::Set() {
    signaled = true;
    NotifyDesktopChanged();
}

bool SignalEventHandle(HANDLE event, bool signaled) {
    auto object = ObjectFromHandleAs<EventObject>(event);
    if (!object)
        return false;
    if (signaled) {
        object->Set();
    } else {
        object->signaled = false;
    }
    return true;
}

}  // namespace simdesk

using namespace simdesk;

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
    return CreateNamed<MutexObject>(lpName, [bInitialOwner] { return NewMutex(bInitialOwner); });
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    DesktopGuard lock(DesktopMutex());
    auto mutex = ObjectFromHandleAs<MutexObject>(hMutex);
    if (!mutex) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (mutex->owner != GetCurrentThreadId()) {
        SetLastErrorValue(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mutex->recursion == 0) {
        mutex->owner = 0;
        NotifyDesktopChanged();
    }
    return TRUE;
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName) {
    if (faults::Inject(faults::Call::CreateEventW, ERROR_NO_SYSTEM_RESOURCES))
        return nullptr;
    return CreateNamed<EventObject>(lpName, [bManualReset, bInitialState] {
        auto event = std::make_shared<EventObject>();
        event->manualReset = bManualReset != FALSE;
        event->signaled = bInitialState != FALSE;
        return event;
    });
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    DesktopGuard lock(DesktopMutex());
    if (!SignalEventHandle(hEvent, /*signaled=*/true)) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    DesktopGuard lock(DesktopMutex());
    if (!SignalEventHandle(hEvent, /*signaled=*/false)) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    DesktopGuard lock(DesktopMutex());
    if (hHandle == CurrentProcessHandle()) {
        // Signalled when the process ends, which the waiter never sees.
        WaitOnDesktop(
            lock, [] { return false; }, dwMilliseconds);
        return WAIT_TIMEOUT;
    }
    auto object = ObjectFromHandle(hHandle);
    if (!object) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    DWORD self = GetCurrentThreadId();
    auto signaled = [&object, self] { return object->IsSignaledFor(self); };
    if (!WaitOnDesktop(lock, signaled, dwMilliseconds)) {
        return WAIT_TIMEOUT;
    }
    object->OnWaitSatisfied();
    NotifyDesktopChanged();
    if (auto mutex = std::dynamic_pointer_cast<MutexObject>(object); mutex && mutex->abandoned) {
        mutex->abandoned = false;
        return WAIT_ABANDONED;
    }
    return WAIT_OBJECT_0;
}
