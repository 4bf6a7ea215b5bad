#include <gtest/gtest.h>

#include "bridge/button_reader.h"
#include "hid/target_device.h"

namespace {

using target_device::kButtonPage;
using target_device::kHangUpButton;
using target_device::kHookSwitch;
using target_device::kPhoneMute;
using target_device::kTelephonyPage;

constexpr USHORT kNone = ReportHistory::kNoReport;

// The phone's three input items as the reader sees them.
ItemView Mute(bool pressed) {
    return {kTelephonyPage, kPhoneMute, pressed ? kPhoneMute : USHORT{0}};
}
ItemView Hook(bool offHook) {
    return {kTelephonyPage, kHookSwitch, offHook ? kHookSwitch : USHORT{0}};
}
ItemView Button7(bool pressed) {
    return {kButtonPage, kHangUpButton, pressed ? kHangUpButton : USHORT{0}};
}

CallView Ringing() {
    CallView call;
    call.direction = CallDirection::Incoming;
    call.attached = true;
    call.incomingIdEmpty = false;
    return call;
}
CallView Idle() {
    CallView call;
    call.attached = true;
    return call;
}
CallView Outgoing() {
    CallView call = Idle();
    call.direction = CallDirection::Outgoing;
    return call;
}
CallView Locked(CallView call) {
    call.sessionLocked = true;
    return call;
}
CallView Detached(CallView call) {
    call.consoleDetached = true;
    return call;
}
CallView Unattached(CallView call) {
    call.attached = false;
    return call;
}
CallView AnsweredElsewhere(CallView call) {
    call.answeredElsewhere = true;
    return call;
}
CallView EndedByHost(CallView call) {
    call.endedByHost = true;
    return call;
}

struct RuleCase {
    int line;
    const char* what;
    ItemView items[3];
    ReportHistory history;
    CallView call;
    PressAction expected[3];  // for items 0, 1, 2
};

const char* Name(PressAction action) {
    switch (action) {
        case PressAction::Answer:
            return "Answer";
        case PressAction::HangUp:
            return "HangUp";
        case PressAction::None:
            break;
    }
    return "None";
}

constexpr PressAction N = PressAction::None;
constexpr PressAction A = PressAction::Answer;
constexpr PressAction H = PressAction::HangUp;

TEST(PressRules, AnswerAndHangUpFollowTheEdgeRules) {
    const RuleCase cases[] = {
        {__LINE__,
         "lifting the handset answers a ringing call",
         {Mute(false), Hook(true), Button7(false)},
         {0, 0, 0},
         Ringing(),
         {N, A, N}},
        {__LINE__,
         "the first report after start counts as an edge",
         {Mute(false), Hook(true), Button7(false)},
         {kNone, kNone, kNone},
         Ringing(),
         {N, A, N}},
        {__LINE__,
         "a held hook switch does not answer again",
         {Mute(false), Hook(true), Button7(false)},
         {0, kHookSwitch, 0},
         Ringing(),
         {N, N, N}},
        {__LINE__,
         "the hook and mute changing together is not an edge",
         {Mute(true), Hook(true), Button7(false)},
         {0, 0, 0},
         Ringing(),
         {N, N, N}},
        {__LINE__,
         "no answer while locked",
         {Mute(false), Hook(true), Button7(false)},
         {0, 0, 0},
         Locked(Ringing()),
         {N, N, N}},
        {__LINE__,
         "no answer while detached",
         {Mute(false), Hook(true), Button7(false)},
         {0, 0, 0},
         Detached(Ringing()),
         {N, N, N}},
        {__LINE__,
         "no answer before attach",
         {Mute(false), Hook(true), Button7(false)},
         {0, 0, 0},
         Unattached(Ringing()),
         {N, N, N}},
        {__LINE__,
         "no answer for a call answered elsewhere, nor a hang-up",
         {Mute(false), Hook(true), Button7(false)},
         {0, 0, 0},
         AnsweredElsewhere(Ringing()),
         {N, N, N}},
        {__LINE__,
         "lifting with no call sends nothing",
         {Mute(false), Hook(true), Button7(false)},
         {0, 0, 0},
         Idle(),
         {N, N, N}},
        {__LINE__,
         "replacing the handset hangs up",
         {Mute(false), Hook(false), Button7(false)},
         {0, kHookSwitch, 0},
         Ringing(),
         {N, H, N}},
        {__LINE__,
         "replacing the handset with no call hangs up without an id",
         {Mute(false), Hook(false), Button7(false)},
         {0, kHookSwitch, 0},
         Idle(),
         {N, H, N}},
        {__LINE__,
         "no hang-up once the call application ended the call",
         {Mute(false), Hook(false), Button7(false)},
         {0, kHookSwitch, 0},
         EndedByHost(Ringing()),
         {N, N, N}},
        {__LINE__,
         "the first report with the handset down hangs up",
         {Mute(false), Hook(false), Button7(false)},
         {kNone, kNone, kNone},
         Outgoing(),
         {N, H, N}},
        {__LINE__,
         "unless item 0 shows mute pressed",
         {Mute(true), Hook(false), Button7(false)},
         {kNone, kNone, kNone},
         Outgoing(),
         {N, N, N}},
        {__LINE__,
         "button 7 during a call hangs up, once, through its own item",
         {Mute(false), Hook(false), Button7(true)},
         {0, 0, 0},
         Outgoing(),
         {N, N, H}},
        {__LINE__,
         "a held button 7 does not hang up again",
         {Mute(false), Hook(false), Button7(true)},
         {0, 0, kHangUpButton},
         Outgoing(),
         {N, N, N}},
        {__LINE__,
         "button 7 with no call sends nothing",
         {Mute(false), Hook(false), Button7(true)},
         {0, 0, 0},
         Idle(),
         {N, N, N}},
        {__LINE__,
         "button 7 with the handset lifted during an answered call",
         {Mute(false), Hook(true), Button7(true)},
         {0, kHookSwitch, 0},
         Ringing(),
         {N, N, H}},
        {__LINE__,
         "button 7 ignored while locked",
         {Mute(false), Hook(false), Button7(true)},
         {0, 0, 0},
         Locked(Outgoing()),
         {N, N, N}},
        {__LINE__,
         "mute changes send nothing",
         {Mute(true), Hook(false), Button7(false)},
         {0, 0, 0},
         Outgoing(),
         {N, N, N}},
        {__LINE__,
         "mute released sends nothing",
         {Mute(false), Hook(false), Button7(false)},
         {kPhoneMute, 0, 0},
         Outgoing(),
         {N, N, N}},
    };
    for (const RuleCase& c : cases) {
        for (int index = 0; index < 3; ++index) {
            const PressAction action =
                DecideItem(c.items[index], c.items[0], c.items[1], c.items[2], c.history, c.call);
            EXPECT_EQ(action, c.expected[index])
                << "line " << c.line << " (" << c.what << "), item " << index << ": got "
                << Name(action) << ", expected " << Name(c.expected[index]);
        }
    }
}

TEST(PressRules, MissingAndValueItemsReadAsEmpty) {
    ReportItem items[2];
    items[0].isButton = TRUE;
    items[0].usagePage = kTelephonyPage;
    items[0].button.usageMin = kHookSwitch;
    items[0].button.maxUsageCount = 2;
    items[0].button.usages.reset(new USAGE[2]{kHookSwitch, 0});
    items[1].isButton = FALSE;
    items[1].usagePage = kTelephonyPage;

    const ItemView hook = ViewOfItem(items, 2, 0);
    EXPECT_EQ(hook.page, kTelephonyPage);
    EXPECT_EQ(hook.min, kHookSwitch);
    EXPECT_EQ(hook.first, kHookSwitch);

    for (ULONG index : {1u, 2u, 7u}) {
        const ItemView view = ViewOfItem(items, 2, index);
        EXPECT_EQ(view.page, 0) << "item " << index;
        EXPECT_EQ(view.min, 0) << "item " << index;
        EXPECT_EQ(view.first, 0) << "item " << index;
    }

    // A button item whose list has no room reads as nothing pressed.
    items[0].button.maxUsageCount = 0;
    EXPECT_EQ(ViewOfItem(items, 2, 0).first, 0);
}

}  // namespace
