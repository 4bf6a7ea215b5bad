// Reads and writes on an open HID interface, as the HID class driver serves them.
#include <algorithm>
#include <cstring>

#include "hid/device_registry.h"
#include "simdesk/win32_kernel.h"

namespace simdesk::hid {

HidFile::HidFile(std::shared_ptr<Interface> interface, DWORD access, DWORD share)
    : interface_(std::move(interface)), access_(access), share_(share) {}

BOOL HidFile::Read(void* buffer, DWORD length, DWORD* bytesRead, OVERLAPPED* overlapped,
                   DWORD* error) {
    if (!interface_->plugged) {
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }
    if ((access_ & GENERIC_READ) == 0) {
        *error = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    const DWORD reportLength = interface_->collection.types[HidP_Input].byteLength;
    // The class driver refuses a buffer that cannot hold one whole report
    // (STATUS_INVALID_BUFFER_SIZE).
    if (reportLength == 0 || length < reportLength || buffer == nullptr) {
        *error = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    // One report per read, however large the buffer.
    if (!queue_.empty()) {
        std::memcpy(buffer, queue_.front().data(), reportLength);
        queue_.pop_front();
        *bytesRead = reportLength;
        return TRUE;
    }
    pending_.push_back({overlapped, buffer, length});
    *error = ERROR_IO_PENDING;
    return FALSE;
}

BOOL HidFile::Write(const void* buffer, DWORD length, DWORD* bytesWritten, OVERLAPPED* overlapped,
                    DWORD* error) {
    if (!interface_->plugged) {
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }
    if ((access_ & GENERIC_WRITE) == 0) {
        *error = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    // A collection without output reports has no report to write.
    const ReportTypeData& output = interface_->collection.types[HidP_Output];
    if (output.byteLength == 0) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    // The class driver takes exactly one whole output report per write.
    if (length != output.byteLength || buffer == nullptr) {
        *error = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    // A report ID the collection does not have never reaches the device.
    if (std::find(output.reportIds.begin(), output.reportIds.end(), bytes[0]) ==
        output.reportIds.end()) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::vector<std::uint8_t> report(bytes, bytes + length);
    if (interface_->writesToHold > 0) {
        --interface_->writesToHold;
        interface_->heldWrites.push_back({overlapped, std::move(report)});
        *error = ERROR_IO_PENDING;
        return FALSE;
    }
    interface_->TakeOutputReport(report);
    *bytesWritten = length;
    return TRUE;
}

void Interface::TakeOutputReport(const std::vector<std::uint8_t>& report) {
    outputReports.Add(report);
    if (device != nullptr && device->observer)
        device->observer(index, report);
}

bool HidFile::Cancel(const OVERLAPPED* overlapped) {
    bool any = false;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (overlapped == nullptr || it->overlapped == overlapped) {
            CompleteOverlapped(it->overlapped, kStatusCancelled, 0);
            it = pending_.erase(it);
            any = true;
        } else {
            ++it;
        }
    }
    return any;
}

void HidFile::OnLastHandleClosed() {
    // Closing the handle ends what is still pending on it.
    FailPending(kStatusDeletePending);
    auto& files = interface_->files;
    files.erase(std::remove_if(files.begin(), files.end(),
                               [this](const std::weak_ptr<HidFile>& file) {
                                   auto locked = file.lock();
                                   return !locked || locked.get() == this;
                               }),
                files.end());
}

void HidFile::Deliver(const std::vector<std::uint8_t>& report) {
    if ((access_ & GENERIC_READ) == 0)
        return;
    if (!pending_.empty()) {
        const PendingRead read = pending_.front();
        pending_.pop_front();
        std::memcpy(read.buffer, report.data(), report.size());
        CompleteOverlapped(read.overlapped, kStatusSuccess, static_cast<DWORD>(report.size()));
        return;
    }
    if (queue_.size() == kInputQueueLength)
        queue_.pop_front();
    queue_.push_back(report);
}

void HidFile::FailPending(ULONG_PTR status) {
    for (const PendingRead& read : pending_)
        CompleteOverlapped(read.overlapped, status, 0);
    pending_.clear();
    queue_.clear();
}

}  // namespace simdesk::hid
