#include "close_agent/close_agent.h"

#include "close_agent/unique_handle.h"

namespace {

constexpr wchar_t kAgentWindowClass[] = L"QUILLONSKYPEPLUGIN";
constexpr wchar_t kAgentWindowTitle[] = L"TervoSkypePlugIn";

// A terminated process is signalled only once its image is released.
constexpr DWORD kTerminateWaitMs = 5000;
// One agent per desktop is the rule; the bound only guards against a window that stays
// after its process has been closed.
constexpr int kMaxAgents = 8;
constexpr UINT kTerminatedExitCode = 1;

enum class Outcome { kClosed, kTerminated, kFailed };

Outcome CloseAgent(HWND window, DWORD clean_exit_wait_ms) {
    DWORD process_id = 0;
    if (GetWindowThreadProcessId(window, &process_id) == 0) {
        return IsWindow(window) ? Outcome::kFailed : Outcome::kClosed;  // gone meanwhile
    }
    const UniqueHandle process(
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, /*bInheritHandle=*/FALSE, process_id));
    if (!process.valid()) {
        // Without a handle there is no way to know when the executable is free again.
        return Outcome::kFailed;
    }
    if (!PostMessageW(window, WM_CLOSE, /*wParam=*/0, /*lParam=*/0) && IsWindow(window)) {
        return Outcome::kFailed;
    }
    if (WaitForSingleObject(process.get(), clean_exit_wait_ms) == WAIT_OBJECT_0) {
        return Outcome::kClosed;
    }
    if (!TerminateProcess(process.get(), kTerminatedExitCode) ||
        WaitForSingleObject(process.get(), kTerminateWaitMs) != WAIT_OBJECT_0) {
        return Outcome::kFailed;
    }
    return Outcome::kTerminated;
}

}  // namespace

CloseResult CloseRunningAgents(DWORD clean_exit_wait_ms) {
    CloseResult result;
    for (int attempt = 0; attempt < kMaxAgents; ++attempt) {
        const HWND window = FindWindowW(kAgentWindowClass, kAgentWindowTitle);
        if (window == nullptr) {
            result.allGone = true;
            return result;
        }
        switch (CloseAgent(window, clean_exit_wait_ms)) {
            case Outcome::kClosed:
                ++result.closed;
                break;
            case Outcome::kTerminated:
                ++result.terminated;
                break;
            case Outcome::kFailed:
                return result;
        }
    }
    result.allGone = FindWindowW(kAgentWindowClass, kAgentWindowTitle) == nullptr;
    return result;
}
