// The phone as Wine's SetupAPI and HID parser present it to a Windows program: the path,
// identity and capabilities that the agent's discovery and reader rely on.
#include "phone_fixture.h"

#include "vphone/phone_layout.h"

#include <array>

namespace vphone::test {
namespace {

using VirtualPhoneEnumeration = VirtualPhoneTest;

std::wstring ProductString(HANDLE device, BOOLEAN(__stdcall* query)(HANDLE, PVOID, ULONG)) {
    std::array<wchar_t, 128> text{};
    if (!query(device, text.data(), static_cast<ULONG>(text.size() * sizeof(wchar_t))))
        return L"<failed>";
    return text.data();
}

TEST_F(VirtualPhoneEnumeration, ListedOnceUnderTheTelephonyCollectionPath) {
    const auto paths = PresentHidPaths();
    EXPECT_EQ(std::count(paths.begin(), paths.end(), std::wstring(kListedPath)), 1);
}

TEST_F(VirtualPhoneEnumeration, QueryHandleShowsThePhonesIdentityAndTelephonyCaps) {
    // Opened as the agent's discovery opens it: no access, shared.
    FileHandle query(CreateFileW(kListedPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(query.valid()) << "error " << GetLastError();

    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    ASSERT_TRUE(HidD_GetAttributes(query.get(), &attributes));
    EXPECT_EQ(attributes.VendorID, VPHONE_VENDOR_ID);
    EXPECT_EQ(attributes.ProductID, VPHONE_PRODUCT_ID);
    EXPECT_EQ(attributes.VersionNumber, VPHONE_VERSION);

    PHIDP_PREPARSED_DATA raw = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(query.get(), &raw));
    PreparsedData data(raw);
    HIDP_CAPS caps{};
    ASSERT_EQ(HidP_GetCaps(data.get(), &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.UsagePage, VPHONE_USAGE_PAGE_TELEPHONY);
    EXPECT_EQ(caps.Usage, VPHONE_USAGE_PHONE);
    EXPECT_EQ(caps.InputReportByteLength, VPHONE_INPUT_REPORT_LENGTH);
    EXPECT_EQ(caps.OutputReportByteLength, VPHONE_OUTPUT_REPORT_LENGTH);
    EXPECT_EQ(caps.FeatureReportByteLength, 0);
    EXPECT_EQ(caps.NumberInputButtonCaps, 3);
    EXPECT_EQ(caps.NumberOutputButtonCaps, 5);
    EXPECT_EQ(caps.NumberInputValueCaps, 0);

    EXPECT_EQ(ProductString(query.get(), HidD_GetManufacturerString), L"Quillon test bench");
    EXPECT_EQ(ProductString(query.get(), HidD_GetProductString), L"Virtual telephony phone");
    EXPECT_EQ(ProductString(query.get(), HidD_GetSerialNumberString), L"0001");
}

// The reader takes input items 0, 1 and 2 as mute, hook switch and button 7, so the order of
// the input caps is part of the contract; output caps are looked up by usage.
TEST_F(VirtualPhoneEnumeration, ButtonCapsComeInTheOrderTheAgentReads) {
    FileHandle query(CreateFileW(kListedPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(query.valid());
    PHIDP_PREPARSED_DATA raw = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(query.get(), &raw));
    PreparsedData data(raw);

    const std::vector<UsageCap> input = {
        {VPHONE_USAGE_PAGE_TELEPHONY, VPHONE_USAGE_PHONE_MUTE, VPHONE_INPUT_REPORT_ID},
        {VPHONE_USAGE_PAGE_TELEPHONY, VPHONE_USAGE_HOOK_SWITCH, VPHONE_INPUT_REPORT_ID},
        {VPHONE_USAGE_PAGE_BUTTON, VPHONE_USAGE_BUTTON7, VPHONE_INPUT_REPORT_ID},
    };
    // Several usages of one main item: the parser stores them last usage first.
    const std::vector<UsageCap> output = {
        {VPHONE_USAGE_PAGE_LED, VPHONE_USAGE_LED_MICROPHONE, VPHONE_OUTPUT_REPORT_ID},
        {VPHONE_USAGE_PAGE_LED, VPHONE_USAGE_LED_HOLD, VPHONE_OUTPUT_REPORT_ID},
        {VPHONE_USAGE_PAGE_LED, VPHONE_USAGE_LED_RING, VPHONE_OUTPUT_REPORT_ID},
        {VPHONE_USAGE_PAGE_LED, VPHONE_USAGE_LED_OFF_HOOK, VPHONE_OUTPUT_REPORT_ID},
        {VPHONE_USAGE_PAGE_LED, VPHONE_USAGE_LED_MUTE, VPHONE_OUTPUT_REPORT_ID},
    };
    struct Row {
        const char* name;
        HIDP_REPORT_TYPE type;
        const std::vector<UsageCap>& expected;
    };
    for (const Row& row : {Row{"input", HidP_Input, input}, Row{"output", HidP_Output, output}}) {
        SCOPED_TRACE(row.name);
        const auto caps = ButtonCaps(row.type, data.get());
        ASSERT_EQ(caps.size(), row.expected.size());
        for (std::size_t i = 0; i < caps.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "cap " << i);
            EXPECT_EQ(caps[i].page, row.expected[i].page);
            EXPECT_EQ(caps[i].usage, row.expected[i].usage);
            EXPECT_EQ(caps[i].reportId, row.expected[i].reportId);
        }
    }
}

}  // namespace
}  // namespace vphone::test
