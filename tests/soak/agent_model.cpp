#include "agent_model.h"

#include <algorithm>
#include <string_view>
#include <tuple>

namespace {

// Usages (HID Usage Tables) of the phone's input items and LEDs.
constexpr std::uint16_t kTelephonyPage = 0x0B;
constexpr std::uint16_t kButtonPage = 0x09;
constexpr std::uint16_t kHookSwitch = 0x20;
constexpr std::uint16_t kPhoneMute = 0x2F;
constexpr std::uint16_t kButton7 = 7;
constexpr std::uint16_t kRingLed = 0x18;
constexpr std::uint16_t kOffHookLed = 0x17;
constexpr int kButtonCount = 3;
constexpr std::size_t kIdLimit = 259;  // the agent's id slots hold 259 characters

bool Has(std::string_view text, std::string_view keyword) {
    return text.find(keyword) != std::string_view::npos;
}

// The id as the agent reads it from a notification: what precedes the keyword
// ("STATUS", or "TYPE" in a type notification), less a leading "CALL" and its
// blank; the blank after the id stays, so commands read "GET CALL 12 TYPE".
std::string CallIdOf(std::string_view text, std::string_view keyword = "STATUS") {
    std::string_view head = text.substr(0, text.find(keyword));
    constexpr std::size_t kCallPrefix = 5;
    if (head.starts_with("CALL"))
        head = head.size() > kCallPrefix ? head.substr(kCallPrefix) : std::string_view{};
    return std::string(head.substr(0, std::min(head.size(), kIdLimit)));
}

bool IsOtherEndState(std::string_view text) {
    for (std::string_view state : {"STATUS UNPLACED", "STATUS FAILED", "STATUS MISSED",
                                   "STATUS REFUSED", "STATUS BUSY", "STATUS CANCELLED"}) {
        if (Has(text, state))
            return true;
    }
    return false;
}

std::uint8_t ButtonBit(int button) {
    return static_cast<std::uint8_t>(1u << (button - kButton7));
}

// The first usage of the buttons item: the lowest button pressed, or 0.
std::uint16_t FirstButton(const PhoneInputs& report) {
    for (int button = kButton7; button < kButton7 + kButtonCount; ++button) {
        if ((report.buttons & ButtonBit(button)) != 0)
            return static_cast<std::uint16_t>(button);
    }
    return 0;
}

}  // namespace

const char* PhoneActionName(PhoneAction action) {
    switch (action) {
        case PhoneAction::Lift:
            return "lift";
        case PhoneAction::Replace:
            return "replace";
        case PhoneAction::PressButton7:
            return "press 7";
        case PhoneAction::ReleaseButton7:
            return "release 7";
        case PhoneAction::PressButton8:
            return "press 8";
        case PhoneAction::ReleaseButton8:
            return "release 8";
        case PhoneAction::PressButton9:
            return "press 9";
        case PhoneAction::ReleaseButton9:
            return "release 9";
        case PhoneAction::PressMute:
            return "press mute";
        case PhoneAction::ReleaseMute:
            return "release mute";
    }
    return "?";
}

std::string Describe(const ModelLeds& leds) {
    return std::string("ring=") + (leds.ring ? "on" : "off") +
           " off-hook=" + (leds.offHook ? "on" : "off");
}

