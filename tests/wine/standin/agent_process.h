// A Windows program started as a separate process for a test, ended when the
// test is done with it, so no copy outlives the test that started it.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

// Exit code given to a process that had to be killed at the end of a test.
inline constexpr DWORD kKilledExitCode = 0xDEAD;
inline constexpr wchar_t kAgentWindowClass[] = L"QUILLONSKYPEPLUGIN";

// A path usable by CreateProcessW: a Unix path ("/a/b") becomes the Wine
// drive path that maps the Unix root ("Z:\a\b"); anything else is kept.
std::wstring WindowsPath(std::string_view path);

class ChildProcess {
  public:
    explicit ChildProcess(const std::wstring& program);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return info_.hProcess != nullptr; }
    DWORD id() const { return info_.dwProcessId; }
    HANDLE handle() const { return info_.hProcess; }
    bool running() const;
    // The exit code once the process has ended within `timeout`, else nullopt.
    std::optional<DWORD> waitForExit(std::chrono::milliseconds timeout) const;

  private:
    PROCESS_INFORMATION info_{};
};

// The process that owns `window`, 0 when the window does not exist.
DWORD WindowProcessId(HWND window);
// The class name of any window, also one of another process.
std::wstring WindowClassName(HWND window);

}  // namespace standin
