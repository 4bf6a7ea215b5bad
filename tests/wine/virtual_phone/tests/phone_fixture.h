// Puts the virtual phone in place for a test: installed, started and listed by SetupAPI.
#pragma once

#include "control_channel.h"
#include "hid_probe.h"
#include "installer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vphone::test {

inline constexpr auto kDeviceTimeout = std::chrono::milliseconds(10000);
inline constexpr auto kReportTimeout = std::chrono::milliseconds(5000);

class VirtualPhoneTest : public ::testing::Test {
  protected:
    void SetUp() override;

    // Opens the phone for overlapped reading and writing, as a HID client would.
    FileHandle OpenPhone(DWORD flags = FILE_FLAG_OVERLAPPED) const;
    VPHONE_STATUS Status() const;

    std::optional<ControlChannel> control_;
};

}  // namespace vphone::test
