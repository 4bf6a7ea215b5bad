// The device record on the simulated HID stack: item tables in Windows' cap
// order, decoding and release.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hid/device_record.h"
#include "hid/target_device.h"
#include "simdesk/desktop.h"
#include "simdesk/devices.h"
#include "simdesk/phone.h"

namespace {

using simdesk::SimulatedPhone;
using target_device::kButtonPage;
using target_device::kHookSwitch;
using target_device::kPhoneMute;
using target_device::kTelephonyPage;

std::string Narrow(const std::wstring& wide) {
    return std::string(wide.begin(), wide.end());
}

// Report bits of the phone's telephony input report (ID 1).
constexpr std::uint8_t kMuteBit = 1u << 0;
constexpr std::uint8_t kHookBit = 1u << 1;
constexpr std::uint8_t kButton7Bit = 1u << 2;
constexpr std::uint8_t kButton8Bit = 1u << 3;
constexpr std::uint8_t kButton9Bit = 1u << 4;

class DeviceRecordTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(phone.Plug());
        ASSERT_TRUE(OpenTargetDevice(Narrow(SimulatedPhone::TelephonyPath()).c_str()));
    }
    void TearDown() override { CloseTargetDevice(); }

    bool Decode(std::uint8_t reportId, std::uint8_t bits) {
        char report[2] = {static_cast<char>(reportId), static_cast<char>(bits)};
        return UnpackInputReport(report, sizeof(report), deviceRecord.input.items.get(),
                                 deviceRecord.input.itemCount, deviceRecord.parsedDescriptor);
    }
    std::vector<USAGE> Usages(ULONG index) const {
        const ReportItem& item = deviceRecord.input.items[index];
        return std::vector<USAGE>(item.button.usages.get(),
                                  item.button.usages.get() + item.button.maxUsageCount);
    }

    simdesk::DesktopThread thread;
    SimulatedPhone phone;
};

struct ItemExpectation {
    USHORT page;
    ULONG usageMin;
    ULONG usageMax;
    ULONG maxUsageCount;
};