bool AgentModel::PhoneReport(PhoneAction action, PhoneInputs* report) {
    if (!plugged_)
        return false;
    switch (action) {
        case PhoneAction::Lift:
        case PhoneAction::Replace:
            inputs_.hookLifted = action == PhoneAction::Lift;
            break;
        case PhoneAction::PressMute:
        case PhoneAction::ReleaseMute:
            inputs_.mute = action == PhoneAction::PressMute;
            break;
        case PhoneAction::PressButton7:
            inputs_.buttons |= ButtonBit(7);
            break;
        case PhoneAction::PressButton8:
            inputs_.buttons |= ButtonBit(8);
            break;
        case PhoneAction::PressButton9:
            inputs_.buttons |= ButtonBit(9);
            break;
        case PhoneAction::ReleaseButton7:
            inputs_.buttons &= static_cast<std::uint8_t>(~ButtonBit(7));
            break;
        case PhoneAction::ReleaseButton8:
            inputs_.buttons &= static_cast<std::uint8_t>(~ButtonBit(8));
            break;
        case PhoneAction::ReleaseButton9:
            inputs_.buttons &= static_cast<std::uint8_t>(~ButtonBit(9));
            break;
    }
    *report = inputs_;
    return true;
}

void AgentModel::Plugged() {
    plugged_ = true;
    inputs_ = PhoneInputs{};
    leds_ = ModelLeds{};
    history_ = History{};  // a new reader
}

void AgentModel::Unplugged() {
    plugged_ = false;
    leds_ = ModelLeds{};
}

void AgentModel::Session(SessionEvent event) {
    switch (event) {
        case SessionEvent::Lock:
            sessionLocked_ = true;
            break;
        case SessionEvent::Unlock:
            sessionLocked_ = false;
            break;
        case SessionEvent::DisconnectConsole:
            consoleDetached_ = true;
            break;
        case SessionEvent::ConnectConsole:
            consoleDetached_ = false;
            break;
    }
}

// ---- The reader ----

AgentModel::Press AgentModel::Decide(const Item& item, const Item& item0, const Item& item1,
                                     const Item& item2) const {
    const bool ignoringButtons = !attached_ || sessionLocked_ || consoleDetached_;
    const bool firstReport = history_.first0 == History::kNone && history_.first1 == History::kNone;
    const bool hookChangedAlone = history_.first0 == item0.first && history_.first1 != item1.first;
    const bool isHook = item.page == kTelephonyPage && item.min == kHookSwitch;

    // A lift answers a ringing incoming call nobody answered elsewhere.
    if (isHook && item.first == kHookSwitch && direction_ == Direction::Incoming &&
        !answeredElsewhere_ && !incomingId_.empty()) {
        if (ignoringButtons)
            return Press::None;
        return firstReport || hookChangedAlone ? Press::Answer : Press::None;
    }
    // Putting the handset back, or Button 7 during a call, hangs up.
    if (ignoringButtons || endedByHost_)
        return Press::None;
    const bool hookUp = isHook && item.first == 0;
    const bool button7 = item.page == kButtonPage && item.min == kButton7 &&
                         item.first == kButton7 && direction_ != Direction::None;
    if (!hookUp && !button7)
        return Press::None;
    const bool button7Edge = button7 && item2.page == kButtonPage && item2.first == kButton7 &&
                             history_.first2 != kButton7;
    return (firstReport && item0.first != kPhoneMute) || hookChangedAlone || button7Edge
               ? Press::HangUp
               : Press::None;
}

AgentModel::Press AgentModel::DecideItem(const PhoneInputs& report, int item, bool hungUp) const {
    const Item items[kReportItems] = {
        {kTelephonyPage, kPhoneMute, report.mute ? kPhoneMute : std::uint16_t{0}},
        {kTelephonyPage, kHookSwitch, report.hookLifted ? kHookSwitch : std::uint16_t{0}},
        {kButtonPage, kButton7, FirstButton(report)},
    };
    const Press press = Decide(items[item], items[0], items[1], items[2]);
    // One press, one command.
    return press == Press::HangUp && hungUp ? Press::None : press;
}

void AgentModel::CarryOut(const PhoneInputs& report, Press press, bool withdrawn,
                          Commands& commands) {
    switch (press) {
        case Press::Answer:
            // The Ring write comes before the answer is known to stand.
            if (withdrawn)
                WriteLed(kRingLed, false);
            else
                Answer(commands);
            break;
        case Press::HangUp:
            // Button 7 hangs up without touching Ring.
            if (!withdrawn)
                HangUp(/*ringOut=*/(report.buttons & ButtonBit(kButton7)) == 0, commands);
            break;
        case Press::None:
            break;
    }
}

