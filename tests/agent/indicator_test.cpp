// Indicator writes on the simulated phone, without the rest of the agent.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "hid/indicator_output.h"
#include "hid/target_device.h"
#include "simdesk/desktop.h"
#include "simdesk/phone.h"

namespace {

using Report = std::vector<std::uint8_t>;
using simdesk::SimulatedPhone;

constexpr std::uint8_t kLedReportId = SimulatedPhone::kLedReportId;

class Indicators : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(phone.Plug());
        SetDevicePath(SimulatedPhone::TelephonyNotificationPath().c_str());
    }
    Report LastReport() const {
        const auto reports = phone.LedReports();
        return reports.empty() ? Report{} : reports.back();
    }
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
};

TEST_F(Indicators, EachWriteStartsFromZerosWithTheLedReportId) {
    EXPECT_EQ(SetIndicator(target_device::kRingLed, true), HIDP_STATUS_SUCCESS);
    EXPECT_TRUE(phone.RingLit());
    EXPECT_FALSE(phone.OffHookLit());
    EXPECT_EQ(LastReport().at(0), kLedReportId);

    // Lighting Off-Hook puts Ring out.
    EXPECT_EQ(SetIndicator(target_device::kOffHookLed, true), HIDP_STATUS_SUCCESS);
    EXPECT_FALSE(phone.RingLit());
    EXPECT_TRUE(phone.OffHookLit());

    // Clearing sends a report with none lit, even for an LED that is not lit.
    EXPECT_EQ(SetIndicator(target_device::kRingLed, false), HIDP_STATUS_SUCCESS);
    EXPECT_FALSE(phone.OffHookLit());
    const Report cleared = LastReport();
    ASSERT_FALSE(cleared.empty());
    EXPECT_EQ(cleared[0], kLedReportId);
    for (std::size_t i = 1; i < cleared.size(); ++i)
        EXPECT_EQ(cleared[i], 0) << "byte " << i;
    EXPECT_EQ(phone.LedReports().size(), 3u);
}

TEST_F(Indicators, ShowCallAnsweredLeavesOnlyOffHookLit) {
    SetIndicator(target_device::kRingLed, true);
    ShowCallAnswered();
    EXPECT_FALSE(phone.RingLit());
    EXPECT_TRUE(phone.OffHookLit());
    EXPECT_EQ(phone.LedReports().size(), 3u);
}

TEST_F(Indicators, AUsageTheReportDoesNotCarryIsNotWritten) {
    constexpr USHORT kCapsLockLed = 0x02;
    EXPECT_EQ(SetIndicator(kCapsLockLed, true), HIDP_STATUS_USAGE_NOT_FOUND);
    EXPECT_TRUE(phone.LedReports().empty());
}

TEST_F(Indicators, AStaleOrForeignPathWritesNothing) {
    // Another collection of the phone: its output report carries no LEDs.
    SetDevicePath(
        L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&Col03#7&1a2b3c4d&0&0002#{4d1e55b2-f16f-11cf-88cb-"
        L"001111000030}");
    EXPECT_NE(SetIndicator(target_device::kRingLed, true), HIDP_STATUS_SUCCESS);
    EXPECT_TRUE(phone.LedReports().empty());

    SetDevicePath(SimulatedPhone::TelephonyNotificationPath().c_str());
    ASSERT_TRUE(phone.Unplug());
    EXPECT_EQ(SetIndicator(target_device::kRingLed, true), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST(IndicatorsWithoutPath, NoPathRecordedMeansNoWrite) {
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
    ASSERT_TRUE(phone.Plug());
    EXPECT_NE(SetIndicator(target_device::kRingLed, true), HIDP_STATUS_SUCCESS);
    EXPECT_TRUE(phone.LedReports().empty());
}

TEST(IndicatorsWithoutPath, LongPathsAreKeptWhole) {
    simdesk::DesktopThread thread;
    const std::wstring longPath(500, L'x');
    SetDevicePath(longPath.c_str());
    std::lock_guard lock(devicePathRecord.lock);
    EXPECT_EQ(devicePathRecord.length, 500u);
    EXPECT_EQ(std::wstring(devicePathRecord.path.get()), longPath);
}

}  // namespace
