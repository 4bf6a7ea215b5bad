// What Wine itself brings to the agent: its own HID devices, and the session
// notifications it does not deliver.
#include "agent_fixture.h"

// After <windows.h> (through the fixture); MinGW's HID headers also lack the
// C linkage guard.
#include <tlhelp32.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <cstdint>
#include <memory>
#include <vector>

namespace wine_tests {
namespace {

constexpr USHORT kWineVendorId = 0x845e;

struct HidInterface {
    std::wstring path;
    HIDD_ATTRIBUTES attributes{};
    HIDP_CAPS caps{};
};

struct DeviceInfoListDeleter {
    void operator()(void* list) const { SetupDiDestroyDeviceInfoList(list); }
};
struct HandleDeleter {
    void operator()(void* handle) const { CloseHandle(handle); }
};

// Every present HID interface that opens for query, with its identity.
std::vector<HidInterface> ListHidInterfaces() {
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    std::unique_ptr<void, DeviceInfoListDeleter> list(
        SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    std::vector<HidInterface> found;
    if (list.get() == INVALID_HANDLE_VALUE) {
        list.release();
        return found;
    }
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(list.get(), nullptr, &hidClass, index, &data);
         ++index) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(list.get(), &data, nullptr, 0, &size, nullptr);
        std::vector<unsigned char> buffer(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        if (size < sizeof(*detail)) {
            continue;
        }
        detail->cbSize = sizeof(*detail);
        if (!SetupDiGetDeviceInterfaceDetailW(list.get(), &data, detail, size, nullptr, nullptr)) {
            continue;
        }
        HidInterface entry;
        entry.path = detail->DevicePath;
        std::unique_ptr<void, HandleDeleter> device(
            CreateFileW(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr));
        if (device.get() == INVALID_HANDLE_VALUE) {
            device.release();
            continue;
        }
        entry.attributes.Size = sizeof(entry.attributes);
        PHIDP_PREPARSED_DATA parsed = nullptr;
        if (HidD_GetAttributes(device.get(), &entry.attributes) &&
            HidD_GetPreparsedData(device.get(), &parsed)) {
            HidP_GetCaps(parsed, &entry.caps);
            HidD_FreePreparsedData(parsed);
            found.push_back(entry);
        }
    }
    return found;
}

// Threads of `process` that started in its executable's own code; Wine's DLLs
// start threads of their own (device notifications) that do not count.
int ThreadsStartedInTheExecutable(DWORD process) {
    using QueryThread = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    constexpr int kThreadQuerySetWin32StartAddress = 9;
    auto query = reinterpret_cast<QueryThread>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    std::unique_ptr<void, HandleDeleter> modules(
        CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process));
    MODULEENTRY32W image{};
    image.dwSize = sizeof(image);
    if (query == nullptr || modules.get() == INVALID_HANDLE_VALUE ||
        !Module32FirstW(modules.get(), &image)) {
        if (modules.get() == INVALID_HANDLE_VALUE) {
            modules.release();
        }
        return -1;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(image.modBaseAddr);
    const std::uintptr_t end = begin + image.modBaseSize;

    std::unique_ptr<void, HandleDeleter> threads(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (threads.get() == INVALID_HANDLE_VALUE) {
        threads.release();
        return -1;
    }
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(threads.get(), &entry); more;
         more = Thread32Next(threads.get(), &entry)) {
        if (entry.th32OwnerProcessID != process) {
            continue;
        }
        std::unique_ptr<void, HandleDeleter> thread(
            OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        void* start = nullptr;
        if (thread == nullptr || query(thread.get(), kThreadQuerySetWin32StartAddress, &start,
                                       sizeof(start), nullptr) != 0) {
            return -1;
        }
        const auto address = reinterpret_cast<std::uintptr_t>(start);
        count += address >= begin && address < end ? 1 : 0;
    }
    return count;
}

TEST(WineHid, ItsOwnMouseAndKeyboardInterfacesAreListed) {
    const struct {
        USHORT product;
        USAGE usagePage;
        USAGE usage;
        USHORT inputLength;
    } expected[] = {{0x0001, 0x01, 0x02, 2}, {0x0002, 0x01, 0x06, 14}};
    std::vector<HidInterface> interfaces = ListHidInterfaces();
    for (const auto& device : expected) {
        SCOPED_TRACE(testing::Message() << "product " << device.product);
        int matches = 0;
        for (const HidInterface& entry : interfaces) {
            if (entry.attributes.VendorID == 0x845e &&
                entry.attributes.ProductID == device.product) {
                ++matches;
                EXPECT_EQ(entry.caps.UsagePage, device.usagePage);
                EXPECT_EQ(entry.caps.Usage, device.usage);
                EXPECT_EQ(entry.caps.InputReportByteLength, device.inputLength);
            }
        }
        EXPECT_EQ(matches, 1);
    }
}

class WineDesktop : public AgentTest {};

TEST_F(WineDesktop, AgentEnumeratesWinesHidDevicesActivatesNoneAndKeepsRunning) {
    std::vector<HidInterface> interfaces = ListHidInterfaces();
    ASSERT_FALSE(interfaces.empty()) << "this test needs Wine's own HID devices";
    for (const HidInterface& entry : interfaces) {
        if (entry.attributes.VendorID != kWineVendorId) {
            GTEST_SKIP() << "a HID device other than Wine's own is installed in this prefix "
                            "(the virtual phone?): its tests cover the agent with it";
        }
    }
    standin::ChildProcess& process = StartAgentProcess();
    ASSERT_TRUE(standIn().waitForDiscovers(1, kStartTimeout));
    HWND agent = standIn().discovers().front().broadcaster;
    // Enumeration runs after the discovery broadcast and before the loop: the
    // first accepted notification proves start-up finished without a crash.
    ASSERT_TRUE(standIn().waitUntilAccepted(agent, kEventTimeout));
    EXPECT_TRUE(process.running());
    // Activation would have started the device reader: the window thread is
    // the only thread of the agent's own code.
    EXPECT_EQ(ThreadsStartedInTheExecutable(process.id()), 1)
        << "a thread beyond the window thread runs the agent's code";
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS RINGING"),
              std::vector<std::string>{"GET CALL 1234 TYPE"});
    EXPECT_TRUE(process.running());
}

TEST(WineSession, NotificationsAreAStub) {
    GTEST_SKIP() << "Wine's WTSRegisterSessionNotification returns TRUE but no "
                    "WM_WTSSESSION_CHANGE is ever delivered; the scenario player delivers it "
                    "itself (wine.scenario.locked_session, wine.scenario.console_disconnected)";
}

}  // namespace
}  // namespace wine_tests