void AgentModel::EndReport(const PhoneInputs& report) {
    history_ = {report.mute ? kPhoneMute : std::uint16_t{0},
                report.hookLifted ? kHookSwitch : std::uint16_t{0}, FirstButton(report)};
}

void AgentModel::Report(const PhoneInputs& report, Commands& commands) {
    bool hungUp = false;
    for (int item = 0; item < kReportItems; ++item) {
        const Press press = DecideItem(report, item, hungUp);
        CarryOut(report, press, /*withdrawn=*/false, commands);
        hungUp = hungUp || press == Press::HangUp;
    }
    EndReport(report);
}

void AgentModel::Answer(Commands& commands) {
    WriteLed(kRingLed, false);
    answeredByDevice_ = true;
    callActive_ = true;
    commands.reader.push_back("SET CALL " + incomingId_ + " STATUS INPROGRESS");
}

void AgentModel::HangUp(bool ringOut, Commands& commands) {
    const std::string id = direction_ == Direction::Incoming   ? incomingId_
                           : direction_ == Direction::Outgoing ? outgoingId_
                                                               : std::string();
    // Only the phone's own answer put Ring out; for any other call Ring stays
    // lit until the call's end state.
    if (ringOut && answeredByDevice_)
        ringLit_ = false;
    endedByDevice_ = true;
    callActive_ = false;
    commands.reader.push_back("SET CALL " + id + " STATUS FINISHED");
}

// ---- The window thread ----

bool AgentModel::IsCurrentCall(const std::string& id) const {
    return !currentId_.empty() && id == currentId_;
}

bool AgentModel::PhoneHoldsCall() const {
    return answeredByDevice_ && callActive_;
}

void AgentModel::RecordAnsweredElsewhere() {
    if (answeredByDevice_ || !ringLit_)
        return;
    ringLit_ = false;
    answeredElsewhere_ = true;
    callActive_ = true;
    CallChanged();
    WriteLed(kRingLed, false);
    WriteLed(kOffHookLed, true);
}

void AgentModel::Notification(const std::string& text, Commands& commands) {
    if (Has(text, "STATUS RINGING") ||
        (Has(text, "STATUS ROUTING") && direction_ == Direction::None)) {
        const std::string id = CallIdOf(text);
        if (!currentId_.empty() && !IsCurrentCall(id)) {
            // Another call: the phone stays with the call it holds; any other
            // call is let go of, and what was lit for it put out.
            if (PhoneHoldsCall())
                return;
            const bool ringWasLit = ringLit_;
            const bool anyWasLit = ringLit_ || answeredElsewhere_;
            ResetCall();
            if (ringWasLit)
                WriteLed(kRingLed, false);
            if (anyWasLit)
                WriteLed(kOffHookLed, false);
        }
        if (!callSeen_) {
            callSeen_ = true;
            endedByHost_ = endedByDevice_ = false;
            CallChanged();
        }
        currentId_ = id;
        commands.window.push_back("GET CALL " + currentId_ + "TYPE");
        return;
    }
    const bool outgoing = Has(text, "TYPE OUTGOING_P2P");
    if (outgoing || Has(text, "TYPE INCOMING_P2P")) {
        if (!IsCurrentCall(CallIdOf(text, "TYPE")))
            return;
        if (!ringLit_ && (outgoing || (!sessionLocked_ && !consoleDetached_))) {
            WriteLed(kRingLed, true);
            ringLit_ = true;
        }
        const Direction direction = outgoing ? Direction::Outgoing : Direction::Incoming;
        std::string& slot = outgoing ? outgoingId_ : incomingId_;
        if (direction_ != direction || slot != currentId_)
            CallChanged();
        direction_ = direction;
        slot = currentId_;
        // Reported in progress before its type: answered already, elsewhere.
        if (inProgressBeforeType_)
            RecordAnsweredElsewhere();
        return;
    }
    if (Has(text, "INPROGRESS")) {
        if (!IsCurrentCall(CallIdOf(text)))
            return;
        if (direction_ == Direction::None)
            inProgressBeforeType_ = true;
        // Video only for a call the phone answered.
        if (direction_ == Direction::Incoming && callActive_ && answeredByDevice_ &&
            !incomingId_.empty()) {
            commands.window.push_back("ALTER CALL " + incomingId_ + " START_VIDEO_SEND");
        }
        RecordAnsweredElsewhere();
        return;
    }
    const bool finished = Has(text, "STATUS FINISHED");
    if (!finished && !IsOtherEndState(text))
        return;
    // While the phone holds its call, the end of another call does not end it.
    if (PhoneHoldsCall() && !IsCurrentCall(CallIdOf(text)))
        return;
    if (finished) {
        if (!endedByDevice_) {
            endedByHost_ = true;
            CallChanged();
        }
        PutIndicatorsOut();
        callActive_ = false;
        ResetCall();
        return;
    }
    PutIndicatorsOut();
    ResetCall();
}

