// The reader thread: keeps one overlapped read pending on the phone's input
// report and turns hook-switch and button presses into answer and hang-up
// commands.
#pragma once

#include <atomic>

#include "bridge/bridge_state.h"
#include "bridge/press_rules.h"
#include "hid/device_record.h"
#include "platform/platform.h"

// Posted by the reader to its window as its very last act. Any program can
// post this number to a top-level window, so the message only prompts the
// window thread to look: the record is released only once the reader's phase
// shows that it is done with it.
inline constexpr UINT kReaderEndedMessage = WM_APP + 1;

// Where the reader stands. The hand-back of the device record between the
// window thread and the reader: the window thread starts a reader (Running),
// asks it to stop (Stopping), and takes the record back once the reader, as
// its last use of it, has set Finished; then None again.
enum class ReaderPhase : LONG { None, Running, Stopping, Finished };

struct ReaderContext {
    DeviceRecord* device = nullptr;
    HWND window = nullptr;    // sender of every command
    HANDLE thread = nullptr;  // window thread only
    std::atomic<ReaderPhase> phase{ReaderPhase::None};
};

extern ReaderContext& readerContext;

// Thread entry; the argument is the ReaderContext. Exit code 0.
DWORD WINAPI ReaderThreadMain(LPVOID context);

// Wakes a reader blocked in its read so that it notices a stop request at once.
void CancelPendingRead(const ReaderContext& context);

// What the rules see of input item `index`; a missing item reads as page 0.
ItemView ViewOfItem(const ReportItem* items, ULONG itemCount, ULONG index);

// The reader's step for one decoded report: every item's press decided, recorded
// and carried out, then the history moved on.
void ActOnReport(const ReaderContext& context, ReportHistory& history);
