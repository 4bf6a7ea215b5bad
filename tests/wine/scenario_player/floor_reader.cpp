// floor_reader.exe: the least any reader of the phone must do per press, so
// that `scenario_player --floor` can time what the platform alone costs. It
// opens the virtual phone, keeps one overlapped read pending and, for each
// report, sends one WM_COPYDATA to the player's floor window; when the hook
// goes up it first writes an LED report as the agent's Ring write does (open,
// descriptor, write, close). No decoding, no rules. Ends when the phone goes.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

extern "C" {
#include <hidsdi.h>
}

#include <cstdint>

#include "floor_window.h"
#include "vphone/phone_layout.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNoPeer = 1;
constexpr char kCommand[] = "FLOOR";

// The agent's Ring write: every write opens the device and reads its descriptor.
void WriteLedReport() {
    HANDLE device =
        CreateFileW(VPHONE_LISTED_PATH, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return;
    PHIDP_PREPARSED_DATA descriptor = nullptr;
    if (HidD_GetPreparsedData(device, &descriptor)) {
        const std::uint8_t report[VPHONE_OUTPUT_REPORT_LENGTH] = {VPHONE_OUTPUT_REPORT_ID, 0};
        DWORD written = 0;
        WriteFile(device, report, sizeof report, &written, nullptr);
        HidD_FreePreparsedData(descriptor);
    }
    CloseHandle(device);
}

}  // namespace

int main() {
    const HWND player = FindWindowW(scenario_player::kFloorWindowClass, nullptr);
    HANDLE phone = CreateFileW(VPHONE_LISTED_PATH, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (player == nullptr || phone == INVALID_HANDLE_VALUE || event == nullptr)
        return kExitNoPeer;
    std::uint8_t report[VPHONE_INPUT_REPORT_LENGTH] = {};
    bool hookUp = false;
    for (;;) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        DWORD read = 0;
        if (!ReadFile(phone, report, sizeof report, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            break;
        if (!GetOverlappedResult(phone, &overlapped, &read, /*bWait=*/TRUE))
            break;  // the phone went
        const bool lifted = (report[1] & VPHONE_INPUT_BIT_HOOK) != 0;
        if (lifted && !hookUp)
            WriteLedReport();
        hookUp = lifted;
        COPYDATASTRUCT data{};
        data.cbData = sizeof kCommand;
        data.lpData = const_cast<char*>(kCommand);
        SendMessageW(player, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    }
    CloseHandle(event);
    CloseHandle(phone);
    return kExitOk;
}
