// Installs and removes the virtual phone's root device through SetupAPI, as a device
// installer would on Windows.
#pragma once

#include <windows.h>

#include <string>

namespace vphone {

struct StepResult {
    DWORD error = ERROR_SUCCESS;  // Win32 error of the failed step
    const char* step = "";        // the call that failed
    [[nodiscard]] bool ok() const { return error == ERROR_SUCCESS; }
};

// vphone.inf in the folder of the running executable, where the build puts it.
std::wstring InfBesideExecutable();

// Registers ROOT\VID_F1CE&PID_0B5D&MI_03&Col02\0001 and installs the driver from the INF at
// `infPath` (which names vphone.sys beside it). A registration whose driver install fails is
// removed again.
StepResult InstallPhone(const std::wstring& infPath);

// Removes the device (DIF_REMOVE): the phone disappears, the driver stays loaded.
StepResult RemovePhone();

// Stops the driver service so that the driver unloads and its file can be replaced.
StepResult UnloadDriver();

}  // namespace vphone
