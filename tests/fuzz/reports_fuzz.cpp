// Fuzz target "reports": sequences of arbitrary input reports, of any length,
// decoded by UnpackInputReport into the simulated phone's input items and judged
// by DecideItem under an arbitrary call state.
//
// Input: reports one after another, each
//   byte   the call as the rules see it: bits 0-1 direction (1 incoming, 2 outgoing,
//          else none), bit 2 attached, bit 3 answered elsewhere, bit 4 incoming id
//          empty, bit 5 ended by the call application, bit 6 session locked, bit 7
//          console detached
//   byte   length; 0xFF means no report at all, its length in the next byte
//   bytes  the report: the next `length` input bytes, zeros where the input runs out.
// The report sits in a heap block of exactly its length, so decoding past it is an
// AddressSanitizer report.
#include <algorithm>
#include <string>
#include <vector>

#include "bridge/button_reader.h"
#include "fuzz_support.h"
#include "hid/device_record.h"
#include "hid/target_device.h"
#include "simdesk/desktop.h"
#include "simdesk/phone.h"

namespace {

using simdesk::SimulatedPhone;

struct Desk {
    Desk() {
        FUZZ_REQUIRE(phone.Plug(), "the phone plugs in");
        const std::wstring wide = SimulatedPhone::TelephonyPath();
        FUZZ_REQUIRE(OpenTargetDevice(std::string(wide.begin(), wide.end()).c_str()),
                     "the phone's telephony collection opens");
        FUZZ_REQUIRE(deviceRecord.input.itemCount >= 3, "the phone has three input items");
    }
    simdesk::DesktopThread thread;
    SimulatedPhone phone;
};

// What a decode may change in one item.
struct ItemState {
    NTSTATUS status = 0;
    BOOLEAN hasData = FALSE;
    std::vector<USAGE> usages;
    ULONG value = 0;
    LONG scaledValue = 0;

