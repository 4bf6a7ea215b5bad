// The installer's custom action (a DLL in the package's Binary table, called before
// InstallValidate on every install, upgrade and removal). Failing the install is better
// than leaving an executable in use: that ends in a file rename pending until a reboot.
#include <windows.h>
#include <msiquery.h>

#include <cwchar>

#include "close_agent/close_agent.h"

namespace {

class MsiRecord {
  public:
    explicit MsiRecord(UINT fields) : handle_(MsiCreateRecord(fields)) {}
    ~MsiRecord() {
        if (handle_ != 0) {
            MsiCloseHandle(handle_);
        }
    }
    MsiRecord(const MsiRecord&) = delete;
    MsiRecord& operator=(const MsiRecord&) = delete;
    MSIHANDLE get() const { return handle_; }

  private:
    MSIHANDLE handle_;
};

// One line in the installer's log (msiexec /l*v), for whoever diagnoses a failed install.
void Log(MSIHANDLE install, const wchar_t* text) {
    const MsiRecord record(/*fields=*/0);
    if (record.get() != 0 &&
        MsiRecordSetStringW(record.get(), /*iField=*/0, text) == ERROR_SUCCESS) {
        MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
    }
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall CloseRunningAgent(MSIHANDLE install) {
    const CloseResult result = CloseRunningAgents();
    constexpr size_t kLineCapacity = 160;
    wchar_t line[kLineCapacity] = {};
    std::swprintf(line, kLineCapacity,
                  L"CloseRunningAgent: %d agent(s) closed, %d ended after no reply; %ls",
                  result.closed, result.terminated,
                  result.allGone ? L"none running" : L"an agent is still running");
    Log(install, line);
    return result.allGone ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}
