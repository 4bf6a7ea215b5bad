// WM_DEVICECHANGE on plug and unplug, as registered windows see it.
#include <gtest/gtest.h>

#include "hid_test_support.h"
#include "simdesk/phone.h"

namespace {

using hidtest::ChangeRecorder;
using hidtest::DeviceChange;
using simdesk::SimulatedPhone;

class Notifications : public testing::Test {
  protected:
    void SetUp() override {
        recorder_.Clear();
        registered_ = recorder_.NewWindow();
        bystander_ = recorder_.NewWindow();
        ASSERT_TRUE(registered_ && bystander_);
        notify_ = Register(registered_, simdesk::kHidInterfaceGuid);
        ASSERT_NE(notify_, nullptr);
    }
    void TearDown() override { simdesk::UnplugAllDevicesQuietly(); }

    static HDEVNOTIFY Register(HWND window, const GUID& guid) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = guid;
        return RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    std::vector<DeviceChange> Of(HWND window) const {
        std::vector<DeviceChange> changes;
        for (const DeviceChange& change : recorder_.changes())
            if (change.window == window)
                changes.push_back(change);
        return changes;
    }
    static std::vector<std::wstring> PathsOf(const std::vector<DeviceChange>& changes,
                                             WPARAM event) {
        std::vector<std::wstring> paths;
        for (const DeviceChange& change : changes)
            if (change.event == event)
                paths.push_back(change.path);
        return paths;
    }

    simdesk::DesktopThread thread_;
    ChangeRecorder recorder_;
    HWND registered_ = nullptr;
    HWND bystander_ = nullptr;
    HDEVNOTIFY notify_ = nullptr;
};

TEST_F(Notifications, PlugAnnouncesEachInterfaceInHardwareIdSpelling) {
    SimulatedPhone phone;
    ASSERT_TRUE(phone.Plug());
    const auto changes = Of(registered_);
    ASSERT_EQ(changes.size(), 4u);
    std::vector<std::wstring> expected;
    for (const auto& info : simdesk::DeviceInterfaces(phone.Id()))
        expected.push_back(info.notificationPath);
    EXPECT_EQ(PathsOf(changes, DBT_DEVICEARRIVAL), expected);
    EXPECT_EQ(expected.at(1), SimulatedPhone::TelephonyNotificationPath());
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(changes[i].hasHeader);
        EXPECT_EQ(changes[i].deviceType, DBT_DEVTYP_DEVICEINTERFACE);
        EXPECT_TRUE(changes[i].classGuid == simdesk::kHidInterfaceGuid);
    }
    // Last, the devnode change every top-level window gets, without a header.
    EXPECT_EQ(changes[3].event, DBT_DEVNODES_CHANGED);
    EXPECT_FALSE(changes[3].hasHeader);

    const auto bystander = Of(bystander_);
    ASSERT_EQ(bystander.size(), 1u) << "unregistered windows see only the devnode change";
    EXPECT_EQ(bystander[0].event, DBT_DEVNODES_CHANGED);
}

TEST_F(Notifications, UnplugAnnouncesRemovalAfterIoHasFailed) {
    SimulatedPhone phone;
    ASSERT_TRUE(phone.Plug());
    hidtest::Handle file(hidtest::Open(SimulatedPhone::TelephonyPath(), GENERIC_READ));
    recorder_.Clear();
    ASSERT_TRUE(phone.Unplug());
    const auto changes = Of(registered_);
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(PathsOf(changes, DBT_DEVICEREMOVECOMPLETE).size(), 3u);
    EXPECT_EQ(PathsOf(changes, DBT_DEVICEREMOVECOMPLETE).at(1),
              SimulatedPhone::TelephonyNotificationPath());
    EXPECT_EQ(changes[3].event, DBT_DEVNODES_CHANGED);
    EXPECT_FALSE(simdesk::UnplugDevice(phone.Id())) << "already gone";
}

TEST_F(Notifications, OnlyHidRegistrationsHearInterfaceEvents) {
    HWND other = recorder_.NewWindow();
    const GUID otherClass = {
        0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};
    ASSERT_NE(Register(other, otherClass), nullptr);
    ASSERT_NE(simdesk::PlugDevice(simdesk::MouseModel()), 0u);
    EXPECT_TRUE(PathsOf(Of(other), DBT_DEVICEARRIVAL).empty());
    EXPECT_EQ(PathsOf(Of(registered_), DBT_DEVICEARRIVAL).size(), 1u);
}

TEST_F(Notifications, UnregisteredWindowHearsNoMore) {
    ASSERT_TRUE(UnregisterDeviceNotification(notify_));
    EXPECT_FALSE(UnregisterDeviceNotification(notify_));
    ASSERT_NE(simdesk::PlugDevice(simdesk::MouseModel()), 0u);
    EXPECT_TRUE(PathsOf(Of(registered_), DBT_DEVICEARRIVAL).empty());
}

TEST_F(Notifications, RegistrationNeedsAWindowAndAnInterfaceFilter) {
    DEV_BROADCAST_HDR volume{sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_VOLUME, 0};
    EXPECT_EQ(RegisterDeviceNotificationW(registered_, &volume, DEVICE_NOTIFY_WINDOW_HANDLE),
              nullptr);
    EXPECT_EQ(Register(nullptr, simdesk::kHidInterfaceGuid), nullptr);
    DestroyWindow(bystander_);
    EXPECT_EQ(Register(bystander_, simdesk::kHidInterfaceGuid), nullptr);
}

}  // namespace

namespace {

// A window on a thread of its own, pumping messages as the agent's window thread does.
struct PumpingWindow {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;

    static DWORD WINAPI Run(LPVOID self) {
        auto* peer = static_cast<PumpingWindow*>(self);
        hidtest::ChangeRecorder recorder;
        peer->window = recorder.NewWindow();
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = simdesk::kHidInterfaceGuid;
        RegisterDeviceNotificationW(peer->window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        SetEvent(peer->ready);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        return 0;
    }
};

TEST(NotificationsAcrossThreads, PlugReturnsAfterTheWindowThreadHandledIt) {
    simdesk::DesktopThread thread;
    hidtest::ChangeRecorder recorder;
    recorder.Clear();
    PumpingWindow peer;
    HANDLE worker = CreateThread(nullptr, 0, PumpingWindow::Run, &peer, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(peer.ready, INFINITE), WAIT_OBJECT_0);
    SimulatedPhone phone;
    ASSERT_TRUE(phone.Plug());
    PostMessageW(peer.window, WM_QUIT, 0, 0);
    ASSERT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
    CloseHandle(worker);
    CloseHandle(peer.ready);

    std::vector<std::wstring> arrivals;
    for (const DeviceChange& change : recorder.changes())
        if (change.window == peer.window && change.event == DBT_DEVICEARRIVAL)
            arrivals.push_back(change.path);
    ASSERT_EQ(arrivals.size(), 3u);
    EXPECT_EQ(arrivals[1], SimulatedPhone::TelephonyNotificationPath());
    simdesk::UnplugAllDevicesQuietly();
}

}  // namespace
