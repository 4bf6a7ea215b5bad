// Decoding an input report allocates nothing: every buffer and usage list is
// sized when the device is opened.
#include <gtest/gtest.h>

#include <string>

#include "allocation_counter.h"
#include "hid/device_record.h"
#include "simdesk/desktop.h"
#include "simdesk/phone.h"

namespace {

using simdesk::SimulatedPhone;

TEST(Decoding, AllocatesNothing) {
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
    ASSERT_TRUE(phone.Plug());
    const std::wstring path = SimulatedPhone::TelephonyPath();
    ASSERT_TRUE(OpenTargetDevice(std::string(path.begin(), path.end()).c_str()));

    const char reports[][2] = {{1, 0x00}, {1, 0x02}, {1, 0x03}, {1, 0x1F}, {7, 0x01}};
    std::size_t allocations = 0;
    {
        AllocationCounter counter;
        for (int round = 0; round < 100; ++round) {
            for (const auto& report : reports) {
                UnpackInputReport(report, sizeof(report), deviceRecord.input.items.get(),
                                  deviceRecord.input.itemCount, deviceRecord.parsedDescriptor);
            }
        }
        allocations = counter.count();
    }
    EXPECT_EQ(allocations, 0u);
    // The counter itself works: opening the record does allocate.
    CloseTargetDevice();
    {
        AllocationCounter counter;
        ASSERT_TRUE(OpenTargetDevice(std::string(path.begin(), path.end()).c_str()));
        EXPECT_GT(counter.count(), 0u);
    }
    CloseTargetDevice();
}

}  // namespace
