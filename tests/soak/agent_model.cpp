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

std::vector<AgentModel> AgentModel::Plugged() const {
    AgentModel plugged = *this;
    plugged.plugged_ = true;
    plugged.inputs_ = PhoneInputs{};
    plugged.leds_ = ModelLeds{};
    plugged.history_ = History{};  // a new reader
    std::vector<AgentModel> states;
    for (const bool asShown : {false, true}) {
        AgentModel state = plugged;
        state.ShowOnPlug(asShown);
        if (states.empty() || !states.front().SameState(state))
            states.push_back(std::move(state));
    }
    return states;
}

// A ringing call shows Ring, a call in progress elsewhere Off-Hook; a call the
// phone answered shows nothing, as after the answer. Whether the phone shows
// again what the agent last showed for the call (`asShown`: a Ring lit before
// the session was locked, or lit again by a repeated type), or what the call's
// state and the lock give, the rules leave open.
void AgentModel::ShowOnPlug(bool asShown) {
    if (currentId_.empty() || direction_ == Direction::None)
        return;
    if (asShown) {
        if (shown_.ring || shown_.offHook)
            WriteLed(shown_.ring ? kRingLed : kOffHookLed, /*on=*/true);
        return;
    }
    if (answeredElsewhere_ && callActive_) {
        WriteLed(kOffHookLed, true);
        return;
    }
    const bool ringing = !answeredByDevice_ && !endedByDevice_;
    const bool mayLight =
        direction_ == Direction::Outgoing || (!sessionLocked_ && !consoleDetached_);
    if (ringing && mayLight) {
        WriteLed(kRingLed, true);
        ringLit_ = true;
    }
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
            // Another call rings: asked its type, kept as the newcomer; the
            // followed call, the LEDs and the presses stay as they are.
            newcomerId_ = id;
            newcomerInProgress_ = false;
            commands.window.push_back("GET CALL " + id + "TYPE");
            return;
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
        Typed(CallIdOf(text, "TYPE"), outgoing);
        return;
    }
    if (Has(text, "INPROGRESS")) {
        const std::string id = CallIdOf(text);
        if (!IsCurrentCall(id)) {
            // Another call answered: in the application, since the phone
            // answers only the followed call.
            if (!waiting_.id.empty() && id == waiting_.id)
                waiting_.answeredElsewhere = true;
            if (!newcomerId_.empty() && id == newcomerId_)
                newcomerInProgress_ = true;
            return;
        }
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
    if (!finished && !IsOtherEndState(text)) {
        // Any other type of the newcomer: not a call the phone follows.
        if (Has(text, "TYPE") && !newcomerId_.empty() && CallIdOf(text, "TYPE") == newcomerId_)
            newcomerId_.clear();
        return;
    }
    const std::string id = CallIdOf(text);
    if (!newcomerId_.empty() && id == newcomerId_)
        newcomerId_.clear();
    if (!currentId_.empty() && !IsCurrentCall(id)) {
        // The end of another call ends nothing the phone follows.
        if (!waiting_.id.empty() && id == waiting_.id)
            waiting_ = Waiting{};
        return;
    }
    EndFollowed(finished);
    FollowWaiting();
}

// A peer-to-peer type: of the followed call as for a single call, of the
// newcomer by the rules of overlapping calls, of any other call nothing.
void AgentModel::Typed(const std::string& id, bool outgoing) {
    if (IsCurrentCall(id)) {
        if (id == newcomerId_)
            newcomerId_.clear();
        TypeRule(outgoing);
        return;
    }
    if (newcomerId_.empty() || id != newcomerId_)
        return;
    const bool inProgress = newcomerInProgress_;
    newcomerId_.clear();
    newcomerInProgress_ = false;
    const Direction direction = outgoing ? Direction::Outgoing : Direction::Incoming;
    if (!currentId_.empty() && PhoneHoldsCall()) {
        // Call waiting: nothing shows it until the held call ends.
        waiting_ = {id, direction, inProgress};
        return;
    }
    TakeOver(id, direction, inProgress);
}

// The type rule of a single call, for the followed call.
void AgentModel::TypeRule(bool outgoing) {
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
}

