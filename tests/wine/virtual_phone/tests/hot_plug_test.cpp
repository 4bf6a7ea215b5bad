// Unplugging and plugging the phone back: what a program holding it open sees, and the
// interface notifications that announce it.
#include "phone_fixture.h"

#include "vphone/phone_layout.h"

#include <array>

namespace vphone::test {
namespace {

using VirtualPhoneHotPlug = VirtualPhoneTest;

constexpr std::array<std::uint8_t, 2> kHookLifted{VPHONE_INPUT_REPORT_ID, VPHONE_INPUT_BIT_HOOK};

TEST_F(VirtualPhoneHotPlug, RemovalEndsReadsAndIsAnnouncedAndThePhoneWorksAgainWhenReadded) {
    DeviceNotifications notifications;
    ASSERT_TRUE(notifications.ready());
    ASSERT_TRUE(ReplugUntilAnnounced(*control_, notifications));
    const std::size_t warmedUp = notifications.count();
    FileHandle device = OpenPhone();
    ASSERT_TRUE(device.valid());
    OverlappedRead held(device.get(), VPHONE_INPUT_REPORT_LENGTH);
    ASSERT_EQ(held.startError(), static_cast<DWORD>(ERROR_SUCCESS));

    const StepResult removed = RemovePhone();
    ASSERT_TRUE(removed.ok()) << removed.step << " failed with error " << removed.error;

    const ReadResult ended = held.Wait(kDeviceTimeout);
    EXPECT_TRUE(ended.completed) << "a read held across the removal never ended";
    EXPECT_NE(ended.error, static_cast<DWORD>(ERROR_SUCCESS));

    const auto removal =
        notifications.WaitFor(DBT_DEVICEREMOVECOMPLETE, kListedPath, kDeviceTimeout, warmedUp);
    ASSERT_TRUE(removal) << "no removal notification";
    // The notification spells the path in upper case, which the agent's path test accepts.
    EXPECT_NE(removal->find(L"VID_F1CE&PID_0B5D"), std::wstring::npos);
    EXPECT_NE(removal->find(L"COL02#0001#"), std::wstring::npos);
    EXPECT_TRUE(WaitListed(kListedPath, /*listed=*/false, kDeviceTimeout));
    EXPECT_TRUE(control_->WaitPresent(/*present=*/false, kDeviceTimeout));
    EXPECT_EQ(control_->Inject(kHookLifted), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));

    OverlappedRead stale(device.get(), VPHONE_INPUT_REPORT_LENGTH);
    const ReadResult staleResult = stale.Wait(kReportTimeout);
    EXPECT_TRUE(staleResult.completed);
    EXPECT_NE(staleResult.error, static_cast<DWORD>(ERROR_SUCCESS))
        << "a read on a handle of the removed phone";

    const StepResult installed = InstallPhone(InfBesideExecutable());
    ASSERT_TRUE(installed.ok()) << installed.step << " failed with error " << installed.error;
    const auto arrival =
        notifications.WaitFor(DBT_DEVICEARRIVAL, kListedPath, kDeviceTimeout, warmedUp);
    ASSERT_TRUE(arrival) << "no arrival notification";
    EXPECT_EQ(*arrival, *removal) << "arrival and removal spell the path alike";
    ASSERT_TRUE(control_->WaitPresent(/*present=*/true, kDeviceTimeout));

    FileHandle again = OpenPhone();
    ASSERT_TRUE(again.valid()) << "error " << GetLastError();
    OverlappedRead read(again.get(), VPHONE_INPUT_REPORT_LENGTH);
    ASSERT_EQ(control_->Inject(kHookLifted), static_cast<DWORD>(ERROR_SUCCESS));
    const ReadResult result = read.Wait(kReportTimeout);
    ASSERT_TRUE(result.completed);
    EXPECT_EQ(result.bytes, std::vector<unsigned char>(kHookLifted.begin(), kHookLifted.end()));
}

}  // namespace
}  // namespace vphone::test
