#include "phone_fixture.h"

namespace vphone::test {

namespace {
constexpr int kAnnouncementTries = 5;
constexpr auto kAnnouncementTimeout = std::chrono::milliseconds(1000);
}  // namespace

::testing::AssertionResult ReplugPhone(const ControlChannel& control) {
    if (auto unplugged = UnplugPhone(control); !unplugged)
        return unplugged;
    const StepResult installed = InstallPhone(InfBesideExecutable());
    if (!installed.ok())
        return ::testing::AssertionFailure()
               << installed.step << " failed with error " << installed.error;
    if (!control.WaitPresent(/*present=*/true, kDeviceTimeout))
        return ::testing::AssertionFailure() << "the phone never started";
    if (!WaitListed(kListedPath, /*listed=*/true, kDeviceTimeout))
        return ::testing::AssertionFailure() << "SetupAPI never listed the phone";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ReplugUntilAnnounced(const ControlChannel& control,
                                                DeviceNotifications& notifications) {
    for (int attempt = 0; attempt < kAnnouncementTries; ++attempt) {
        if (auto plugged = ReplugPhone(control); !plugged)
            return plugged;
        if (notifications.WaitFor(DBT_DEVICEARRIVAL, kListedPath, kAnnouncementTimeout))
            return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "no arrival notification in " << kAnnouncementTries << " plugs";
}

::testing::AssertionResult LoadDriver(std::optional<ControlChannel>& control) {
    control = ControlChannel::Open();
    if (!control) {
        // Installing the phone loads the driver; start from a clean registration.
        RemovePhone();
        const StepResult installed = InstallPhone(InfBesideExecutable());
        if (!installed.ok())
            return ::testing::AssertionFailure()
                   << installed.step << " failed with error " << installed.error;
        control = ControlChannel::Open();
    }
    if (!control)
        return ::testing::AssertionFailure()
               << "the control device of the virtual phone driver cannot be opened";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult UnplugPhone(const ControlChannel& control) {
    RemovePhone();  // fails harmlessly when the phone is not registered
    if (!control.WaitPresent(/*present=*/false, kDeviceTimeout))
        return ::testing::AssertionFailure() << "the phone never went away";
    return ::testing::AssertionSuccess();
}

void VirtualPhoneTest::SetUp() {
    ASSERT_TRUE(LoadDriver(control_));
    ASSERT_TRUE(ReplugPhone(*control_));
}

void VirtualPhoneTest::TearDown() {
    // Leaves the prefix without a phone, as the tests that do not ask for one expect.
    if (control_) {
        EXPECT_TRUE(UnplugPhone(*control_));
    }
}

FileHandle VirtualPhoneTest::OpenPhone(DWORD flags) const {
    return FileHandle(CreateFileW(kListedPath, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                                  nullptr));
}

VPHONE_STATUS VirtualPhoneTest::Status() const {
    VPHONE_STATUS status{};
    EXPECT_EQ(control_->Query(status), static_cast<DWORD>(ERROR_SUCCESS));
    return status;
}

}  // namespace vphone::test
