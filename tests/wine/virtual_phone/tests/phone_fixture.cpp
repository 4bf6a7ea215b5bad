#include "phone_fixture.h"

namespace vphone::test {

namespace {
constexpr int kAnnouncementTries = 5;
constexpr auto kAnnouncementTimeout = std::chrono::milliseconds(1000);
}  // namespace

::testing::AssertionResult ReplugPhone(const ControlChannel& control) {
    RemovePhone();  // fails harmlessly when the phone is not registered
    if (!control.WaitPresent(/*present=*/false, kDeviceTimeout))
        return ::testing::AssertionFailure() << "the phone never went away";
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

void VirtualPhoneTest::SetUp() {
    control_ = ControlChannel::Open();
    if (!control_ || !control_->WaitPresent(/*present=*/true, std::chrono::milliseconds(0))) {
        // Registered but not started, or not registered at all: start from a clean install.
        RemovePhone();
        const StepResult installed = InstallPhone(InfBesideExecutable());
        ASSERT_TRUE(installed.ok()) << installed.step << " failed with error " << installed.error;
        control_ = ControlChannel::Open();
    }
    ASSERT_TRUE(control_) << "the control device of the virtual phone driver cannot be opened";
    ASSERT_TRUE(control_->WaitPresent(/*present=*/true, kDeviceTimeout))
        << "the phone never started";
    ASSERT_TRUE(WaitListed(kListedPath, /*listed=*/true, kDeviceTimeout))
        << "SetupAPI never listed the phone";
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
