// The plugged HID devices and their interfaces. Everything here is guarded by
// the desktop lock.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "hid/parsed_collection.h"
#include "kernel/bounded_log.h"
#include "kernel/kernel_objects.h"
#include "simdesk/devices.h"

namespace simdesk::hid {

class HidFile;
struct Device;

struct Interface {
    Device* device = nullptr;  // valid while plugged
    std::size_t index = 0;     // within the device
    std::wstring path;
    std::wstring notificationPath;
    ParsedCollection collection;
    std::vector<std::weak_ptr<HidFile>> files;
    std::size_t opens = 0;  // every open since plugged
    BoundedLog<std::vector<std::uint8_t>> outputReports;
    bool plugged = true;

    // Output reports held inside their WriteFile (HoldOutputReports).
    struct HeldWrite {
        OVERLAPPED* overlapped;
        std::vector<std::uint8_t> report;
    };
    std::size_t writesToHold = 0;
    std::deque<HeldWrite> heldWrites;

    // The device takes a report: it is recorded and its observer sees it.
    void TakeOutputReport(const std::vector<std::uint8_t>& report);
};

struct Device {
    DeviceId id = 0;
    DeviceModel model;
    OutputReportObserver observer;
    std::vector<std::shared_ptr<Interface>> interfaces;
};

// Present interfaces in plug order. Lock held.
std::vector<std::shared_ptr<Interface>> PresentInterfaces();

// An open device file: one handle's view of an interface.
class HidFile : public FileObject {
  public:
    HidFile(std::shared_ptr<Interface> interface, DWORD access, DWORD share);

    BOOL Read(void* buffer, DWORD length, DWORD* bytesRead, OVERLAPPED* overlapped,
              DWORD* error) override;
    BOOL Write(const void* buffer, DWORD length, DWORD* bytesWritten, OVERLAPPED* overlapped,
               DWORD* error) override;
    bool Cancel(const OVERLAPPED* overlapped) override;
    void OnLastHandleClosed() override;

    // Completes a pending read with the report, or queues it.
    void Deliver(const std::vector<std::uint8_t>& report);
    // Ends every pending read with `status`.
    void FailPending(ULONG_PTR status);

    const std::shared_ptr<Interface>& interface() const { return interface_; }
    DWORD access() const { return access_; }
    DWORD share() const { return share_; }

  private:
    struct PendingRead {
        OVERLAPPED* overlapped;
        void* buffer;
        DWORD length;
    };
    // The HID class driver keeps 32 input reports per handle by default and drops
    // the oldest when a reader falls behind.
    static constexpr std::size_t kInputQueueLength = 32;

    std::shared_ptr<Interface> interface_;
    DWORD access_;
    DWORD share_;
    std::deque<std::vector<std::uint8_t>> queue_;
    std::deque<PendingRead> pending_;
};

}  // namespace simdesk::hid
