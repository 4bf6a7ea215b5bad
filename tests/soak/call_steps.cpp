#include "call_steps.h"

#include <algorithm>
#include <optional>

#include "simdesk/desktop.h"

namespace {

constexpr std::size_t kRecentSteps = 12;

bool PressOn(simdesk::SimulatedPhone& phone, PhoneAction action) {
    switch (action) {
        case PhoneAction::Lift:
            return phone.LiftHandset();
        case PhoneAction::Replace:
            return phone.ReplaceHandset();
        case PhoneAction::PressButton7:
            return phone.PressButton(7);
        case PhoneAction::ReleaseButton7:
            return phone.ReleaseButton(7);
        case PhoneAction::PressButton8:
            return phone.PressButton(8);
        case PhoneAction::ReleaseButton8:
            return phone.ReleaseButton(8);
        case PhoneAction::PressButton9:
            return phone.PressButton(9);
        case PhoneAction::ReleaseButton9:
            return phone.ReleaseButton(9);
        case PhoneAction::PressMute:
            return phone.PressMute();
        case PhoneAction::ReleaseMute:
            return phone.ReleaseMute();
    }
    return false;
}

const char* PartyName(PartyAction action) {
    switch (action) {
        case PartyAction::IncomingCall:
            return "incoming call";
        case PartyAction::OutgoingCall:
            return "outgoing call";
        case PartyAction::AnswerCall:
            return "answered in the application";
        case PartyAction::EndCall:
            return "ends";
        case PartyAction::Notify:
            return "notifies";
        case PartyAction::ReplyAfterCommand:
            return "replies after each command";
        case PartyAction::ReplyDuringCommand:
            return "replies during each command";
    }
    return "?";
}

const char* DeskName(DeskAction action) {
    switch (action) {
        case DeskAction::Plug:
            return "phone plugged";
        case DeskAction::Unplug:
            return "phone unplugged";
        case DeskAction::Lock:
            return "session locked";
        case DeskAction::Unlock:
            return "session unlocked";
        case DeskAction::DisconnectConsole:
            return "console disconnected";
        case DeskAction::ConnectConsole:
            return "console connected";
        case DeskAction::RestartApplication:
            return "call application restarted";
    }
    return "?";
}

ModelLeds LedsOf(const simdesk::SimulatedPhone& phone) {
    const simdesk::PhoneLeds leds = phone.Leds();
    return {leds.ring, leds.offHook};
}

std::string PartyText(const Step& step) {
    std::string text = std::string("app ") + PartyName(step.party);
    if (!step.id.empty())
        text += " " + step.id;
    if (!step.text.empty())
        text += " \"" + step.text + "\"";
    return text;
}

}  // namespace

Step Step::Press(PhoneAction action) {
    Step step;
    step.kind = Kind::Phone;
    step.phone = action;
    return step;
}

Step Step::Party(PartyAction action, std::string id, std::string text) {
    Step step;
    step.kind = Kind::Party;
    step.party = action;
    step.id = std::move(id);
    step.text = std::move(text);
    return step;
}

Step Step::Desk(DeskAction action) {
    Step step;
    step.kind = Kind::Desk;
    step.desk = action;
    return step;
}

Step Step::Race(PhoneAction press, unsigned pressDelayUs, PartyAction action, std::string id,
                std::string text, unsigned partyDelayUs) {
    Step step = Party(action, std::move(id), std::move(text));
    step.kind = Kind::Race;
    step.phone = press;
    step.pressDelayUs = pressDelayUs;
    step.partyDelayUs = partyDelayUs;
    return step;
}

std::string Step::Describe() const {
    switch (kind) {
        case Kind::Phone:
            return std::string("phone ") + PhoneActionName(phone);
        case Kind::Party:
            return PartyText(*this);
        case Kind::Desk:
            return DeskName(desk);
        case Kind::Race:
            return std::string("race: phone ") + PhoneActionName(phone) + " after " +
                   std::to_string(pressDelayUs) + " us, " + PartyText(*this) + " after " +
                   std::to_string(partyDelayUs) + " us";
    }
    return "?";
}

