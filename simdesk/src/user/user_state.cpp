// User-layer tables, the atom table shared by classes and registered messages,
// and the clean-up of a thread's windows and queue when the thread ends.
#include <cwctype>

#include "user/user_state.h"

namespace simdesk {
namespace {

// Windows' user atoms for classes and registered messages: 0xC000..0xFFFF.
constexpr ATOM kFirstAtom = 0xC000;
constexpr ATOM kLastAtom = 0xFFFF;
constexpr size_t kMaxAtomName = 255;
constexpr std::uintptr_t kFirstWindow = 0x00010010;

std::vector<std::wstring>& Atoms() {
    static auto* atoms = new std::vector<std::wstring>;
    return *atoms;
}

// A thread that ends takes its windows and queue with it; senders still
// waiting on it get 0, as from a window that no longer exists.
void OnThreadExit(DWORD threadId) {
    UserState& user = User();
    for (auto it = user.windows.begin(); it != user.windows.end();) {
        if (it->second->thread == threadId) {
            // Windows destroys them for the thread, raising the same event as DestroyWindow.
            RaiseWinEventLocked(EVENT_OBJECT_DESTROY, it->second->handle, OBJID_WINDOW,
                                CHILDID_SELF);
            std::erase(user.openDialogs, it->second->handle);
            it = user.windows.erase(it);
        } else {
            ++it;
        }
    }
    RemoveWinEventHooksOf(threadId);
    auto queue = user.queues.find(threadId);
    if (queue != user.queues.end()) {
        for (auto& sent : queue->second.incoming)
            sent->done = true;
        user.queues.erase(queue);
    }
    NotifyDesktopChanged();
}

}  // namespace

UserState& User() {
    static UserState* user = [] {
        auto* state = new UserState;
        state->nextWindow = kFirstWindow;
        AddThreadExitHook(OnThreadExit);
        return state;
    }();
    return *user;
}

Window* FindWindow(HWND hwnd) {
    auto& windows = User().windows;
    auto found = windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    return found == windows.end() ? nullptr : found->second.get();
}

ThreadQueue& QueueOf(DWORD threadId) {
    return User().queues[threadId];
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(static_cast<wint_t>(a[i])) != std::towupper(static_cast<wint_t>(b[i]))) {
            return false;
        }
    }
    return true;
}

ATOM AddAtom(std::wstring_view name) {
    if (name.empty() || name.size() > kMaxAtomName)
        return 0;
    auto& atoms = Atoms();
    for (size_t i = 0; i < atoms.size(); ++i) {
        if (SameName(atoms[i], name))
            return static_cast<ATOM>(kFirstAtom + i);
    }
    if (atoms.size() > static_cast<size_t>(kLastAtom - kFirstAtom))
        return 0;
    atoms.emplace_back(name);
    return static_cast<ATOM>(kFirstAtom + atoms.size() - 1);
}

}  // namespace simdesk
