// The agent's own work for one press: the reader's step for one report
// (decode, then ActOnReport: the rules, the Ring write of an answer, the
// command and its send). The call application is a stand-in window on the
// benchmark's own thread, so the send is a plain call into it and no thread
// hand-off is timed; the Ring write goes through the simulated HID stack.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bridge/bridge_state.h"
#include "bridge/button_reader.h"
#include "bridge/notification_handler.h"
#include "hid/device_record.h"
#include "hid/indicator_output.h"
#include "micro_support.h"

namespace {

constexpr wchar_t kStandInClass[] = L"BenchCallAppStandIn";
constexpr char kAnswer[] = "SET CALL 1001  STATUS INPROGRESS";
constexpr char kHangUp[] = "SET CALL 1001  STATUS FINISHED";

// What the stand-in received: every command in turn must be the one expected.
struct Received {
    const char* expected = kAnswer;
    std::size_t right = 0;
    std::size_t wrong = 0;
};
Received received;

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA)
        return DefWindowProcW(window, message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const bool right = data != nullptr && data->lpData != nullptr &&
                       data->cbData == std::strlen(received.expected) + 1 &&
                       std::memcmp(data->lpData, received.expected, data->cbData) == 0;
    ++(right ? received.right : received.wrong);
    received.expected = received.expected == kAnswer ? kHangUp : kAnswer;
    return TRUE;
}

HWND CreateStandIn() {
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    info.lpfnWndProc = StandInProc;
    info.lpszClassName = kStandInClass;
    RegisterClassExW(&info);
    return CreateWindowExW(0, kStandInClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                           nullptr);
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
    SetDevicePath(simdesk::SimulatedPhone::TelephonyPath().c_str());
    const HWND standIn = CreateStandIn();
    OnHostNotification(L"CALL 1001 STATUS RINGING", nullptr);
    OnHostNotification(L"CALL 1001 TYPE INCOMING_P2P", nullptr);
    RecordApiWindow(standIn);
    ReaderContext context;
    context.device = &deviceRecord;
    context.window = standIn;  // the sender; nothing is sent back to it
    ReportHistory history;
    received = Received{};
    const char reports[][2] = {{1, 0x02}, {1, 0x00}};  // hook lifted, hook down
    const auto length = static_cast<USHORT>(deviceRecord.capabilities.InputReportByteLength);
    std::size_t next = 0;
    AllocationCounter counter;
    for (auto _ : state) {
        UnpackInputReport(reports[next++ % 2], length, deviceRecord.input.items.get(),
                          deviceRecord.input.itemCount, deviceRecord.parsedDescriptor);
        ActOnReport(context, history);
    }
    ReportAllocations(state, counter);
    RecordApiWindow(nullptr);
    OnHostNotification(L"CALL 1001 STATUS FINISHED", nullptr);
    DestroyWindow(standIn);
    if (received.right != next || received.wrong != 0)
        state.SkipWithError("a press gave no command, or the wrong one");
}
BENCHMARK(BM_PressDecision);

}  // namespace
