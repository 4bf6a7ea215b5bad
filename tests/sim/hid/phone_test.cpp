// The simulated phone as a person uses it, seen through the HID calls the agent makes.
#include <gtest/gtest.h>

#include "hid_test_support.h"
#include "simdesk/phone.h"

namespace {

using hidtest::Handle;
using simdesk::PhoneLeds;
using simdesk::SimulatedPhone;
using Report = std::vector<std::uint8_t>;

class Phone : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(phone_.Plug());
        reader_ = hidtest::Open(SimulatedPhone::TelephonyPath(), GENERIC_READ);
        ASSERT_TRUE(HidD_GetPreparsedData(reader_, &data_));
    }
    void TearDown() override {
        HidD_FreePreparsedData(data_);
        CloseHandle(reader_);
        simdesk::UnplugAllDevicesQuietly();
    }

    // The next input report the agent's reader would get.
    Report NextReport() {
        Report report(2, 0);
        DWORD bytes = 0;
        if (!ReadFile(reader_, report.data(), 2, &bytes, nullptr))
            return {};
        return report;
    }
    std::vector<USAGE> Pressed(const Report& input, USAGE page) {
        Report report = input;
        USAGE list[8]{};
        ULONG length = 8;
        if (HidP_GetUsages(HidP_Input, page, 0, list, &length, data_,
                           reinterpret_cast<PCHAR>(report.data()),
                           static_cast<ULONG>(report.size())) != HIDP_STATUS_SUCCESS)
            return {0xFFFF};
        return {list, list + length};
    }
    // One indicator write as the agent makes it: open, zeroed report, set or unset, write.
    NTSTATUS SetIndicator(USAGE usage, bool on) {
        Handle file(hidtest::Open(SimulatedPhone::TelephonyPath(), GENERIC_WRITE));
        Report report(2, 0);
        ULONG one = 1;
        const NTSTATUS status = (on ? HidP_SetUsages : HidP_UnsetUsages)(
            HidP_Output, 0x08, 0, &usage, &one, data_, reinterpret_cast<PCHAR>(report.data()), 2);
        DWORD written = 0;
        WriteFile(file.get(), report.data(), 2, &written, nullptr);
        return status;
    }

    simdesk::DesktopThread thread_;
    SimulatedPhone phone_;
    HANDLE reader_ = INVALID_HANDLE_VALUE;
    PHIDP_PREPARSED_DATA data_ = nullptr;
};

TEST_F(Phone, EveryActionSendsTheWholeState) {
    struct Step {
        const char* action;
        bool (SimulatedPhone::*act)();
        std::vector<USAGE> telephony;
        std::vector<USAGE> buttons;
    };
    const Step steps[] = {
        {"lift handset", &SimulatedPhone::LiftHandset, {0x20}, {}},
        {"press mute", &SimulatedPhone::PressMute, {0x2F, 0x20}, {}},
        {"release mute", &SimulatedPhone::ReleaseMute, {0x20}, {}},
        {"replace handset", &SimulatedPhone::ReplaceHandset, {}, {}},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE((phone_.*step.act)()) << step.action;
        const Report report = NextReport();
        ASSERT_EQ(report.size(), 2u) << step.action;
        EXPECT_EQ(report[0], SimulatedPhone::kInputReportId) << step.action;
        EXPECT_EQ(Pressed(report, 0x0B), step.telephony) << step.action;
        EXPECT_EQ(Pressed(report, 0x09), step.buttons) << step.action;
    }
}

TEST_F(Phone, ButtonsSevenToNine) {
    ASSERT_TRUE(phone_.PressButton(7));
    EXPECT_EQ(Pressed(NextReport(), 0x09), (std::vector<USAGE>{7}));
    ASSERT_TRUE(phone_.PressButton(9));
    EXPECT_EQ(Pressed(NextReport(), 0x09), (std::vector<USAGE>{7, 9}));
    ASSERT_TRUE(phone_.ReleaseButton(7));
    EXPECT_EQ(Pressed(NextReport(), 0x09), (std::vector<USAGE>{9}));
    EXPECT_FALSE(phone_.PressButton(6)) << "the phone has no button 6";
    EXPECT_FALSE(phone_.PressButton(10));
}