void AgentModel::PutIndicatorsOut() {
    if (ringLit_) {
        ringLit_ = false;
        WriteLed(kRingLed, false);
    }
    WriteLed(kOffHookLed, false);
    callOver_ = true;
}

void AgentModel::ResetCall() {
    direction_ = Direction::None;
    currentId_.clear();
    incomingId_.clear();
    outgoingId_.clear();
    answeredByDevice_ = answeredElsewhere_ = ringLit_ = callSeen_ = false;
    inProgressBeforeType_ = false;
    CallChanged();
}

// Each write carries one LED; the others in the report go out with it.
void AgentModel::WriteLed(std::uint16_t usage, bool on) {
    if (!plugged_)
        return;
    leds_ = {usage == kRingLed && on, usage == kOffHookLed && on};
    if (on)
        callOver_ = false;
}

bool AgentModel::SameState(const AgentModel& other) const {
    const auto fields = [](const AgentModel& m) {
        return std::tie(m.plugged_, m.inputs_, m.leds_, m.history_, m.attached_, m.sessionLocked_,
                        m.consoleDetached_, m.currentId_, m.incomingId_, m.outgoingId_,
                        m.direction_, m.callSeen_, m.ringLit_, m.answeredByDevice_,
                        m.answeredElsewhere_, m.endedByHost_, m.endedByDevice_, m.callActive_,
                        m.inProgressBeforeType_, m.callOver_);
    };
    return fields(*this) == fields(other);
}

std::string AgentModel::RingingCall() const {
    return direction_ == Direction::Incoming && !answeredElsewhere_ ? incomingId_ : std::string();
}

std::string AgentModel::Describe() const {
    const char* direction = direction_ == Direction::Incoming   ? "incoming"
                            : direction_ == Direction::Outgoing ? "outgoing"
                                                                : "none";
    std::string text = "call '" + currentId_ + "' " + direction;
    const std::pair<const char*, bool> flags[] = {
        {"seen", callSeen_},
        {"ringLit", ringLit_},
        {"answeredByDevice", answeredByDevice_},
        {"answeredElsewhere", answeredElsewhere_},
        {"endedByHost", endedByHost_},
        {"endedByDevice", endedByDevice_},
        {"active", callActive_},
        {"inProgressBeforeType", inProgressBeforeType_},
        {"locked", sessionLocked_},
        {"detached", consoleDetached_},
        {"unplugged", !plugged_},
    };
    for (const auto& [name, set] : flags) {
        if (set)
            text += std::string(", ") + name;
    }
    return text + "; leds " + ::Describe(leds_);
}