void CallPlayer::PlayParty(const Step& step) {
    simdesk::CallApplication& app = world_.app;
    switch (step.party) {
        case PartyAction::IncomingCall:
            if (step.text.empty())
                app.IncomingCall(step.id);
            else
                app.IncomingCall(step.id, step.text);  // a type other than peer-to-peer
            break;
        case PartyAction::OutgoingCall:
            app.OutgoingCall(step.id);
            break;
        case PartyAction::AnswerCall:
            app.AnswerCall(step.id);
            break;
        case PartyAction::EndCall:
            app.EndCall(step.id, step.text);
            break;
        case PartyAction::Notify:
            app.Notify(step.text);
            break;
        case PartyAction::ReplyAfterCommand:
            app.SetReplyTiming(simdesk::ReplyTiming::AfterCommand);
            break;
        case PartyAction::ReplyDuringCommand:
            app.SetReplyTiming(simdesk::ReplyTiming::DuringCommand);
            break;
    }
}

std::string CallPlayer::Play(const Step& step) {
    ++steps_;
    std::optional<PhoneInputs> press;
    bool raced = false;
    switch (step.kind) {
        case Step::Kind::Phone: {
            PhoneInputs report;
            states_.Apply([&](AgentModel& state) {
                if (state.PhoneReport(step.phone, &report))
                    press = report;
            });
            if (PressOn(world_.phone, step.phone) != press.has_value())
                return "the phone and the model disagree on whether it is plugged";
            break;
        }
        case Step::Kind::Party:
            PlayParty(step);
            break;
        case Step::Kind::Desk:
            switch (step.desk) {
                case DeskAction::Plug:
                    if (world_.phone.Plug())
                        states_.Fork([](const AgentModel& state) { return state.Plugged(); });
                    break;
                case DeskAction::Unplug:
                    if (world_.phone.Unplug())
                        states_.Apply([](AgentModel& state) { state.Unplugged(); });
                    break;
                case DeskAction::Lock:
                    simdesk::LockSession();
                    states_.Apply([](AgentModel& state) { state.Session(SessionEvent::Lock); });
                    break;
                case DeskAction::Unlock:
                    simdesk::UnlockSession();
                    states_.Apply([](AgentModel& state) { state.Session(SessionEvent::Unlock); });
                    break;
                case DeskAction::DisconnectConsole:
                    simdesk::DisconnectConsole();
                    states_.Apply(
                        [](AgentModel& state) { state.Session(SessionEvent::DisconnectConsole); });
                    break;
                case DeskAction::ConnectConsole:
                    simdesk::ConnectConsole();
                    states_.Apply(
                        [](AgentModel& state) { state.Session(SessionEvent::ConnectConsole); });
                    break;
                case DeskAction::RestartApplication:
                    world_.RestartApplication();
                    states_.Fork([](const AgentModel& state) { return state.ApplicationGone(); });
                    break;
            }
            break;
        case Step::Kind::Race: {
            ++races_;
            PhoneInputs report;
            states_.Apply([&](AgentModel& state) {
                if (state.PhoneReport(step.phone, &report)) {
                    press = report;
                    raced = true;
                }
            });
            world_.Together([&] { PlayParty(step); }, step.partyDelayUs,
                            [&] { PressOn(world_.phone, step.phone); }, step.pressDelayUs);
            break;
        }
    }
    world_.Settle();
    const StepSeen seen{world_.TakeTraffic(), LedsOf(world_.phone)};
    lastNotifications_ = seen.traffic.notifications;
    std::string why =
        raced ? states_.CheckRace(*press, seen, counts_) : states_.CheckStep(press, seen, counts_);
    mostStates_ = std::max(mostStates_, states_.Count());

    // Built piecewise: GCC 12 at -O3 warns falsely (-Wrestrict, GCC bug 105651)
    // on a one-character literal plus a temporary std::string.
    std::string line = "#";
    line += std::to_string(steps_);
    line += ' ';
    line += step.Describe();
    for (const std::string& text : seen.traffic.both)
        line += "\n        app " + text;
    recent_.push_back(std::move(line));
    if (recent_.size() > kRecentSteps)
        recent_.pop_front();
    if (why.empty())
        return why;
    return "step " + std::to_string(steps_) + " (" + step.Describe() + "): " + why + Recent();
}

std::string CallPlayer::Recent() const {
    std::string text = "\n    last steps (app -> sent, app <- received):";
    for (const std::string& line : recent_)
        text += "\n      " + line;
    return text;
}
