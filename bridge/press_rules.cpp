#include "bridge/press_rules.h"

#include "hid/target_device.h"

namespace {

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

}  // namespace

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
