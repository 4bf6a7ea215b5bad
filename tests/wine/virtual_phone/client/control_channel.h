// The test side of the virtual phone's control device: press its buttons, read its LEDs.
#pragma once

#include "win32_handle.h"

#include <winioctl.h>

#include "vphone/control_protocol.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace vphone {

// LED state as the latest output report left it.
struct LedState {
    bool offHook = false;
    bool ring = false;
    bool mute = false;
    friend bool operator==(const LedState&, const LedState&) = default;
};

class ControlChannel {
  public:
    // Opens \\.\VirtualPhoneControl; empty while the driver is not loaded.
    static std::optional<ControlChannel> Open();

    // Hands one input report (report ID first) to the phone. Returns a Win32 error code.
    DWORD Inject(std::span<const std::uint8_t> report) const;
    DWORD Query(VPHONE_STATUS& status) const;

    // Sets or clears one bit of the phone's data byte, keeping the others as last injected.
    DWORD SetInputBit(std::uint8_t bit, bool pressed) const;

    // Polls the driver until a phone is (or is no longer) started; false on timeout.
    bool WaitPresent(bool present, std::chrono::milliseconds timeout) const;

    // Polls the driver until a program holds an overlapped (reading) handle on the phone;
    // false on timeout.
    bool WaitReader(std::chrono::milliseconds timeout) const;

    // Polls the driver until `done` holds for its status; false on timeout.
    bool WaitUntil(const std::function<bool(const VPHONE_STATUS&)>& done,
                   std::chrono::milliseconds timeout) const;

  private:
    explicit ControlChannel(FileHandle handle) : handle_(std::move(handle)) {}
    FileHandle handle_;
};

// The logged output reports of `status`, oldest first.
std::span<const VPHONE_REPORT> LoggedOutputs(const VPHONE_STATUS& status);

// The LEDs as set by the latest LED report in the log; empty when none was received.
std::optional<LedState> LatestLeds(const VPHONE_STATUS& status);

}  // namespace vphone
