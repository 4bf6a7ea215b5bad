#include "bridge/button_reader.h"

#include "bridge/carry_out.h"
#include "hid/target_device.h"

ReaderContext& readerContext = *new ReaderContext();

namespace {

constexpr DWORD kWaitSliceMs = 1000;

// Reused for every read; only the reader thread touches it.
OVERLAPPED readOverlapped;

// Waits for the pending read in slices. False when a stop was requested first.
bool WaitForRead(const ReaderContext& context, HANDLE event) {
    for (;;) {
        if (context.phase.load() != ReaderPhase::Running)
            return false;
        const DWORD result = WaitForSingleObject(event, kWaitSliceMs);
        if (result == WAIT_OBJECT_0)
            return true;
        if (result != WAIT_TIMEOUT)
            return false;
    }
}

void ReadLoop(const ReaderContext& context, HANDLE event) {
    DeviceRecord& device = *context.device;
    const DWORD length = device.capabilities.InputReportByteLength;
    ReportHistory history;
    for (;;) {
        readOverlapped = OVERLAPPED{};
        readOverlapped.hEvent = event;
        if (ReadFile(device.deviceHandle, device.input.report.get(), length, nullptr,
                     &readOverlapped)) {
            SetEvent(event);
        } else if (GetLastError() != ERROR_IO_PENDING) {
            return;
        }
        DWORD bytesRead = 0;
        if (!WaitForRead(context, event)) {
            // The buffer belongs to the record: the read must be over before the record goes.
            CancelIoEx(device.deviceHandle, &readOverlapped);
            GetOverlappedResult(device.deviceHandle, &readOverlapped, &bytesRead, TRUE);
            return;
        }
        // A failed read (unplugged, cancelled) ends the reader; its buffer holds nothing new.
        if (!GetOverlappedResult(device.deviceHandle, &readOverlapped, &bytesRead, FALSE))
            return;
        UnpackInputReport(device.input.report.get(), static_cast<USHORT>(length),
                          device.input.items.get(), device.input.itemCount,
                          device.parsedDescriptor);
        ActOnReport(context, history);
        if (context.phase.load() != ReaderPhase::Running)
            return;
    }
}

}  // namespace

ItemView ViewOfItem(const ReportItem* items, ULONG itemCount, ULONG index) {
    if (items == nullptr || index >= itemCount || !items[index].isButton)
        return {};
    const ReportItem& item = items[index];
    ItemView view;
    view.page = item.usagePage;
    view.min = static_cast<USHORT>(item.button.usageMin);
    view.first = item.button.maxUsageCount > 0 ? item.button.usages[0] : USHORT{0};
    return view;
}

void ActOnReport(const ReaderContext& context, ReportHistory& history) {
    const ReportTables& input = context.device->input;
    const ItemView item0 = ViewOfItem(input.items.get(), input.itemCount, 0);
    const ItemView item1 = ViewOfItem(input.items.get(), input.itemCount, 1);
    const ItemView item2 = ViewOfItem(input.items.get(), input.itemCount, 2);
    bool hungUp = false;  // one press, one command
    for (ULONG index = 0; index < input.itemCount; ++index) {
        const ItemView item = ViewOfItem(input.items.get(), input.itemCount, index);
        const PressDecision press =
            DecidePress(item, item0, item1, item2, history, /*mayHangUp=*/!hungUp);
        hungUp = hungUp || press.hangUp;
        if (!press.answer) {
            CarryOut(press.decision, context.window);
            continue;
        }
        // The Ring write takes milliseconds on a real phone; the call may end meanwhile.
        if (press.decision.writeIndicators)
            WriteQueuedIndicators();
        if (KeepDeviceAnswer(press.generation)) {
            Decision send = press.decision;
            send.writeIndicators = false;
            CarryOut(send, context.window);
        }
    }
    history.first0 = item0.first;
    history.first1 = item1.first;
    history.first2 = item2.first;
}

DWORD WINAPI ReaderThreadMain(LPVOID parameter) {
    auto& context = *static_cast<ReaderContext*>(parameter);
    // Kept apart: once finished, the context belongs to the window thread.
    const HWND window = context.window;
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event != nullptr) {
        ReadLoop(context, event);
        CloseHandle(event);
    }
    // From here on the window thread owns the device record again.
    context.phase.store(ReaderPhase::Finished);
    PostMessageW(window, kReaderEndedMessage, 0, 0);
    return 0;
}

void CancelPendingRead(const ReaderContext& context) {
    if (context.device != nullptr && context.device->deviceHandle != INVALID_HANDLE_VALUE) {
        CancelIoEx(context.device->deviceHandle, nullptr);
    }
}
