// The reader's decision rules: which press of the phone answers or hangs up,
// from one report's items, the previous report and the call. Free of I/O and of
// the call-state record, so that both the record's press transition and the
// tests can apply them.
#pragma once

#include "bridge/call_api.h"
#include "platform/platform.h"

// What the rules see of one input item. A missing item (a report with fewer
// than three) and a value item both read as page 0, min 0, first 0.
struct ItemView {
    USHORT page = 0;
    USHORT min = 0;
    USHORT first = 0;  // first usage pressed, 0 when none
};

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