TEST_F(DeviceRecordTest, InputItemsFollowWindowsCapOrder) {
    EXPECT_EQ(deviceRecord.capabilities.UsagePage, kTelephonyPage);
    EXPECT_EQ(deviceRecord.capabilities.InputReportByteLength, 2);
    const ItemExpectation expected[] = {
        {kTelephonyPage, kPhoneMute, kPhoneMute, 2},
        {kTelephonyPage, kHookSwitch, kHookSwitch, 2},
        {kButtonPage, 7, 9, 3},
    };
    ASSERT_EQ(deviceRecord.input.itemCount, std::size(expected));
    for (ULONG i = 0; i < deviceRecord.input.itemCount; ++i) {
        SCOPED_TRACE(testing::Message() << "input item " << i);
        const ReportItem& item = deviceRecord.input.items[i];
        EXPECT_TRUE(item.isButton);
        EXPECT_EQ(item.usagePage, expected[i].page);
        EXPECT_EQ(item.button.usageMin, expected[i].usageMin);
        EXPECT_EQ(item.button.usageMax, expected[i].usageMax);
        EXPECT_EQ(item.button.maxUsageCount, expected[i].maxUsageCount);
        EXPECT_EQ(item.reportId, SimulatedPhone::kInputReportId);
        EXPECT_EQ(item.status, HIDP_STATUS_SUCCESS);
        EXPECT_FALSE(item.hasData);
    }
    // One item per LED of the output report; no feature report.
    EXPECT_EQ(deviceRecord.output.itemCount, 5u);
    EXPECT_EQ(deviceRecord.feature.itemCount, 0u);
    EXPECT_NE(deviceRecord.deviceHandle, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(deviceRecord.openedPath.get(), Narrow(SimulatedPhone::TelephonyPath()).c_str());
}

TEST_F(DeviceRecordTest, DecodingKeepsEachItemsOwnUsagesInOrder) {
    ASSERT_TRUE(Decode(SimulatedPhone::kInputReportId, kMuteBit | kHookBit | kButton8Bit));
    // Telephony usages outside an item's range are dropped from its list.
    EXPECT_EQ(Usages(0), (std::vector<USAGE>{kPhoneMute, 0}));
    EXPECT_EQ(Usages(1), (std::vector<USAGE>{kHookSwitch, 0}));
    EXPECT_EQ(Usages(2)[0], 8);
    EXPECT_EQ(Usages(2)[1], 0);
    for (ULONG i = 0; i < 3; ++i)
        EXPECT_TRUE(deviceRecord.input.items[i].hasData) << i;

    // Nothing pressed: each list begins with 0.
    ASSERT_TRUE(Decode(SimulatedPhone::kInputReportId, 0));
    for (ULONG i = 0; i < 3; ++i)
        EXPECT_EQ(Usages(i)[0], 0) << "item " << i;

    // As many pressed as the list holds: full, no terminating 0.
    ASSERT_TRUE(Decode(SimulatedPhone::kInputReportId, kButton7Bit | kButton8Bit | kButton9Bit));
    EXPECT_EQ(Usages(2), (std::vector<USAGE>{7, 8, 9}));
}

TEST_F(DeviceRecordTest, ReportsOfAnotherIdOrNoItemsChangeNothing) {
    ASSERT_TRUE(Decode(SimulatedPhone::kInputReportId, kHookBit));
    ASSERT_TRUE(Decode(/*reportId=*/5, kMuteBit));
    EXPECT_EQ(Usages(1)[0], kHookSwitch);
    EXPECT_EQ(Usages(0)[0], 0);

    char report[2] = {1, kMuteBit};
    EXPECT_TRUE(UnpackInputReport(report, sizeof(report), deviceRecord.input.items.get(),
                                  /*itemCount=*/0, deviceRecord.parsedDescriptor));
    EXPECT_EQ(Usages(0)[0], 0);
}

TEST_F(DeviceRecordTest, CloseReleasesEverythingAndIsHarmlessTwice) {
    CloseTargetDevice();
    EXPECT_EQ(deviceRecord.deviceHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(deviceRecord.parsedDescriptor, nullptr);
    EXPECT_EQ(deviceRecord.openedPath, nullptr);
    EXPECT_EQ(deviceRecord.input.items, nullptr);
    EXPECT_EQ(deviceRecord.input.itemCount, 0u);
    EXPECT_EQ(deviceRecord.output.items, nullptr);
    EXPECT_EQ(deviceRecord.input.report, nullptr);
    EXPECT_EQ(simdesk::OpenHandleCount(phone.Id(), SimulatedPhone::kTelephonyInterface), 0u);
    CloseTargetDevice();
    EXPECT_EQ(deviceRecord.deviceHandle, INVALID_HANDLE_VALUE);
    // And the record opens again.
    EXPECT_TRUE(OpenTargetDevice(Narrow(SimulatedPhone::TelephonyPath()).c_str()));
}

TEST(DeviceRecordOpen, RefusesMissingTooLongAndUnknownPaths) {
    simdesk::DesktopThread thread;
    EXPECT_FALSE(OpenTargetDevice(nullptr));
    const std::string tooLong(260, 'a');
    EXPECT_FALSE(OpenTargetDevice(tooLong.c_str()));
    const std::string longest = "\\\\?\\hid#" + std::string(259 - 8, 'b');
    EXPECT_FALSE(OpenTargetDevice(longest.c_str()));  // accepted for opening, but no such device
    EXPECT_EQ(deviceRecord.openedPath, nullptr);
    EXPECT_EQ(deviceRecord.deviceHandle, INVALID_HANDLE_VALUE);
}

TEST(DeviceRecordOpen, ATooLongPathLeavesAnOpenRecordAlone) {
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
    ASSERT_TRUE(phone.Plug());
    ASSERT_TRUE(OpenTargetDevice(Narrow(SimulatedPhone::TelephonyPath()).c_str()));
    const HANDLE handle = deviceRecord.deviceHandle;
    EXPECT_FALSE(OpenTargetDevice(std::string(300, 'c').c_str()));
    EXPECT_EQ(deviceRecord.deviceHandle, handle);
    EXPECT_NE(deviceRecord.openedPath, nullptr);
    CloseTargetDevice();
}

// A telephony collection with a value whose physical range is unset: the raw
// value reads, the scaled one does not.
simdesk::DeviceModel ValueDeviceModel() {
    simdesk::DeviceModel model;
    model.name = "telephony device with a value";
    model.vendorId = 0x1234;
    model.productId = 0x0001;
    model.reportDescriptor = {
        0x05, 0x0B, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01,              // Telephony, report 1
        0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x01, 0x09, 0x20,  // Hook Switch
        0x81, 0x02, 0x75, 0x07, 0x95, 0x01, 0x81, 0x03,              // padding
        0x15, 0x00, 0x25, 0x64, 0x75, 0x08, 0x95, 0x01, 0x09, 0x07,  // a value 0..100
        0x81, 0x02, 0xC0,
    };
    return model;
}

TEST(DeviceRecordValues, AFailedScaledReadIsRecordedAndDecodingGoesOn) {
    simdesk::DesktopThread thread;
    const simdesk::DeviceId device = simdesk::PlugDevice(ValueDeviceModel());
    ASSERT_NE(device, 0u);
    ASSERT_TRUE(OpenTargetDevice(Narrow(simdesk::DeviceInterfaces(device).at(0).path).c_str()));
    ASSERT_EQ(deviceRecord.input.itemCount, 2u);
    const ReportItem& value = deviceRecord.input.items[1];
    ASSERT_FALSE(value.isButton);
    EXPECT_EQ(value.value.usage, 0x07);

    char report[3] = {1, 1, 42};
    EXPECT_TRUE(UnpackInputReport(report, sizeof(report), deviceRecord.input.items.get(),
                                  deviceRecord.input.itemCount, deviceRecord.parsedDescriptor));
    EXPECT_EQ(value.value.value, 42u);
    EXPECT_NE(value.status, HIDP_STATUS_SUCCESS);
    EXPECT_TRUE(value.hasData);
    EXPECT_EQ(deviceRecord.input.items[0].button.usages[0], kHookSwitch);

    // A report of the wrong length cannot be read: decoding stops there.
    EXPECT_FALSE(UnpackInputReport(report, 2, deviceRecord.input.items.get(),
                                   deviceRecord.input.itemCount, deviceRecord.parsedDescriptor));
    CloseTargetDevice();
}

}  // namespace