    bool operator==(const ItemState&) const = default;
};

ItemState StateOf(const ReportItem& item) {
    ItemState state{item.status, item.hasData, {}, 0, 0};
    if (item.isButton) {
        const USAGE* usages = item.button.usages.get();
        state.usages.assign(usages, usages + item.button.maxUsageCount);
    } else {
        state.value = item.value.value;
        state.scaledValue = item.value.scaledValue;
    }
    return state;
}

std::vector<ItemState> Snapshot() {
    std::vector<ItemState> states;
    for (ULONG i = 0; i < deviceRecord.input.itemCount; ++i)
        states.push_back(StateOf(deviceRecord.input.items[i]));
    return states;
}

// The usages a button item lists: up to its 0, or the whole list when full.
std::vector<USAGE> Pressed(const ReportItem& item) {
    std::vector<USAGE> pressed;
    for (ULONG n = 0; n < item.button.maxUsageCount && item.button.usages[n] != 0; ++n)
        pressed.push_back(item.button.usages[n]);
    return pressed;
}

// The phone's input report as its maker lays it out: bit 0 Phone Mute, bit 1 Hook
// Switch, bits 2-4 Buttons 7-9; its items are Mute, Hook Switch, Buttons 7-9.
std::vector<USAGE> ExpectedPressed(ULONG index, std::uint8_t bits) {
    constexpr std::uint8_t kMuteBit = 1u << 0;
    constexpr std::uint8_t kHookBit = 1u << 1;
    constexpr int kFirstButtonBit = 2;
    std::vector<USAGE> pressed;
    if (index == 0 && (bits & kMuteBit) != 0)
        pressed.push_back(target_device::kPhoneMute);
    if (index == 1 && (bits & kHookBit) != 0)
        pressed.push_back(target_device::kHookSwitch);
    if (index == 2) {
        for (int button = SimulatedPhone::kFirstButton; button <= SimulatedPhone::kLastButton;
             ++button) {
            if ((bits >> (kFirstButtonBit + button - SimulatedPhone::kFirstButton)) & 1u)
                pressed.push_back(static_cast<USAGE>(button));
        }
    }
    return pressed;
}

void CheckDecode(const std::vector<ItemState>& before, const char* report, USHORT length,
                 bool decoded) {
    const ReportTables& input = deviceRecord.input;
    if (report == nullptr || length == 0) {
        FUZZ_REQUIRE(!decoded, "an absent or empty report decodes nothing");
        FUZZ_REQUIRE(Snapshot() == before, "an absent or empty report changes no item");
        return;
    }
    const auto reportId = static_cast<std::uint8_t>(report[0]);
    const bool wellFormed = length == deviceRecord.capabilities.InputReportByteLength;
    for (ULONG i = 0; i < input.itemCount; ++i) {
        const ReportItem& item = input.items[i];
        if (item.reportId != reportId) {
            FUZZ_REQUIRE(StateOf(item) == before[i], "items of other reports stay as they were");
            continue;
        }
        if (!item.isButton)
            continue;
        const std::vector<USAGE> pressed = Pressed(item);
        for (USAGE usage : pressed) {
            FUZZ_REQUIRE(usage >= item.button.usageMin && usage <= item.button.usageMax,
                         "an item lists only its own usages");
        }
        if (wellFormed) {
            FUZZ_REQUIRE(item.status == HIDP_STATUS_SUCCESS, "a whole report decodes");
            FUZZ_REQUIRE(pressed == ExpectedPressed(i, static_cast<std::uint8_t>(report[1])),
                         "an item lists exactly the usages its report sets");
        } else {
            FUZZ_REQUIRE(item.status != HIDP_STATUS_SUCCESS, "a cut or long report is refused");
            FUZZ_REQUIRE(item.button.usages.get() != nullptr &&
                             std::equal(before[i].usages.begin(), before[i].usages.end(),
                                        item.button.usages.get()),
                         "a refused report leaves the pressed usages as they were");
        }
    }
    if (wellFormed)
        FUZZ_REQUIRE(decoded, "a whole report of the phone decodes");
}

CallView CallOf(std::uint8_t bits) {
    CallView call;
    switch (bits & 0x03) {
        case 1:
            call.direction = CallDirection::Incoming;
            break;
        case 2:
            call.direction = CallDirection::Outgoing;
            break;
        default:
            call.direction = CallDirection::None;
            break;
    }
    call.attached = (bits & (1u << 2)) != 0;
    call.answeredElsewhere = (bits & (1u << 3)) != 0;
    call.incomingIdEmpty = (bits & (1u << 4)) != 0;
    call.endedByHost = (bits & (1u << 5)) != 0;
    call.sessionLocked = (bits & (1u << 6)) != 0;
    call.consoleDetached = (bits & (1u << 7)) != 0;
    return call;
}

bool IsHookSwitch(const ItemView& item) {
    return item.page == target_device::kTelephonyPage && item.min == target_device::kHookSwitch;
}

// The rules over the decoded items: presses only when buttons count, an answer
// only for a ringing incoming call lifted on the phone, and a held state never
// repeats a press.
void CheckDecisions(const CallView& call, ReportHistory& history) {
    const ReportTables& input = deviceRecord.input;
    const ItemView item0 = ViewOfItem(input.items.get(), input.itemCount, 0);
    const ItemView item1 = ViewOfItem(input.items.get(), input.itemCount, 1);
    const ItemView item2 = ViewOfItem(input.items.get(), input.itemCount, 2);
    const bool buttonsCount = call.attached && !call.sessionLocked && !call.consoleDetached;
    const bool firstReport =
        history.first0 == ReportHistory::kNoReport && history.first1 == ReportHistory::kNoReport;
    const bool unchanged = !firstReport && history.first0 == item0.first &&
                           history.first1 == item1.first && history.first2 == item2.first;
    int answers = 0;
    for (ULONG index = 0; index < input.itemCount; ++index) {
        const ItemView item = ViewOfItem(input.items.get(), input.itemCount, index);
        const PressAction action = DecideItem(item, item0, item1, item2, history, call);
        if (action == PressAction::None)
            continue;
        FUZZ_REQUIRE(buttonsCount, "no press counts while detached, locked or away");
        FUZZ_REQUIRE(!unchanged, "a state held from the previous report presses nothing");
        if (action == PressAction::Answer) {
            ++answers;
            FUZZ_REQUIRE(IsHookSwitch(item) && item.first == target_device::kHookSwitch,
                         "only lifting the handset answers");
            FUZZ_REQUIRE(call.direction == CallDirection::Incoming && !call.incomingIdEmpty &&
                             !call.answeredElsewhere,
                         "only a ringing incoming call is answered");
        } else {
            const bool replaced = IsHookSwitch(item) && item.first == 0;
            const bool button7 = item.page == target_device::kButtonPage &&
                                 item.first == target_device::kHangUpButton &&
                                 call.direction != CallDirection::None;
            FUZZ_REQUIRE(replaced || button7, "only the handset, or Button 7 in a call, hangs up");
            FUZZ_REQUIRE(!call.endedByHost, "no hang-up for a call the application ended");
        }
    }
    FUZZ_REQUIRE(answers <= 1, "one lift, one answer");
    history.first0 = item0.first;
    history.first1 = item1.first;
    history.first2 = item2.first;
}

constexpr std::uint8_t kNoReportLength = 0xFF;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto* desk = new Desk;  // the record stays open for the life of the process
    (void)desk;
    // Fresh item tables: each input starts from a just-opened phone.
    FUZZ_REQUIRE(PrepareReportItems(), "the phone's items are rebuilt");
    ReportHistory history;
    fuzzing::ByteReader input(data, size);
    while (!input.empty()) {
        const CallView call = CallOf(input.Byte());
        std::uint8_t length = input.Byte();
        const bool absent = length == kNoReportLength;
        if (absent)
            length = input.Byte();
        const fuzzing::ExactBlock block(length);
        const std::vector<std::uint8_t> bytes = input.Bytes(absent ? 0 : length);
        std::copy(bytes.begin(), bytes.end(), block.data());
        const char* report = absent ? nullptr : block.data();

        const std::vector<ItemState> before = Snapshot();
        const bool decoded =
            UnpackInputReport(report, length, deviceRecord.input.items.get(),
                              deviceRecord.input.itemCount, deviceRecord.parsedDescriptor);
        CheckDecode(before, report, length, decoded);
        CheckDecisions(call, history);
    }
    return 0;
}
