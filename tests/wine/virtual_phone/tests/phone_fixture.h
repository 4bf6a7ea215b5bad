// Puts the virtual phone in place for a test (installed, started and listed by SetupAPI)
// and takes it away afterwards.
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

// Opens the driver's control channel, installing the phone first when the driver is not
// loaded.
::testing::AssertionResult LoadDriver(std::optional<ControlChannel>& control);

// Removes the phone if it is registered and waits until it is gone.
::testing::AssertionResult UnplugPhone(const ControlChannel& control);

// Unplugs the phone if present and plugs it in again, then waits until it is started and
// listed. Each plug makes a new generation in the driver's handle counts.
::testing::AssertionResult ReplugPhone(const ControlChannel& control);

// Wine connects a window's device notifications to its PnP service only after
// RegisterDeviceNotificationW has returned, so an event right after registering can be
// lost. Re-plugs the phone until `notifications` has seen an arrival (a few tries at most).
::testing::AssertionResult ReplugUntilAnnounced(const ControlChannel& control,
                                                DeviceNotifications& notifications);

class VirtualPhoneTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the phone for overlapped reading and writing, as a HID client would.
    FileHandle OpenPhone(DWORD flags = FILE_FLAG_OVERLAPPED) const;
    VPHONE_STATUS Status() const;

    std::optional<ControlChannel> control_;
};

}  // namespace vphone::test