// The newcomer takes the phone over as if it were the only call: an Off-Hook
// lit for the old call goes out, and the old call waits unless the phone has
// hung it up.
void AgentModel::TakeOver(const std::string& id, Direction direction, bool inProgress) {
    if (!currentId_.empty() && !endedByDevice_) {
        waiting_ = {currentId_, direction_,
                    (answeredElsewhere_ && callActive_) || inProgressBeforeType_};
    }
    // As the only call it would light Ring: a Ring already lit stays lit
    // without a write. Locked or detached, an incoming call lights nothing, so
    // the old call's Ring goes out.
    const bool mayLight =
        direction == Direction::Outgoing || (!sessionLocked_ && !consoleDetached_);
    const bool ringShown = shown_.ring && mayLight;
    if (shown_.offHook)
        WriteLed(kOffHookLed, false);
    else if (shown_.ring && !ringShown)
        WriteLed(kRingLed, false);
    ResetCall();
    callActive_ = false;
    endedByHost_ = endedByDevice_ = false;
    callSeen_ = true;
    currentId_ = id;
    ringLit_ = ringShown;
    inProgressBeforeType_ = inProgress;
    TypeRule(direction == Direction::Outgoing);
}

// The followed call ended: the waiting call is followed at once, ringing or
// answered elsewhere, with none of the old call's hang-up flags.
void AgentModel::FollowWaiting() {
    if (waiting_.id.empty())
        return;
    const Waiting next = waiting_;
    waiting_ = Waiting{};
    ResetCall();
    callActive_ = false;
    endedByHost_ = endedByDevice_ = false;
    callSeen_ = true;
    currentId_ = next.id;
    if (next.direction == Direction::None) {
        inProgressBeforeType_ = next.answeredElsewhere;
        return;
    }
    const bool outgoing = next.direction == Direction::Outgoing;
    direction_ = next.direction;
    (outgoing ? outgoingId_ : incomingId_) = next.id;
    if (next.answeredElsewhere) {
        answeredElsewhere_ = true;
        callActive_ = true;
        WriteLed(kRingLed, false);
        WriteLed(kOffHookLed, true);
        return;
    }
    if (outgoing || (!sessionLocked_ && !consoleDetached_)) {
        WriteLed(kRingLed, true);
        ringLit_ = true;
    }
}

// An end state of the followed call, or any end state while no call is followed.
void AgentModel::EndFollowed(bool finished) {
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

std::vector<AgentModel> AgentModel::ApplicationGone() const {
    std::vector<AgentModel> states;
    for (const bool finished : {true, false}) {
        AgentModel state = *this;
        state.newcomerId_.clear();
        state.newcomerInProgress_ = false;
        state.waiting_ = Waiting{};
        if (!state.currentId_.empty() || state.callSeen_) {
            state.EndFollowed(finished);
            state.CallChanged();
        }
        if (states.empty() || !states.front().SameState(state))
            states.push_back(std::move(state));
    }
    return states;
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
    shown_ = {usage == kRingLed && on, usage == kOffHookLed && on};
    if (on)
        callOver_ = false;
    if (plugged_)
        leds_ = shown_;
}

bool AgentModel::SameState(const AgentModel& other) const {
    const auto fields = [](const AgentModel& m) {
        return std::tie(m.plugged_, m.inputs_, m.leds_, m.shown_, m.history_, m.attached_,
                        m.sessionLocked_, m.consoleDetached_, m.currentId_, m.incomingId_,
                        m.outgoingId_, m.direction_, m.callSeen_, m.ringLit_, m.answeredByDevice_,
                        m.answeredElsewhere_, m.endedByHost_, m.endedByDevice_, m.callActive_,
                        m.inProgressBeforeType_, m.newcomerId_, m.newcomerInProgress_, m.waiting_,
                        m.callOver_);
    };
    return fields(*this) == fields(other);
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
    if (!newcomerId_.empty())
        text += "; newcomer '" + newcomerId_ + "'" + (newcomerInProgress_ ? " in progress" : "");
    if (!waiting_.id.empty())
        text += "; waiting '" + waiting_.id + "'" +
                (waiting_.answeredElsewhere ? " answered elsewhere" : "");
    return text + "; leds " + ::Describe(leds_);
}
