// SetupAPI over plugged devices: order, both path spellings, Windows' size rules.
#include <gtest/gtest.h>

#include <cstddef>

#include "hid_test_support.h"
#include "simdesk/phone.h"

namespace {

using simdesk::SimulatedPhone;

class Enumeration : public testing::Test {
  protected:
    void TearDown() override { simdesk::UnplugAllDevicesQuietly(); }
    simdesk::DesktopThread thread_;
    GUID hid_ = simdesk::kHidInterfaceGuid;
};

TEST_F(Enumeration, InterfacesInPlugOrderOnePerCollection) {
    const auto keyboard = simdesk::PlugDevice(simdesk::KeyboardModel());
    SimulatedPhone phone;
    ASSERT_TRUE(phone.Plug());
    const auto mouse = simdesk::PlugDevice(simdesk::MouseModel());
    ASSERT_NE(keyboard, 0u);
    ASSERT_NE(mouse, 0u);

    std::vector<std::wstring> expected;
    for (auto id : {keyboard, phone.Id(), mouse})
        for (const auto& info : simdesk::DeviceInterfaces(id))
            expected.push_back(info.path);
    ASSERT_EQ(expected.size(), 5u);
    EXPECT_EQ(hidtest::ListedPaths(), expected);

    const auto phoneInterfaces = simdesk::DeviceInterfaces(phone.Id());
    ASSERT_EQ(phoneInterfaces.size(), 3u);
    const wchar_t* const lower[] = {
        L"\\\\?\\hid#vid_f1ce&pid_0b5d&mi_03&col01#7&1a2b3c4d&0&0000#"
        L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
        L"\\\\?\\hid#vid_f1ce&pid_0b5d&mi_03&col02#7&1a2b3c4d&0&0001#"
        L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
        L"\\\\?\\hid#vid_f1ce&pid_0b5d&mi_03&col03#7&1a2b3c4d&0&0002#"
        L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
    };
    const wchar_t* const hardware[] = {
        L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&Col01#7&1a2b3c4d&0&0000#"
        L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
        L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&Col02#7&1a2b3c4d&0&0001#"
        L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
        L"\\\\?\\HID#VID_F1CE&PID_0B5D&MI_03&Col03#7&1a2b3c4d&0&0002#"
        L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
    };
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(phoneInterfaces[i].path, lower[i]) << "collection " << i;
        EXPECT_EQ(phoneInterfaces[i].notificationPath, hardware[i]) << "collection " << i;
    }
    EXPECT_EQ(phoneInterfaces[1].path, SimulatedPhone::TelephonyPath());
    EXPECT_EQ(phoneInterfaces[1].notificationPath, SimulatedPhone::TelephonyNotificationPath());

    // A single-collection device has no ColNN part; mi_NN only when the model says so.
    const auto mousePath = simdesk::DeviceInterfaces(mouse).at(0).path;
    EXPECT_EQ(mousePath.find(L"col"), std::wstring::npos)
        << std::string(mousePath.begin(), mousePath.end());
    EXPECT_EQ(mousePath.find(L"mi_"), std::wstring::npos);
    EXPECT_EQ(mousePath.rfind(L"\\\\?\\hid#vid_046d&pid_c077#", 0), 0u);
    EXPECT_NE(simdesk::DeviceInterfaces(keyboard).at(0).path.find(L"&mi_00#"), std::wstring::npos);
}

TEST_F(Enumeration, NoDevicesNoInterfaces) {
    HDEVINFO list =
        SetupDiGetClassDevsW(&hid_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(list, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(list, nullptr, &hid_, 0, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(list));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(list)) << "destroyed twice";
    EXPECT_EQ(SetupDiGetClassDevsW(&hid_, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE)
        << "device-info enumeration is not simulated and must say so";
}

TEST_F(Enumeration, DetailSizeQueryAndCbSizeRules) {
    ASSERT_NE(simdesk::PlugDevice(simdesk::MouseModel()), 0u);
    HDEVINFO list =
        SetupDiGetClassDevsW(&hid_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data - 1;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(list, nullptr, &hid_, 0, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(list, nullptr, &hid_, 0, &data));
    EXPECT_EQ(data.Flags, SPINT_ACTIVE);
    EXPECT_TRUE(data.InterfaceClassGuid == simdesk::kHidInterfaceGuid);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(list, nullptr, &hid_, 1, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    const std::wstring path = hidtest::ListedPaths().at(0);
    const DWORD expectedSize =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                           (path.size() + 1) * sizeof(WCHAR));
    DWORD size = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, 0, &size, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, expectedSize);

    std::vector<std::max_align_t> block(size / sizeof(std::max_align_t) + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(block.data());
    struct Row {
        const char* name;
        DWORD cbSize;
        DWORD bufferSize;
        bool ok;
        DWORD error;
    };
    const Row rows[] = {
        {"cbSize of the whole block", size, size, false, ERROR_INVALID_USER_BUFFER},
        {"cbSize zero", 0, size, false, ERROR_INVALID_USER_BUFFER},
        {"block one byte short", sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W), size - 1, false,
         ERROR_INSUFFICIENT_BUFFER},
        {"fixed-part cbSize, exact block", sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W), size, true,
         0},
    };
    for (const Row& row : rows) {
        detail->cbSize = row.cbSize;
        SetLastError(0);
        EXPECT_EQ(SetupDiGetDeviceInterfaceDetailW(list, &data, detail, row.bufferSize, nullptr,
                                                   nullptr) != FALSE,
                  row.ok)
            << row.name;
        if (!row.ok) {
            EXPECT_EQ(GetLastError(), row.error) << row.name;
        }
    }
    EXPECT_EQ(std::wstring(detail->DevicePath), path);
    SetupDiDestroyDeviceInfoList(list);
}

TEST_F(Enumeration, InterfaceRemovedSinceTheSnapshotHasNoDetail) {
    const auto mouse = simdesk::PlugDevice(simdesk::MouseModel());
    HDEVINFO list =
        SetupDiGetClassDevsW(&hid_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_TRUE(simdesk::UnplugDevice(mouse));
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(list, nullptr, &hid_, 0, &data));
    EXPECT_EQ(data.Flags, SPINT_REMOVED);
    DWORD size = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, 0, &size, nullptr));
    EXPECT_EQ(size, 0u) << "no size is reported for a removed interface";
    // A zeroed record, as a caller keeps for an entry it could not enumerate, has none either.
    SP_DEVICE_INTERFACE_DATA zeroed{};
    zeroed.cbSize = sizeof zeroed;
    zeroed.Flags = SPINT_REMOVED;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &zeroed, nullptr, 0, &size, nullptr));
    EXPECT_EQ(size, 0u);
    SetupDiDestroyDeviceInfoList(list);
    EXPECT_TRUE(hidtest::ListedPaths().empty());
}

}  // namespace
