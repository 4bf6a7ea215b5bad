// Reports through Wine's HID class driver: injected input reaches an overlapped ReadFile
// and decodes to the phone's usages; LED reports written with WriteFile reach the driver.
#include "phone_fixture.h"

#include "vphone/phone_layout.h"

#include <algorithm>
#include <array>
#include <thread>

namespace vphone::test {
namespace {

class VirtualPhoneReports : public VirtualPhoneTest {
  protected:
    void SetUp() override {
        VirtualPhoneTest::SetUp();
        if (HasFatalFailure())
            return;
        device_ = OpenPhone();
        ASSERT_TRUE(device_.valid()) << "error " << GetLastError();
        PHIDP_PREPARSED_DATA raw = nullptr;
        ASSERT_TRUE(HidD_GetPreparsedData(device_.get(), &raw));
        data_.emplace(raw);
    }

    // Initialised for the LED report's ID, then the given LED usages set.
    std::vector<char> LedReport(std::vector<USAGE> lit) const {
        std::vector<char> report(VPHONE_OUTPUT_REPORT_LENGTH);
        EXPECT_EQ(HidP_InitializeReportForID(HidP_Output, VPHONE_OUTPUT_REPORT_ID, data_->get(),
                                             report.data(), static_cast<ULONG>(report.size())),
                  HIDP_STATUS_SUCCESS);
        ULONG count = static_cast<ULONG>(lit.size());
        if (count) {
            EXPECT_EQ(
                HidP_SetUsages(HidP_Output, VPHONE_USAGE_PAGE_LED, 0, lit.data(), &count,
                               data_->get(), report.data(), static_cast<ULONG>(report.size())),
                HIDP_STATUS_SUCCESS);
        }
        return report;
    }

    // Writes synchronously on a handle of its own, as the agent's indicator writes do.
    bool Write(std::vector<char>& report) const {
        FileHandle writer = OpenPhone(/*flags=*/0);
        DWORD written = 0;
        return writer.valid() && WriteFile(writer.get(), report.data(),
                                           static_cast<DWORD>(report.size()), &written, nullptr);
    }

