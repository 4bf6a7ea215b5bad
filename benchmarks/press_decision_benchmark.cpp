// The agent's own work for one press, apart from the simulated desktop: decode
// the report, take the call state and apply the rules to each item, record the
// answer or hang-up and compose its command. It follows the reader's loop
// (ActOnReport in bridge/button_reader.cpp) without the Ring write and the
// send, whose costs are the SetIndicator and press → command figures.
#include <benchmark/benchmark.h>

#include "bridge/bridge_state.h"
#include "bridge/button_reader.h"
#include "bridge/call_api.h"
#include "bridge/host_channel.h"
#include "bridge/notification_handler.h"
#include "hid/device_record.h"
#include "micro_support.h"

namespace {

// Stands for the attached call application; nothing is ever sent to it here.
const HWND kAttachedWindow = reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x5150));

// Returns the command composed for the report, or null when it gives none.
const char* DecideReport(const char* report, ReportHistory& history, CommandBuffer& command) {
    ReportTables& input = deviceRecord.input;
    UnpackInputReport(report, static_cast<USHORT>(deviceRecord.capabilities.InputReportByteLength),
                      input.items.get(), input.itemCount, deviceRecord.parsedDescriptor);
    const ItemView item0 = ViewOfItem(input.items.get(), input.itemCount, 0);
    const ItemView item1 = ViewOfItem(input.items.get(), input.itemCount, 1);
    const ItemView item2 = ViewOfItem(input.items.get(), input.itemCount, 2);
    const char* composed = nullptr;
    for (ULONG index = 0; index < input.itemCount; ++index) {
        const ItemView item = ViewOfItem(input.items.get(), input.itemCount, index);
        const PressDecision press = DecidePress(item, item0, item1, item2, history,
                                                /*mayHangUp=*/composed == nullptr);
        // No phone path is recorded: the queued Ring write returns at once.
        if (press.decision.writeIndicators)
            WriteQueuedIndicators();
        const Decision& decision = press.decision;
        if (decision.command == HostCommand::Answer || decision.command == HostCommand::HangUp) {
            ComposeCommand(command, {call_api::kSetCallPrefix, decision.commandId.data(),
                                     decision.command == HostCommand::Answer
                                         ? call_api::kStatusInProgressSuffix
                                         : call_api::kStatusFinishedSuffix});
            composed = command.data();
        }
    }
    history.first0 = item0.first;
    history.first1 = item1.first;
    history.first2 = item2.first;
    return composed;
}

// Lift and replace in turn on a ringing incoming call: every report is a
// press that answers or hangs up.
void BM_PressDecision(benchmark::State& state) {
    OpenedPhone opened;
    if (!opened.ok() || CallStateCopy().apiWindow != nullptr) {
        state.SkipWithError(opened.ok() ? "a call application is attached"
                                        : "the phone did not open");
        return;
    }
    OnHostNotification(L"CALL 1001 STATUS RINGING", nullptr);
    OnHostNotification(L"CALL 1001 TYPE INCOMING_P2P", nullptr);
    RecordApiWindow(kAttachedWindow);
    const char reports[][2] = {{1, 0x02}, {1, 0x00}};  // hook lifted, hook down
    ReportHistory history;
    CommandBuffer command{};
    std::size_t next = 0;
    std::size_t commands = 0;
    AllocationCounter counter;
    for (auto _ : state) {
        const char* composed = DecideReport(reports[next++ % 2], history, command);
        commands += composed != nullptr ? 1 : 0;
        benchmark::DoNotOptimize(composed);
    }
    ReportAllocations(state, counter);
    RecordApiWindow(nullptr);
    OnHostNotification(L"CALL 1001 STATUS FINISHED", nullptr);
    if (commands != next)
        state.SkipWithError("a press gave no command");
}
BENCHMARK(BM_PressDecision);

}  // namespace
