#include "agent_process.h"

#include <array>

namespace standin {
namespace {
constexpr int kClassNameCapacity = 256;
}  // namespace

std::wstring WindowsPath(std::string_view path) {
    std::wstring result;
    if (path.starts_with('/')) {
        result = L"Z:";
    }
    for (char c : path) {
        result.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    return result;
}

ChildProcess::ChildProcess(const std::wstring& program) {
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &info_) == 0) {
        info_ = {};
    }
}

ChildProcess::~ChildProcess() {
    if (!started()) {
        return;
    }
    if (running()) {
        TerminateProcess(info_.hProcess, kKilledExitCode);
        WaitForSingleObject(info_.hProcess, INFINITE);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool ChildProcess::running() const {
    return started() && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::waitForExit(std::chrono::milliseconds timeout) const {
    if (!started() ||
        WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    if (GetExitCodeProcess(info_.hProcess, &code) == 0) {
        return std::nullopt;
    }
    return code;
}

DWORD WindowProcessId(HWND window) {
    DWORD process = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &process) == 0) {
        return 0;
    }
    return process;
}

std::wstring WindowClassName(HWND window) {
    std::array<wchar_t, kClassNameCapacity> name{};
    int length = GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    return std::wstring(name.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace standin
