// What a Windows program sees of the virtual phone through SetupAPI and HID.DLL.
#pragma once

#include "vphone/phone_layout.h"
#include "win32_handle.h"

#include <dbt.h>

extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vphone::test {

// The phone's interface path as SetupAPI lists it.
inline constexpr wchar_t kListedPath[] = VPHONE_LISTED_PATH;

std::vector<std::wstring> PresentHidPaths();

// Polls the present HID interfaces until `path` is (or is no longer) among them.
bool WaitListed(const std::wstring& path, bool listed, std::chrono::milliseconds timeout);

class PreparsedData {
  public:
    PreparsedData() = default;
    explicit PreparsedData(PHIDP_PREPARSED_DATA data) : data_(data) {}
    PreparsedData(const PreparsedData&) = delete;
    PreparsedData& operator=(const PreparsedData&) = delete;
    ~PreparsedData() {
        if (data_)
            HidD_FreePreparsedData(data_);
    }
    [[nodiscard]] PHIDP_PREPARSED_DATA get() const { return data_; }

  private:
    PHIDP_PREPARSED_DATA data_ = nullptr;
};

struct UsageCap {
    USAGE page;
    USAGE usage;  // usage, or the first of a range
    UCHAR reportId;
    friend bool operator==(const UsageCap&, const UsageCap&) = default;
};

std::vector<UsageCap> ButtonCaps(HIDP_REPORT_TYPE type, PHIDP_PREPARSED_DATA data);

// Pressed usages of one page in a report, in the parser's order.
std::vector<USAGE> PressedUsages(USAGE page, PHIDP_PREPARSED_DATA data, std::vector<char>& report);

// One ReadFile on an overlapped handle, waited for with a deadline.
struct ReadResult {
    bool completed = false;  // false: still pending at the deadline (the read is cancelled)
    DWORD error = ERROR_SUCCESS;
    std::vector<unsigned char> bytes;
};

class OverlappedRead {
  public:
    OverlappedRead(HANDLE device, DWORD length);
    OverlappedRead(const OverlappedRead&) = delete;
    OverlappedRead& operator=(const OverlappedRead&) = delete;
    ~OverlappedRead();
    [[nodiscard]] DWORD startError() const { return startError_; }
    ReadResult Wait(std::chrono::milliseconds timeout);

  private:
    HANDLE device_;
    KernelHandle event_;
    OVERLAPPED overlapped_{};
    std::vector<unsigned char> buffer_;
    DWORD startError_ = ERROR_SUCCESS;
    bool finished_ = false;
};

// WM_DEVICECHANGE interface notifications of the HID class, collected by a hidden window
// that a thread of its own pumps.
class DeviceNotifications {
  public:
    DeviceNotifications();
    DeviceNotifications(const DeviceNotifications&) = delete;
    DeviceNotifications& operator=(const DeviceNotifications&) = delete;
    ~DeviceNotifications();

    // False when the window or the notification registration could not be made.
    [[nodiscard]] bool ready() const { return ready_; }

    // The number of notifications seen so far: a mark for WaitFor.
    std::size_t count();

    // The path of the first notification of `kind` (DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE)
    // after the first `since` ones whose path equals `path` ignoring case; empty on timeout.
    std::optional<std::wstring> WaitFor(WPARAM kind, const std::wstring& path,
                                        std::chrono::milliseconds timeout, std::size_t since = 0);

    // Called on the window thread.
    void Record(WPARAM kind, std::wstring path);

  private:
    void Run(std::promise<bool>& started);

    struct Notification {
        WPARAM kind;
        std::wstring path;
    };
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Notification> seen_;
    DWORD threadId_ = 0;
    bool ready_ = false;
    std::thread thread_;
};

}  // namespace vphone::test
