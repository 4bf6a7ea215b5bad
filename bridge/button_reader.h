// The reader thread: keeps one overlapped read pending on the phone's input
// report and turns hook-switch and button presses into answer and hang-up
// commands.
#pragma once

#include <atomic>

#include "bridge/bridge_state.h"
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

// ---- Decision rules, kept free of I/O so they can be checked on their own ----

// What the rules see of one input item. A missing item (a report with fewer
// than three) and a value item both read as page 0, min 0, first 0.
struct ItemView {
    USHORT page = 0;
    USHORT min = 0;
    USHORT first = 0;  // first usage pressed, 0 when none
};

ItemView ViewOfItem(const ReportItem* items, ULONG itemCount, ULONG index);

// First usages of items 0, 1 and 2 after the previous report; 0x00FF until a
// report has been seen.
struct ReportHistory {
    static constexpr USHORT kNoReport = 0x00FF;
    USHORT first0 = kNoReport;
    USHORT first1 = kNoReport;
    USHORT first2 = kNoReport;
};

// The call state the rules test, read once per item.
struct CallView {
    CallDirection direction = CallDirection::None;
    bool attached = false;
    bool answeredElsewhere = false;
    bool incomingIdEmpty = true;
    bool endedByHost = false;
    bool sessionLocked = false;
    bool consoleDetached = false;
};

enum class PressAction { None, Answer, HangUp };

// The rule for one item, given items 0 to 2 of the same report and the history.
PressAction DecideItem(const ItemView& item, const ItemView& item0, const ItemView& item1,
                       const ItemView& item2, const ReportHistory& history, const CallView& call);

// The reader's step for one decoded report: every item's press decided, recorded
// and carried out, then the history moved on.
void ActOnReport(const ReaderContext& context, ReportHistory& history);