    FileHandle device_;
    std::optional<PreparsedData> data_;
};

// What lets end-to-end tests wait for the agent's reader instead of sleeping: its handle, each
// read it issues (the next read shows it is done with a report) and which thread issued it.
// Query handles are counted as changes and at least: in a process with windows, Wine's raw
// input support opens query handles of its own whenever it refreshes its device list.
TEST_F(VirtualPhoneReports, OpenHandlesAndReadsAreCountedWithReadersApart) {
    const VPHONE_STATUS withReader = Status();
    EXPECT_GE(withReader.overlappedHandles, 1ul);
    for (unsigned long read = 1; read <= 2; ++read) {
        // Issued from a thread of its own, which is then named as the reader.
        DWORD readerThread = 0;
        std::thread([&] {
            readerThread = GetCurrentThreadId();
            OverlappedRead pending(device_.get(), VPHONE_INPUT_REPORT_LENGTH);
            ASSERT_EQ(pending.startError(), static_cast<DWORD>(ERROR_SUCCESS));
            EXPECT_TRUE(control_->WaitUntil(
                [&](const VPHONE_STATUS& status) {
                    return status.programReads == withReader.programReads + read;
                },
                kReportTimeout))
                << "read " << read << " is counted once";
        }).join();
        const VPHONE_STATUS after = Status();
        EXPECT_EQ(after.lastReaderProcessId, GetCurrentProcessId());
        EXPECT_EQ(after.lastReaderThreadId, readerThread);
    }
    {
        FileHandle query(CreateFileW(kListedPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(query.valid());
        const VPHONE_STATUS withQuery = Status();
        EXPECT_GE(withQuery.openHandles, withReader.openHandles + 1) << "query handle opened";
        EXPECT_EQ(withQuery.overlappedHandles, withReader.overlappedHandles)
            << "a query handle is no reader";
    }
    device_.reset();
    EXPECT_EQ(Status().overlappedHandles, withReader.overlappedHandles - 1) << "reader closed";
}

TEST_F(VirtualPhoneReports, InjectedInputCompletesAnOverlappedReadAndDecodes) {
    struct Row {
        const char* name;
        unsigned char bits;
        std::vector<USAGE> telephony;  // pressed, in the parser's order
        std::vector<USAGE> buttons;
    };
    const Row rows[] = {
        {"hook switch lifted", VPHONE_INPUT_BIT_HOOK, {VPHONE_USAGE_HOOK_SWITCH}, {}},
        {"all released", 0, {}, {}},
        {"button 7", VPHONE_INPUT_BIT_BUTTON7, {}, {VPHONE_USAGE_BUTTON7}},
        {"button 8", VPHONE_INPUT_BIT_BUTTON8, {}, {VPHONE_USAGE_BUTTON8}},
        {"buttons 7 and 9",
         VPHONE_INPUT_BIT_BUTTON7 | VPHONE_INPUT_BIT_BUTTON9,
         {},
         {VPHONE_USAGE_BUTTON7, VPHONE_USAGE_BUTTON9}},
        {"phone mute", VPHONE_INPUT_BIT_MUTE, {VPHONE_USAGE_PHONE_MUTE}, {}},
        {"hook switch and button 7",
         VPHONE_INPUT_BIT_HOOK | VPHONE_INPUT_BIT_BUTTON7,
         {VPHONE_USAGE_HOOK_SWITCH},
         {VPHONE_USAGE_BUTTON7}},
        {"mute and hook switch",
         VPHONE_INPUT_BIT_MUTE | VPHONE_INPUT_BIT_HOOK,
         {VPHONE_USAGE_PHONE_MUTE, VPHONE_USAGE_HOOK_SWITCH},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OverlappedRead read(device_.get(), VPHONE_INPUT_REPORT_LENGTH);
        ASSERT_EQ(read.startError(), static_cast<DWORD>(ERROR_SUCCESS));
        const std::array<std::uint8_t, 2> injected{VPHONE_INPUT_REPORT_ID, row.bits};
        ASSERT_EQ(control_->Inject(injected), static_cast<DWORD>(ERROR_SUCCESS));

        const ReadResult result = read.Wait(kReportTimeout);
        ASSERT_TRUE(result.completed) << "the read never completed";
        ASSERT_EQ(result.error, static_cast<DWORD>(ERROR_SUCCESS));
        ASSERT_EQ(result.bytes, std::vector<unsigned char>(injected.begin(), injected.end()));

        std::vector<char> report(result.bytes.begin(), result.bytes.end());
        auto telephony = PressedUsages(VPHONE_USAGE_PAGE_TELEPHONY, data_->get(), report);
        std::sort(telephony.begin(), telephony.end());
        auto expectedTelephony = row.telephony;
        std::sort(expectedTelephony.begin(), expectedTelephony.end());
        EXPECT_EQ(telephony, expectedTelephony);
        EXPECT_EQ(PressedUsages(VPHONE_USAGE_PAGE_BUTTON, data_->get(), report), row.buttons);
    }
}

TEST_F(VirtualPhoneReports, LedReportsReachTheDriverWhole) {
    struct Row {
        const char* name;
        std::vector<USAGE> lit;
        LedState expected;
    };
    const Row rows[] = {
        {"ring", {VPHONE_USAGE_LED_RING}, {.offHook = false, .ring = true, .mute = false}},
        {"off-hook", {VPHONE_USAGE_LED_OFF_HOOK}, {.offHook = true, .ring = false, .mute = false}},
        {"none", {}, {}},
        {"ring and mute",
         {VPHONE_USAGE_LED_RING, VPHONE_USAGE_LED_MUTE},
         {.offHook = false, .ring = true, .mute = true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const unsigned long before = Status().outputsReceived;
        auto report = LedReport(row.lit);
        ASSERT_TRUE(Write(report)) << "error " << GetLastError();

        const VPHONE_STATUS after = Status();
        ASSERT_EQ(after.outputsReceived, before + 1) << "one write, one report at the device";
        const VPHONE_REPORT& received = LoggedOutputs(after).back();
        EXPECT_EQ(received.reportId, VPHONE_OUTPUT_REPORT_ID);
        EXPECT_EQ(received.length, VPHONE_OUTPUT_REPORT_LENGTH - 1);
        EXPECT_EQ(LatestLeds(after), row.expected);
    }
}

// Where Wine's HID.DLL parts from Windows and from the simulated stack: an LED report built on
// a zeroed buffer (the agent's original recipe) keeps report ID 0, and Wine's class driver
// does not pass a report with an unknown ID to the device.
TEST_F(VirtualPhoneReports, ZeroedLedReportKeepsIdZeroAndNeverReachesTheDevice) {
    std::vector<char> report(VPHONE_OUTPUT_REPORT_LENGTH, 0);
    USAGE ring = VPHONE_USAGE_LED_RING;
    ULONG count = 1;
    EXPECT_EQ(HidP_SetUsages(HidP_Output, VPHONE_USAGE_PAGE_LED, 0, &ring, &count, data_->get(),
                             report.data(), static_cast<ULONG>(report.size())),
              HIDP_STATUS_SUCCESS);
    EXPECT_EQ(report[0], 0) << "the report ID byte";

    std::vector<char> zeroed(VPHONE_OUTPUT_REPORT_LENGTH, 0);
    count = 1;
    EXPECT_EQ(HidP_UnsetUsages(HidP_Output, VPHONE_USAGE_PAGE_LED, 0, &ring, &count, data_->get(),
                               zeroed.data(), static_cast<ULONG>(zeroed.size())),
              HIDP_STATUS_BUTTON_NOT_PRESSED);

    const unsigned long before = Status().outputsReceived;
    Write(report);
    EXPECT_EQ(Status().outputsReceived, before);
}

}  // namespace
}  // namespace vphone::test
