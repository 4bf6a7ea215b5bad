// HID.DLL parsing routines on the phone's descriptor and on small descriptors
// that reach Windows' status codes.
#include <gtest/gtest.h>

#include "hid_test_support.h"
#include "simdesk/phone.h"

namespace {

using hidtest::ParseCollection;
using hidtest::Preparsed;
using Report = std::vector<std::uint8_t>;

constexpr USAGE kTelephony = 0x0B;
constexpr USAGE kButton = 0x09;
constexpr USAGE kLed = 0x08;
constexpr USAGE kGeneric = 0x01;

PCHAR Bytes(Report& report) {
    return reinterpret_cast<PCHAR>(report.data());
}
ULONG Length(const Report& report) {
    return static_cast<ULONG>(report.size());
}

Preparsed PhoneTelephony() {
    return ParseCollection(simdesk::SimulatedPhone::Model().reportDescriptor,
                           simdesk::SimulatedPhone::kTelephonyInterface);
}

std::vector<USAGE> Usages(PHIDP_PREPARSED_DATA data, USAGE page, Report report,
                          NTSTATUS* status = nullptr) {
    std::vector<USAGE> list(16);
    ULONG length = static_cast<ULONG>(list.size());
    const NTSTATUS result = HidP_GetUsages(HidP_Input, page, 0, list.data(), &length, data,
                                           Bytes(report), Length(report));
    if (status != nullptr)
        *status = result;
    list.resize(result == HIDP_STATUS_SUCCESS ? length : 0);
    return list;
}

TEST(PhoneCaps, TelephonyCollectionAsTheDeviceLayerExpectsIt) {
    Preparsed data = PhoneTelephony();
    ASSERT_TRUE(data);
    HIDP_CAPS caps{};
    ASSERT_EQ(HidP_GetCaps(data.get(), &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.UsagePage, kTelephony);
    EXPECT_EQ(caps.InputReportByteLength, 2);
    EXPECT_EQ(caps.OutputReportByteLength, 2);
    EXPECT_EQ(caps.NumberInputButtonCaps, 3);
    EXPECT_EQ(caps.NumberInputValueCaps, 0);
    EXPECT_EQ(caps.NumberOutputButtonCaps, 5);

    HIDP_BUTTON_CAPS input[3]{};
    USHORT count = 3;
    ASSERT_EQ(HidP_GetButtonCaps(HidP_Input, input, &count, data.get()), HIDP_STATUS_SUCCESS);
    ASSERT_EQ(count, 3);
    struct Expected {
        USAGE page, min, max;
        bool isRange;
    };
    const Expected expected[] = {{kTelephony, 0x2F, 0x2F, false},  // Phone Mute
                                 {kTelephony, 0x20, 0x20, false},  // Hook Switch
                                 {kButton, 7, 9, true}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("input cap " + std::to_string(i));
        EXPECT_EQ(input[i].UsagePage, expected[i].page);
        EXPECT_EQ(input[i].ReportID, simdesk::SimulatedPhone::kInputReportId);
        EXPECT_EQ(input[i].IsRange, expected[i].isRange);
        // The device layer reads both ends through Range even for a single usage.
        EXPECT_EQ(input[i].Range.UsageMin, expected[i].min);
        EXPECT_EQ(input[i].Range.UsageMax, expected[i].max);
        if (!expected[i].isRange) {
            EXPECT_EQ(input[i].NotRange.Usage, expected[i].min);
        }
    }

    HIDP_BUTTON_CAPS output[5]{};
    count = 5;
    ASSERT_EQ(HidP_GetButtonCaps(HidP_Output, output, &count, data.get()), HIDP_STATUS_SUCCESS);
    std::vector<USAGE> leds;
    for (USHORT i = 0; i < count; ++i) {
        EXPECT_EQ(output[i].UsagePage, kLed);
        EXPECT_EQ(output[i].ReportID, simdesk::SimulatedPhone::kLedReportId);
        leds.push_back(output[i].NotRange.Usage);
    }
    // Last declared usage first: Microphone, Hold, Ring, Off-Hook, Mute.
    EXPECT_EQ(leds, (std::vector<USAGE>{0x21, 0x20, 0x18, 0x17, 0x09}));
}

TEST(PhoneCaps, EveryCollectionOfThePhoneParses) {
    const auto descriptor = simdesk::SimulatedPhone::Model().reportDescriptor;
    const USAGE pages[] = {0x0C, kTelephony, 0xFF00};
    for (std::size_t i = 0; i < 3; ++i) {
        Preparsed data = ParseCollection(descriptor, i);
        ASSERT_TRUE(data) << "collection " << i;
        HIDP_CAPS caps{};
        ASSERT_EQ(HidP_GetCaps(data.get(), &caps), HIDP_STATUS_SUCCESS);
        EXPECT_EQ(caps.UsagePage, pages[i]) << "collection " << i;
    }
    EXPECT_FALSE(ParseCollection(descriptor, 3));
}

TEST(CapsQueries, SpecificCapsCountsAndListLengths) {
    Preparsed data = PhoneTelephony();
    HIDP_BUTTON_CAPS cap[3]{};
    USHORT count = 3;
    ASSERT_EQ(HidP_GetSpecificButtonCaps(HidP_Input, kTelephony, 0, 0x20, cap, &count, data.get()),
              HIDP_STATUS_SUCCESS);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(cap[0].NotRange.Usage, 0x20);
    count = 3;
    EXPECT_EQ(HidP_GetSpecificButtonCaps(HidP_Input, kLed, 0, 0, cap, &count, data.get()),
              HIDP_STATUS_USAGE_NOT_FOUND);
    EXPECT_EQ(count, 0);
    count = 1;
    EXPECT_EQ(HidP_GetButtonCaps(HidP_Input, cap, &count, data.get()),
              HIDP_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 1);
    HIDP_VALUE_CAPS value{};
    count = 1;
    EXPECT_EQ(HidP_GetValueCaps(HidP_Input, &value, &count, data.get()),
              HIDP_STATUS_USAGE_NOT_FOUND);
    EXPECT_EQ(HidP_GetButtonCaps(static_cast<HIDP_REPORT_TYPE>(3), cap, &count, data.get()),
              HIDP_STATUS_INVALID_REPORT_TYPE);
    EXPECT_EQ(HidP_GetCaps(nullptr, nullptr), HIDP_STATUS_INVALID_PREPARSED_DATA);

    struct Row {
        HIDP_REPORT_TYPE type;
        USAGE page;
        ULONG expected;
    };
    const Row rows[] = {{HidP_Input, kTelephony, 2}, {HidP_Input, kButton, 3},
                        {HidP_Input, 0, 5},          {HidP_Input, kLed, 0},
                        {HidP_Output, kLed, 5},      {HidP_Feature, 0, 0}};
    for (const Row& row : rows)
        EXPECT_EQ(HidP_MaxUsageListLength(row.type, row.page, data.get()), row.expected)
            << "type " << row.type << " page " << row.page;
    EXPECT_EQ(HidP_MaxUsageListLength(HidP_Input, 0, nullptr), 0u);
}

TEST(GetUsages, PressedUsagesInCapOrder) {
    Preparsed data = PhoneTelephony();
    // Mute, hook, buttons 7 and 9.
    const Report report = {0x01, 0b10111};
    EXPECT_EQ(Usages(data.get(), kTelephony, report), (std::vector<USAGE>{0x2F, 0x20}));
    EXPECT_EQ(Usages(data.get(), kButton, report), (std::vector<USAGE>{7, 9}));
    NTSTATUS status = 0;
    EXPECT_TRUE(Usages(data.get(), kButton, {0x01, 0x00}, &status).empty());
    EXPECT_EQ(status, HIDP_STATUS_SUCCESS);
}

TEST(GetUsages, FailuresCarryWindowsStatuses) {
    Preparsed data = PhoneTelephony();
    struct Row {
        const char* name;
        HIDP_REPORT_TYPE type;
        USAGE page;
        Report report;
        bool nullData;
        NTSTATUS expected;
    };
    const Row rows[] = {
        {"report one byte short",
         HidP_Input,
         kTelephony,
         {0x01},
         false,
         HIDP_STATUS_INVALID_REPORT_LENGTH},
        {"report one byte long",
         HidP_Input,
         kTelephony,
         {0x01, 0, 0},
         false,
         HIDP_STATUS_INVALID_REPORT_LENGTH},
        {"no such report type",
         static_cast<HIDP_REPORT_TYPE>(3),
         kTelephony,
         {0x01, 0},
         false,
         HIDP_STATUS_INVALID_REPORT_TYPE},
        {"page not in the collection",
         HidP_Input,
         0x0C,
         {0x01, 0},
         false,
         HIDP_STATUS_USAGE_NOT_FOUND},
        {"report ID of another report",
         HidP_Input,
         kTelephony,
         {0x02, 0},
         false,
         HIDP_STATUS_INCOMPATIBLE_REPORT_ID},
        {"no parsed data",
         HidP_Input,
         kTelephony,
         {0x01, 0},
         true,
         HIDP_STATUS_INVALID_PREPARSED_DATA},
    };
    for (const Row& row : rows) {
        Report report = row.report;
        USAGE list[8]{};
        ULONG length = 8;
        EXPECT_EQ(
            HidP_GetUsages(row.type, row.page, 0, list, &length,
                           row.nullData ? nullptr : data.get(), Bytes(report), Length(report)),
            row.expected)
            << row.name;
    }
}

TEST(GetUsages, TooSmallListReportsTheNeededLength) {
    Preparsed data = PhoneTelephony();
    Report report = {0x01, 0b00011};  // mute and hook
    USAGE list[1]{};
    ULONG length = 1;
    EXPECT_EQ(HidP_GetUsages(HidP_Input, kTelephony, 0, list, &length, data.get(), Bytes(report),
                             Length(report)),
              HIDP_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 2u);
}

TEST(SetUsages, ZeroedReportTakesTheUsagesReportId) {
    Preparsed data = PhoneTelephony();
    Report report(2, 0);
    USAGE ring = 0x18;
    ULONG one = 1;
    ASSERT_EQ(HidP_SetUsages(HidP_Output, kLed, 0, &ring, &one, data.get(), Bytes(report),
                             Length(report)),
              HIDP_STATUS_SUCCESS);
    EXPECT_EQ(report, (Report{0x02, 0b00100}));
    USAGE offHook = 0x17;
    ASSERT_EQ(HidP_SetUsages(HidP_Output, kLed, 0, &offHook, &one, data.get(), Bytes(report),
                             Length(report)),
              HIDP_STATUS_SUCCESS);
    EXPECT_EQ(report, (Report{0x02, 0b00110}));
    ASSERT_EQ(HidP_UnsetUsages(HidP_Output, kLed, 0, &ring, &one, data.get(), Bytes(report),
                               Length(report)),
              HIDP_STATUS_SUCCESS);
    EXPECT_EQ(report, (Report{0x02, 0b00010}));
}

TEST(SetUsages, UnsetOnAZeroedReportStillWritesTheId) {
    Preparsed data = PhoneTelephony();
    Report report(2, 0);
    USAGE ring = 0x18;
    ULONG one = 1;
    EXPECT_EQ(HidP_UnsetUsages(HidP_Output, kLed, 0, &ring, &one, data.get(), Bytes(report),
                               Length(report)),
              HIDP_STATUS_BUTTON_NOT_PRESSED);
    EXPECT_EQ(report, (Report{0x02, 0x00}));
}

// Windows' telephony headsets often keep one LED per report ID.
const Report kOneLedPerReport = {
    0x05, 0x0B, 0x09, 0x05, 0xA1, 0x01, 0x05, 0x08, 0x15, 0x00, 0x25, 0x01, 0x75,
    0x01, 0x95, 0x01, 0x85, 0x17, 0x09, 0x17, 0x91, 0x22, 0x75, 0x07, 0x91, 0x03,
    0x85, 0x18, 0x75, 0x01, 0x09, 0x18, 0x91, 0x22, 0x75, 0x07, 0x91, 0x03, 0xC0,
};

TEST(SetUsages, FailuresCarryWindowsStatuses) {
    Preparsed perReport = ParseCollection(kOneLedPerReport);
    Preparsed phone = PhoneTelephony();
    ASSERT_TRUE(perReport && phone);
    struct Row {
        const char* name;
        PHIDP_PREPARSED_DATA data;
        USAGE page;
        USAGE usage;
        Report report;
        NTSTATUS expected;
        Report after;
    };
    const Row rows[] = {
        {"usage lives in another report",
         perReport.get(),
         kLed,
         0x18,
         {0x17, 0},
         HIDP_STATUS_INCOMPATIBLE_REPORT_ID,
         {0x17, 0}},
        {"usage in its own report",
         perReport.get(),
         kLed,
         0x18,
         {0x18, 0},
         HIDP_STATUS_SUCCESS,
         {0x18, 1}},
        {"zeroed report picks the usage's ID",
         perReport.get(),
         kLed,
         0x17,
         {0, 0},
         HIDP_STATUS_SUCCESS,
         {0x17, 1}},
        {"usage not in the collection",
         phone.get(),
         kLed,
         0x4B,
         {0, 0},
         HIDP_STATUS_USAGE_NOT_FOUND,
         {0, 0}},
        {"page not in the collection",
         phone.get(),
         0x0C,
         0x18,
         {0, 0},
         HIDP_STATUS_USAGE_NOT_FOUND,
         {0, 0}},
        {"wrong length",
         phone.get(),
         kLed,
         0x18,
         {0, 0, 0},
         HIDP_STATUS_INVALID_REPORT_LENGTH,
         {0, 0, 0}},
    };
    for (const Row& row : rows) {
        Report report = row.report;
        USAGE usage = row.usage;
        ULONG length = 1;
        EXPECT_EQ(HidP_SetUsages(HidP_Output, row.page, 0, &usage, &length, row.data, Bytes(report),
                                 Length(report)),
                  row.expected)
            << row.name;
        EXPECT_EQ(report, row.after) << row.name;
    }
}

// A keyboard: eight modifier bits and a six-slot key array.
const Report kKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25,
    0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x75, 0x08, 0x95, 0x01, 0x81, 0x03, 0x19, 0x00,
    0x29, 0xDD, 0x15, 0x00, 0x26, 0xDD, 0x00, 0x75, 0x08, 0x95, 0x02, 0x81, 0x00, 0xC0,
};

TEST(ArrayFields, KeysFillFreeSlotsAndReadBack) {
    Preparsed data = ParseCollection(kKeyboard);
    ASSERT_TRUE(data);
    Report report(5, 0);
    USAGE keys[] = {0xE1, 0x04, 0x05};
    ULONG length = 3;
    ASSERT_EQ(HidP_SetUsages(HidP_Input, 0x07, 0, keys, &length, data.get(), Bytes(report),
                             Length(report)),
              HIDP_STATUS_SUCCESS);
    EXPECT_EQ(report, (Report{0, 0x02, 0, 0x04, 0x05}));
    EXPECT_EQ(Usages(data.get(), 0x07, report), (std::vector<USAGE>{0xE1, 0x04, 0x05}));
    USAGE third = 0x06;
    length = 1;
    EXPECT_EQ(HidP_SetUsages(HidP_Input, 0x07, 0, &third, &length, data.get(), Bytes(report),
                             Length(report)),
              HIDP_STATUS_BUFFER_TOO_SMALL);
    USAGE first = 0x04;
    length = 1;
    ASSERT_EQ(HidP_UnsetUsages(HidP_Input, 0x07, 0, &first, &length, data.get(), Bytes(report),
                               Length(report)),
              HIDP_STATUS_SUCCESS);
    EXPECT_EQ(Usages(data.get(), 0x07, report), (std::vector<USAGE>{0xE1, 0x05}));
}

// X: -127..127 over -1000..1000; Y: no physical range; hat: 0..7 with a null
// state over 0..315; Z: 1..10 over 0..90 without a null state.
const Report kJoystick = {
    0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x09, 0x30, 0x15, 0x81, 0x25, 0x7F, 0x36, 0x18, 0xFC, 0x46,
    0xE8, 0x03, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x09, 0x31, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x35,
    0x00, 0x45, 0x00, 0x81, 0x02, 0x09, 0x39, 0x15, 0x00, 0x25, 0x07, 0x46, 0x3B, 0x01, 0x75, 0x04,
    0x81, 0x42, 0x09, 0x32, 0x15, 0x01, 0x25, 0x0A, 0x45, 0x5A, 0x81, 0x02, 0xC0,
};

TEST(Values, RawAndScaledReadsWithWindowsFailures) {
    Preparsed data = ParseCollection(kJoystick);
    ASSERT_TRUE(data);
    struct Row {
        const char* name;
        USAGE usage;
        Report report;  // no report ID: byte 0 is 0
        ULONG raw;
        NTSTATUS scaledStatus;
        LONG scaled;
    };
    const Row rows[] = {
        {"X at minimum", 0x30, {0, 0x81, 0, 0}, 0x81, HIDP_STATUS_SUCCESS, -1000},
        {"X centred", 0x30, {0, 0x00, 0, 0}, 0x00, HIDP_STATUS_SUCCESS, 0},
        {"X at maximum", 0x30, {0, 0x7F, 0, 0}, 0x7F, HIDP_STATUS_SUCCESS, 1000},
        {"Y without physical range",
         0x31,
         {0, 0, 0x40, 0},
         0x40,
         HIDP_STATUS_BAD_LOG_PHY_VALUES,
         0},
        {"hat east", 0x39, {0, 0, 0, 0x02}, 2, HIDP_STATUS_SUCCESS, 90},
        {"hat released (null)", 0x39, {0, 0, 0, 0x08}, 8, HIDP_STATUS_NULL, 0},
        {"Z at maximum", 0x32, {0, 0, 0, 0xA0}, 10, HIDP_STATUS_SUCCESS, 90},
        {"Z below range, no null state",
         0x32,
         {0, 0, 0, 0x00},
         0,
         HIDP_STATUS_VALUE_OUT_OF_RANGE,
         0},
    };
    for (const Row& row : rows) {
        Report report = row.report;
        ULONG raw = 0xDEAD;
        EXPECT_EQ(HidP_GetUsageValue(HidP_Input, kGeneric, 0, row.usage, &raw, data.get(),
                                     Bytes(report), Length(report)),
                  HIDP_STATUS_SUCCESS)
            << row.name;
        EXPECT_EQ(raw, row.raw) << row.name;
        LONG scaled = -1;
        EXPECT_EQ(HidP_GetScaledUsageValue(HidP_Input, kGeneric, 0, row.usage, &scaled, data.get(),
                                           Bytes(report), Length(report)),
                  row.scaledStatus)
            << row.name;
        if (row.scaledStatus == HIDP_STATUS_SUCCESS) {
            EXPECT_EQ(scaled, row.scaled) << row.name;
        }
    }
    Report report = {0, 0, 0, 0};
    ULONG raw = 0;
    EXPECT_EQ(HidP_GetUsageValue(HidP_Input, kGeneric, 0, 0x35, &raw, data.get(), Bytes(report),
                                 Length(report)),
              HIDP_STATUS_USAGE_NOT_FOUND);
    Preparsed phone = PhoneTelephony();
    Report phoneReport = {0x01, 0x02};
    EXPECT_EQ(HidP_GetUsageValue(HidP_Input, kTelephony, 0, 0x20, &raw, phone.get(),
                                 Bytes(phoneReport), Length(phoneReport)),
              HIDP_STATUS_USAGE_NOT_FOUND)
        << "a button is not a value";
}

// Descriptors no cap can fully describe (found by fuzzing): a Variable value range
// with more usages than fields, and constant fields wider than 32 bits that carry
// usages. The routines answer for what the report holds and read nothing beyond it.
TEST(FieldLimits, UsagesWithoutFieldsAndWideConstantFields) {
    // Usages 0x30..0x38 declared on one 8-bit field: only 0x30 has one.
    Preparsed range =
        ParseCollection({0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x19, 0x30, 0x29, 0x38, 0x15,
                         0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0});
    ASSERT_TRUE(range);
    HIDP_VALUE_CAPS valueCap{};
    USHORT capCount = 1;
    ASSERT_EQ(HidP_GetValueCaps(HidP_Input, &valueCap, &capCount, range.get()),
              HIDP_STATUS_SUCCESS);
    EXPECT_EQ(valueCap.Range.UsageMax, 0x38) << "the cap keeps the declared range";
    EXPECT_EQ(valueCap.ReportCount, 1);
    Report report = {0, 0x5A};
    for (const USAGE usage : {0x30, 0x31, 0x38}) {
        ULONG raw = 0;
        EXPECT_EQ(HidP_GetUsageValue(HidP_Input, kGeneric, 0, usage, &raw, range.get(),
                                     Bytes(report), Length(report)),
                  usage == 0x30 ? HIDP_STATUS_SUCCESS : HIDP_STATUS_USAGE_NOT_FOUND)
            << "usage " << usage;
        EXPECT_EQ(raw, usage == 0x30 ? 0x5Au : 0u) << "usage " << usage;
    }

    // A constant 33-bit input field with a usage, and a constant 33-bit LED array:
    // padding that still takes its bits, but no cap.
    Preparsed wideInput =
        ParseCollection({0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x09, 0x30, 0x15, 0x00, 0x25, 0x01,
                         0x75, 0x21, 0x95, 0x01, 0x81, 0x03, 0xC0});
    Preparsed wideLeds =
        ParseCollection({0x05, 0x0B, 0x09, 0x01, 0xA1, 0x01, 0x05, 0x08, 0x19, 0x17, 0x29, 0x18,
                         0x15, 0x00, 0x25, 0x02, 0x75, 0x21, 0x95, 0x01, 0x91, 0x01, 0xC0});
    ASSERT_TRUE(wideInput && wideLeds);
    HIDP_CAPS caps{};
    ASSERT_EQ(HidP_GetCaps(wideInput.get(), &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.InputReportByteLength, 6);
    EXPECT_EQ(caps.NumberInputValueCaps + caps.NumberInputButtonCaps, 0);
    ASSERT_EQ(HidP_GetCaps(wideLeds.get(), &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.OutputReportByteLength, 6);
    EXPECT_EQ(caps.NumberOutputButtonCaps, 0);
    Report leds(6, 0);
    USAGE ring = 0x18;
    ULONG one = 1;
    EXPECT_EQ(HidP_SetUsages(HidP_Output, kLed, 0, &ring, &one, wideLeds.get(), Bytes(leds),
                             Length(leds)),
              HIDP_STATUS_USAGE_NOT_FOUND);
}

TEST(InitializeReport, SetsTheIdAndNullValues) {
    Preparsed phone = PhoneTelephony();
    Report report = {0xAA, 0xBB};
    EXPECT_EQ(
        HidP_InitializeReportForID(HidP_Output, 2, phone.get(), Bytes(report), Length(report)),
        HIDP_STATUS_SUCCESS);
    EXPECT_EQ(report, (Report{0x02, 0x00}));
    EXPECT_EQ(
        HidP_InitializeReportForID(HidP_Output, 1, phone.get(), Bytes(report), Length(report)),
        HIDP_STATUS_REPORT_DOES_NOT_EXIST);
    Report tooLong(3, 0);
    EXPECT_EQ(
        HidP_InitializeReportForID(HidP_Output, 2, phone.get(), Bytes(tooLong), Length(tooLong)),
        HIDP_STATUS_INVALID_REPORT_LENGTH);

    Preparsed joystick = ParseCollection(kJoystick);
    Report input(4, 0xFF);
    ASSERT_EQ(
        HidP_InitializeReportForID(HidP_Input, 0, joystick.get(), Bytes(input), Length(input)),
        HIDP_STATUS_SUCCESS);
    LONG hat = 0;
    EXPECT_EQ(HidP_GetScaledUsageValue(HidP_Input, kGeneric, 0, 0x39, &hat, joystick.get(),
                                       Bytes(input), Length(input)),
              HIDP_STATUS_NULL);
}

TEST(StatusValues, MatchTheWindowsSdk) {
    EXPECT_EQ(static_cast<std::uint32_t>(HIDP_STATUS_SUCCESS), 0x00110000u);
    EXPECT_EQ(static_cast<std::uint32_t>(HIDP_STATUS_NULL), 0x80110001u);
    EXPECT_EQ(static_cast<std::uint32_t>(HIDP_STATUS_INVALID_PREPARSED_DATA), 0xC0110001u);
    EXPECT_EQ(static_cast<std::uint32_t>(HIDP_STATUS_INCOMPATIBLE_REPORT_ID), 0xC011000Au);
    EXPECT_EQ(static_cast<std::uint32_t>(HIDP_STATUS_REPORT_DOES_NOT_EXIST), 0xC0110010u);
    EXPECT_EQ(static_cast<std::uint32_t>(HIDP_STATUS_NOT_IMPLEMENTED), 0xC0110020u);
    EXPECT_EQ(sizeof(HIDD_ATTRIBUTES), 12u);
    EXPECT_EQ(offsetof(HIDP_CAPS, NumberLinkCollectionNodes), 44u);
    EXPECT_EQ(offsetof(HIDP_BUTTON_CAPS, Range), 56u);
    EXPECT_EQ(offsetof(HIDP_VALUE_CAPS, Range), 56u);
}

}  // namespace
