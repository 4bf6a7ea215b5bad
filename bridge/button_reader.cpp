#include "bridge/button_reader.h"

#include "bridge/call_api.h"
#include "bridge/host_channel.h"
#include "hid/indicator_output.h"
#include "hid/target_device.h"

ReaderContext& readerContext = *new ReaderContext();

namespace {

constexpr DWORD kWaitSliceMs = 1000;

// Reused for every read; only the reader thread touches it.
OVERLAPPED readOverlapped;

bool IsHookSwitchItem(const ItemView& item) {
    return item.page == target_device::kTelephonyPage && item.min == target_device::kHookSwitch;
}

bool IsButton7Pressed(const ItemView& item) {
    return item.page == target_device::kButtonPage && item.min == target_device::kHangUpButton &&
           item.first == target_device::kHangUpButton;
}

bool IsFirstReport(const ReportHistory& history) {
    return history.first0 == ReportHistory::kNoReport && history.first1 == ReportHistory::kNoReport;
}

// The hook moved while item 0 stayed as it was.
bool HookChangedAlone(const ReportHistory& history, const ItemView& item0, const ItemView& item1) {
    return history.first0 == item0.first && history.first1 != item1.first;
}

void Answer(HWND window, const CallView& call) {
    static CommandBuffer answerCommand;
    // Recorded before the Ring write: from then on an answer in the application
    // lights no Off-Hook that this write would put out again. And before the
    // send: the application may report the call in progress while the command
    // is still being handled.
    if (!RecordDeviceAnswer(call.generation))
        return;
    SetIndicator(target_device::kRingLed, /*on=*/false);
    // The Ring write takes milliseconds on a real phone; the call may end meanwhile.
    if (!KeepDeviceAnswer(call.generation))
        return;
    ComposeCommand(answerCommand, {call_api::kSetCallPrefix, call.incomingId.data(),
                                   call_api::kStatusInProgressSuffix});
    SendHostCommand(answerCommand.data(), window);
}

void HangUp(HWND window, const CallView& call, const ItemView& item2) {
    static CommandBuffer hangUpCommand;
    static constexpr CallIdText kNoCall{};
    const CallIdText* id = &kNoCall;
    switch (call.direction) {
        case CallDirection::Incoming:
            id = &call.incomingId;
            break;
        case CallDirection::Outgoing:
            id = &call.outgoingId;
            break;
        case CallDirection::None:
            break;
    }
    if (!RecordDeviceHangUp(call.generation,
                            /*ringOut=*/item2.first != target_device::kHangUpButton))
        return;
    ComposeCommand(hangUpCommand,
                   {call_api::kSetCallPrefix, id->data(), call_api::kStatusFinishedSuffix});
    SendHostCommand(hangUpCommand.data(), window);
}

}  // namespace

void ActOnReport(const ReaderContext& context, ReportHistory& history) {
    const ReportTables& input = context.device->input;
    const ItemView item0 = ViewOfItem(input.items.get(), input.itemCount, 0);
    const ItemView item1 = ViewOfItem(input.items.get(), input.itemCount, 1);
    const ItemView item2 = ViewOfItem(input.items.get(), input.itemCount, 2);
    bool hungUp = false;  // one press, one command
    for (ULONG index = 0; index < input.itemCount; ++index) {
        const ItemView item = ViewOfItem(input.items.get(), input.itemCount, index);
        const CallView call = CurrentCallView();
        switch (DecideItem(item, item0, item1, item2, history, call)) {
            case PressAction::Answer:
                Answer(context.window, call);
                break;
            case PressAction::HangUp:
                if (!hungUp)
                    HangUp(context.window, call, item2);
                hungUp = true;
                break;
            case PressAction::None:
                break;
        }
    }
    history.first0 = item0.first;
    history.first1 = item1.first;
    history.first2 = item2.first;
}

namespace {

// Waits for the pending read in slices. False when a stop was requested first.
bool WaitForRead(const ReaderContext& context, HANDLE event) {
    for (;;) {
        if (context.stopRequested.load() != 0)
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
        if (context.stopRequested.load() != 0)
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

CallView CurrentCallView() {
    const CallSnapshot snapshot = TakeCallSnapshot();
    CallView view;
    view.direction = snapshot.direction;
    view.attached = bridgeState.apiWindow.load() != nullptr;
    view.answeredElsewhere = snapshot.answeredElsewhere;
    view.incomingIdEmpty = snapshot.incomingId[0] == '\0';
    view.endedByHost = snapshot.endedByHost;
    view.sessionLocked = bridgeState.sessionLocked.load() != 0;
    view.consoleDetached = bridgeState.consoleDetached.load() != 0;
    view.generation = snapshot.generation;
    view.incomingId = snapshot.incomingId;
    view.outgoingId = snapshot.outgoingId;
    return view;
}

PressAction DecideItem(const ItemView& item, const ItemView& item0, const ItemView& item1,
                       const ItemView& item2, const ReportHistory& history, const CallView& call) {
    const bool ignoringButtons = !call.attached || call.sessionLocked || call.consoleDetached;

    const bool hookDown = IsHookSwitchItem(item) && item.first == target_device::kHookSwitch;
    if (hookDown && call.direction == CallDirection::Incoming && !call.answeredElsewhere &&
        !call.incomingIdEmpty) {
        if (ignoringButtons)
            return PressAction::None;
        const bool edge = IsFirstReport(history) || HookChangedAlone(history, item0, item1);
        return edge ? PressAction::Answer : PressAction::None;
    }

    if (ignoringButtons || call.endedByHost)
        return PressAction::None;
    const bool hookUp = IsHookSwitchItem(item) && item.first == 0;
    const bool button7 = IsButton7Pressed(item) && call.direction != CallDirection::None;
    if (!hookUp && !button7)
        return PressAction::None;

    const bool edge = (IsFirstReport(history) && item0.first != target_device::kPhoneMute) ||
                      HookChangedAlone(history, item0, item1) ||
                      // Button 7 counts once per press, and only for the Button 7 item itself.
                      (button7 && item2.page == target_device::kButtonPage &&
                       item2.first == target_device::kHangUpButton &&
                       history.first2 != target_device::kHangUpButton);
    return edge ? PressAction::HangUp : PressAction::None;
}

DWORD WINAPI ReaderThreadMain(LPVOID parameter) {
    auto& context = *static_cast<ReaderContext*>(parameter);
    // Kept apart: once finished, the context belongs to the next reader.
    const std::uint32_t generation = context.generation;
    const HWND window = context.window;
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event != nullptr) {
        ReadLoop(context, event);
        CloseHandle(event);
    }
    // From here on the window thread owns the device record again.
    context.finishedGeneration.store(generation);
    PostMessageW(window, kReaderEndedMessage, static_cast<WPARAM>(generation), 0);
    return 0;
}

void CancelPendingRead(const ReaderContext& context) {
    if (context.device != nullptr && context.device->deviceHandle != INVALID_HANDLE_VALUE) {
        CancelIoEx(context.device->deviceHandle, nullptr);
    }
}