TEST_F(Phone, LedsFollowTheLatestReport) {
    std::vector<PhoneLeds> seen;
    phone_.SetLedObserver([&seen](const PhoneLeds& leds) { seen.push_back(leds); });
    ASSERT_EQ(SetIndicator(0x18, true), HIDP_STATUS_SUCCESS);
    EXPECT_TRUE(phone_.RingLit());
    EXPECT_FALSE(phone_.OffHookLit());
    // Each write starts from zeros: lighting Off-Hook puts Ring out.
    ASSERT_EQ(SetIndicator(0x17, true), HIDP_STATUS_SUCCESS);
    EXPECT_FALSE(phone_.RingLit());
    EXPECT_TRUE(phone_.OffHookLit());
    EXPECT_EQ(SetIndicator(0x18, false), HIDP_STATUS_BUTTON_NOT_PRESSED);
    EXPECT_FALSE(phone_.OffHookLit()) << "the report sent after a failed unset lights nothing";
    ASSERT_EQ(SetIndicator(0x09, true), HIDP_STATUS_SUCCESS);
    EXPECT_TRUE(phone_.MuteLit());

    EXPECT_EQ(phone_.LedReports(),
              (std::vector<Report>{{0x02, 0x04}, {0x02, 0x02}, {0x02, 0x00}, {0x02, 0x01}}));
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_TRUE(seen[0].ring);
    EXPECT_TRUE(seen[1].offHook && !seen[1].ring);
    EXPECT_TRUE(seen[3].mute);
}

// A whole desktop session's writes: the phone and the device keep the latest
// reports and count them all, so a long run's memory does not grow with them.
TEST_F(Phone, KeepsTheLatestLedReportsAndCountsThemAll) {
    constexpr std::size_t kWrites = 300;
    constexpr std::size_t kKept = 256;
    for (std::size_t i = 0; i < kWrites; ++i)
        SetIndicator(i % 2 == 0 ? 0x18 : 0x17, true);
    const auto kept = phone_.LedReports();
    ASSERT_EQ(kept.size(), kKept);
    EXPECT_EQ(kept.front(), (Report{0x02, 0x04})) << "write 44, a Ring write, is the oldest kept";
    EXPECT_EQ(kept.back(), (Report{0x02, 0x02}));
    EXPECT_EQ(phone_.LedReportCount(), kWrites);
    EXPECT_EQ(simdesk::OutputReports(phone_.Id(), SimulatedPhone::kTelephonyInterface), kept);
    EXPECT_EQ(simdesk::OutputReportCount(phone_.Id(), SimulatedPhone::kTelephonyInterface),
              kWrites);
}

TEST_F(Phone, UnpluggedPhoneIsDarkAndDeaf) {
    ASSERT_EQ(SetIndicator(0x18, true), HIDP_STATUS_SUCCESS);
    ASSERT_TRUE(phone_.Unplug());
    EXPECT_FALSE(phone_.IsPlugged());
    EXPECT_FALSE(phone_.RingLit());
    EXPECT_FALSE(phone_.LiftHandset());
    EXPECT_FALSE(phone_.Unplug());
    ASSERT_TRUE(phone_.Plug()) << "plugged back in";
    EXPECT_FALSE(phone_.IsHandsetLifted());
    EXPECT_EQ(hidtest::ListedPaths().at(1), SimulatedPhone::TelephonyPath());
}

TEST_F(Phone, LookAlikesDifferWhereTheAgentLooks) {
    struct Row {
        simdesk::DeviceModel model;
        USHORT page;
        USHORT inputLength;
    };
    const Row rows[] = {
        {simdesk::PhoneIdsOtherPageModel(), 0xFF00, 2},
        {simdesk::TelephonyLength3Model(), 0x0B, 3},
        {simdesk::KeyboardModel(), 0x01, 9},
        {simdesk::MouseModel(), 0x01, 5},
    };
    for (const Row& row : rows) {
        const auto id = simdesk::PlugDevice(row.model);
        ASSERT_NE(id, 0u) << row.model.name;
        Handle file(hidtest::Open(simdesk::DeviceInterfaces(id).at(0).path, 0));
        PHIDP_PREPARSED_DATA data = nullptr;
        ASSERT_TRUE(HidD_GetPreparsedData(file.get(), &data)) << row.model.name;
        HIDP_CAPS caps{};
        HidP_GetCaps(data, &caps);
        HidD_FreePreparsedData(data);
        EXPECT_EQ(caps.UsagePage, row.page) << row.model.name;
        EXPECT_EQ(caps.InputReportByteLength, row.inputLength) << row.model.name;
        HIDD_ATTRIBUTES attributes{};
        HidD_GetAttributes(file.get(), &attributes);
        EXPECT_EQ(attributes.VendorID == 0xF1CE && attributes.ProductID == 0x0B5D,
                  row.model.vendorId == 0xF1CE)
            << row.model.name;
    }
}

}  // namespace
