#include "soak_calls.h"

#include <string>
#include <string_view>

namespace {

constexpr unsigned kFirstCallId = 1000;
// The overlapping call of call n is kSecondCallOffset + n; a call the
// application never had is kUnknownCallOffset + n.
constexpr unsigned kSecondCallOffset = 500000;
constexpr unsigned kUnknownCallOffset = 900000;
// Chances, in percent, of a second call overlapping a ringing, an outgoing and
// an answered call.
constexpr unsigned kOverlapRinging = 30;
constexpr unsigned kOverlapOutgoing = 15;
constexpr unsigned kOverlapInProgress = 30;
// How far apart the two sides of a race start, in microseconds.
constexpr unsigned kRaceSpreadUs = 250;

// Chances, in percent, of each disturbance at a point between two steps.
constexpr unsigned kLockChance = 2;
constexpr unsigned kUnlockChance = 40;
constexpr unsigned kDisconnectChance = 1;
constexpr unsigned kReconnectChance = 50;
constexpr unsigned kUnplugChance = 2;
constexpr unsigned kReplugChance = 50;
constexpr unsigned kRestartPerMille = 12;

const char* const kIncomingEnds[] = {"MISSED", "MISSED", "REFUSED", "CANCELLED", "FAILED", "BUSY"};
const char* const kCallerGivesUp[] = {"MISSED", "MISSED", "REFUSED", "CANCELLED"};
const char* const kOutgoingEnds[] = {"BUSY", "FAILED", "CANCELLED", "UNPLACED"};
// What the application may say of a call the phone never followed.
const char* const kOtherCallTails[] = {
    "STATUS CANCELLED", "STATUS FINISHED",   "STATUS MISSED",     "STATUS REFUSED",
    "STATUS BUSY",      "STATUS INPROGRESS", "TYPE INCOMING_P2P", "TYPE OUTGOING_P2P",
};
const char* const kEndStatuses[] = {"FINISHED", "UNPLACED", "FAILED",   "MISSED",
                                    "REFUSED",  "BUSY",     "CANCELLED"};

// The call a "CALL <id> STATUS <status>" notification names, and its status.
bool StatusOf(const std::string& text, std::string* id, std::string* status) {
    constexpr std::string_view kCall = "CALL ";
    constexpr std::string_view kStatus = " STATUS ";
    const std::size_t at = text.find(kStatus);
    if (!text.starts_with(kCall) || at == std::string::npos || at <= kCall.size())
        return false;
    *id = text.substr(kCall.size(), at - kCall.size());
    *status = text.substr(at + kStatus.size());
    return true;
}

template <std::size_t N>
const char* Pick(SoakRandom& random, const char* const (&choices)[N]) {
    return choices[random.Below(N)];
}

}  // namespace

std::uint64_t SoakRandom::Next() {
    // splitmix64
    std::uint64_t value = (state_ += 0x9E3779B97F4A7C15ull);
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

bool SoakCalls::Play(const Step& step) {
    failure_ = player_.Play(step);
    Follow();
    return failure_.empty();
}

// Keeps the calls the application has going, by what it said.
void SoakCalls::Follow() {
    for (const std::string& text : player_.lastNotifications()) {
        std::string id, status;
        if (!StatusOf(text, &id, &status))
            continue;
        if (status == "RINGING" || status == "ROUTING")
            live_.insert(id);
        for (const char* end : kEndStatuses) {
            if (status == end)
                live_.erase(id);
        }
    }
}

bool SoakCalls::Race(PhoneAction press, PartyAction action, const std::string& id,
                     const std::string& text) {
    return Play(Step::Race(press, random_.Below(kRaceSpreadUs), action, id, text,
                           random_.Below(kRaceSpreadUs)));
}

bool SoakCalls::Call(unsigned index) {
    const std::string id = std::to_string(kFirstCallId + index);
    if (!Play(Step::Party(random_.Percent(50) ? PartyAction::ReplyAfterCommand
                                              : PartyAction::ReplyDuringCommand)) ||
        !Disturb())
        return false;
    second_ = std::to_string(kSecondCallOffset + index);
    overlapped_ = false;
    const bool incoming = random_.Percent(60);
    if (!(incoming ? Incoming(id) : Outgoing(id)))
        return false;
    // The phone could not end it (locked, unplugged, detached, or it followed
    // the other call): the person ends it in the application.
    if (live_.count(id) != 0) {
        Tally("ended in the application, the phone being ignored");
        if (!Play(Step::Party(PartyAction::EndCall, id, "FINISHED")))
            return false;
    }
    return SecondTurn() && EndLeftOver() && PutHandsetDown() && Disturb();
}

// A second call while `id` rings or is going: one the application tells of
// but never had, one placed in the application, or one that rings.
bool SoakCalls::Overlap(const std::string& id) {
    if (overlapped_)
        return true;  // two calls at most: the second comes once
    overlapped_ = true;
    const std::string unknown = std::to_string(kUnknownCallOffset + std::stoul(id));
    const unsigned roll = random_.Below(100);
    if (roll < 20) {
        const char* tail = Pick(random_, kOtherCallTails);
        Tally(std::string("another call's notification: ") + tail);
        const std::string text = "CALL " + unknown + " " + tail;
        if (random_.Percent(30)) {
            const PhoneAction press =
                phone_.IsHandsetLifted() ? PhoneAction::Replace : PhoneAction::Lift;
            return Race(press, PartyAction::Notify, {}, text);
        }
        return Play(Step::Party(PartyAction::Notify, {}, text));
    }
    if (roll < 30) {
        Tally("a call placed in the application meanwhile");
        return Play(Step::Party(PartyAction::OutgoingCall, second_)) &&
               (random_.Percent(50) || Play(Step::Party(PartyAction::AnswerCall, second_))) &&
               Play(Step::Party(PartyAction::EndCall, second_, "FINISHED"));
    }
    if (roll < 40) {
        Tally("a second call of a type not followed");
        return Play(Step::Party(PartyAction::IncomingCall, second_, "INCOMING_PSTN"));
    }
    return SecondRings(id);
}

// A second peer-to-peer call rings: it takes the phone over from a call the
// phone does not hold, or waits.
bool SoakCalls::SecondRings(const std::string& id) {
    if (random_.Percent(25)) {
        const bool lifted = phone_.IsHandsetLifted();
        const bool button7 = lifted && random_.Percent(50);
        Tally(std::string("a second call rings, racing ") + (button7  ? "button 7"
                                                             : lifted ? "the handset put back"
                                                                      : "a lift"));
        const PhoneAction press = button7  ? PhoneAction::PressButton7
                                  : lifted ? PhoneAction::Replace
                                           : PhoneAction::Lift;
        if (!Race(press, PartyAction::IncomingCall, second_) ||
            (button7 && !Play(Step::Press(PhoneAction::ReleaseButton7))))
            return false;
    } else {
        Tally("a second call rings");
        if (!Play(Step::Party(PartyAction::IncomingCall, second_)))
            return false;
    }
    if (!Disturb())
        return false;
    const unsigned roll = random_.Below(100);
    if (roll < 25) {
        const char* status = Pick(random_, kCallerGivesUp);
        Tally(std::string("the second call ends first: ") + status);
        return Play(Step::Party(PartyAction::EndCall, second_, status));
    }
    if (roll < 40) {
        Tally("the second call answered in the application");
        return Play(Step::Party(PartyAction::AnswerCall, second_));
    }
    if (roll < 50) {
        Tally("the first call ends while the second rings");
        return Play(Step::Party(PartyAction::EndCall, id, Pick(random_, kIncomingEnds)));
    }
    return true;  // both go on
}

// The second call, if still going once the first has ended, is the one the
// phone follows: the person deals with it on the phone or in the application.
bool SoakCalls::SecondTurn() {
    if (live_.count(second_) == 0)
        return true;
    const unsigned roll = random_.Below(100);
    if (roll < 40) {
        if (phone_.IsHandsetLifted()) {
            Tally("second call: handset put back");
            return Play(Step::Press(PhoneAction::Replace));
        }
        Tally("second call: lifted, then put back or ended by the far end");
        if (!Play(Step::Press(PhoneAction::Lift)) || !Fiddle())
            return false;
        return random_.Percent(50) ? Play(Step::Press(PhoneAction::Replace))
                                   : Play(Step::Party(PartyAction::EndCall, second_, "FINISHED"));
    }
    if (roll < 70) {
        Tally("second call: answered in the application");
        return Play(Step::Party(PartyAction::AnswerCall, second_)) &&
               Play(Step::Party(PartyAction::EndCall, second_, "FINISHED"));
    }
    Tally("second call: missed");
    return Play(Step::Party(PartyAction::EndCall, second_, "MISSED"));
}

// Whatever is still going ends in the application.
bool SoakCalls::EndLeftOver() {
    const std::set<std::string> left = live_;
    for (const std::string& id : left) {
        Tally("a call left going ended in the application");
        if (!Play(Step::Party(PartyAction::EndCall, id, "FINISHED")))
            return false;
    }
    return true;
}

bool SoakCalls::Incoming(const std::string& id) {
    if (!Play(Step::Party(PartyAction::IncomingCall, id)) || !Disturb())
        return false;
    if (random_.Percent(kOverlapRinging) && !Overlap(id))
        return false;
    const unsigned roll = random_.Below(100);
    if (roll < 30) {
        Tally("incoming, answered on the phone");
        return Play(Step::Press(PhoneAction::Lift)) && InProgress(id);
    }
    if (roll < 42) {
        const char* status = Pick(random_, kCallerGivesUp);
        Tally(std::string("incoming, lift races ") + status);
        return Race(PhoneAction::Lift, PartyAction::EndCall, id, status);
    }
    if (roll < 52) {
        Tally("incoming, lift races the answer in the application");
        return Race(PhoneAction::Lift, PartyAction::AnswerCall, id) && InProgress(id);
    }
    if (roll < 72) {
        Tally("incoming, answered in the application");
        return Play(Step::Party(PartyAction::AnswerCall, id)) && InProgress(id);
    }
    const char* status = Pick(random_, kIncomingEnds);
    Tally(std::string("incoming, ") + status);
    return Play(Step::Party(PartyAction::EndCall, id, status));
}

bool SoakCalls::Outgoing(const std::string& id) {
    if (random_.Percent(30) && !Play(Step::Press(PhoneAction::Lift)))
        return false;
    if (!Play(Step::Party(PartyAction::OutgoingCall, id)) || !Disturb())
        return false;
    if (random_.Percent(kOverlapOutgoing) && !Overlap(id))
        return false;
    const unsigned roll = random_.Below(100);
    if (roll < 45) {
        Tally("outgoing, answered by the far end");
        return Play(Step::Party(PartyAction::AnswerCall, id)) && InProgress(id);
    }
    if (roll < 55) {
        Tally("outgoing, button 7 races the far end answering");
        return Race(PhoneAction::PressButton7, PartyAction::AnswerCall, id) &&
               Play(Step::Press(PhoneAction::ReleaseButton7));
    }
    if (roll < 75) {
        const char* status = Pick(random_, kOutgoingEnds);
        Tally(std::string("outgoing, ") + status);
        return Play(Step::Party(PartyAction::EndCall, id, status));
    }
    Tally("outgoing, cancelled on the phone");
    if (phone_.IsHandsetLifted() && random_.Percent(50))
        return Play(Step::Press(PhoneAction::Replace));
    return Play(Step::Press(PhoneAction::PressButton7)) &&
           Play(Step::Press(PhoneAction::ReleaseButton7));
}

// The call is in progress: the person may fiddle with the phone, then one side ends it.
bool SoakCalls::InProgress(const std::string& id) {
    if (!Disturb() || (random_.Percent(kOverlapInProgress) && !Overlap(id)) || !Fiddle() ||
        !Disturb())
        return false;
    enum class End { HandsetBack, Button7, FarEnd, LiftAndBack, HandsetBackRaces, Button7Races };
    const unsigned roll = random_.Below(100);
    End end = End::Button7Races;
    if (phone_.IsHandsetLifted()) {
        end = roll < 30   ? End::HandsetBack
              : roll < 50 ? End::Button7
              : roll < 75 ? End::FarEnd
              : roll < 90 ? End::HandsetBackRaces
                          : End::Button7Races;
    } else {
        end = roll < 40   ? End::FarEnd
              : roll < 55 ? End::LiftAndBack
              : roll < 85 ? End::Button7
                          : End::Button7Races;
    }
    switch (end) {
        case End::HandsetBack:
            Tally("ended: handset put back");
            return Play(Step::Press(PhoneAction::Replace));
        case End::Button7:
            Tally("ended: button 7");
            return Play(Step::Press(PhoneAction::PressButton7)) &&
                   Play(Step::Press(PhoneAction::ReleaseButton7));
        case End::FarEnd:
            Tally("ended: far end");
            return Play(Step::Party(PartyAction::EndCall, id, "FINISHED"));
        case End::LiftAndBack:
            Tally("ended: handset lifted and put back");
            return Play(Step::Press(PhoneAction::Lift)) && Play(Step::Press(PhoneAction::Replace));
        case End::HandsetBackRaces:
            Tally("ended: handset put back races the far end");
            return Race(PhoneAction::Replace, PartyAction::EndCall, id, "FINISHED");
        case End::Button7Races:
            Tally("ended: button 7 races the far end");
            return Race(PhoneAction::PressButton7, PartyAction::EndCall, id, "FINISHED") &&
                   Play(Step::Press(PhoneAction::ReleaseButton7));
    }
    return true;
}

// Presses that end nothing: mute, and the buttons the agent does not use.
bool SoakCalls::Fiddle() {
    if (random_.Percent(15)) {
        Tally("mute pressed during a call");
        if (!Play(Step::Press(PhoneAction::PressMute)) ||
            !Play(Step::Press(PhoneAction::ReleaseMute)))
            return false;
    }
    if (random_.Percent(10)) {
        Tally("button 8 or 9 pressed during a call");
        const bool eight = random_.Percent(50);
        return Play(Step::Press(eight ? PhoneAction::PressButton8 : PhoneAction::PressButton9)) &&
               Play(Step::Press(eight ? PhoneAction::ReleaseButton8 : PhoneAction::ReleaseButton9));
    }
    return true;
}

bool SoakCalls::Disturb() {
    const auto desk = [this](DeskAction action, const char* what) {
        Tally(what);
        return Play(Step::Desk(action));
    };
    if (locked_ ? random_.Percent(kUnlockChance) : random_.Percent(kLockChance)) {
        locked_ = !locked_;
        if (!desk(locked_ ? DeskAction::Lock : DeskAction::Unlock,
                  locked_ ? "session locked" : "session unlocked"))
            return false;
    }
    if (detached_ ? random_.Percent(kReconnectChance) : random_.Percent(kDisconnectChance)) {
        detached_ = !detached_;
        if (!desk(detached_ ? DeskAction::DisconnectConsole : DeskAction::ConnectConsole,
                  detached_ ? "console disconnected" : "console connected"))
            return false;
    }
    const bool plugged = phone_.IsPlugged();
    if (plugged ? random_.Percent(kUnplugChance) : random_.Percent(kReplugChance)) {
        if (!desk(plugged ? DeskAction::Unplug : DeskAction::Plug,
                  plugged ? "phone unplugged" : "phone plugged in"))
            return false;
    }
    if (random_.Below(1000) < kRestartPerMille)
        return desk(DeskAction::RestartApplication, "call application restarted");
    return true;
}

bool SoakCalls::PutHandsetDown() {
    return !phone_.IsHandsetLifted() || Play(Step::Press(PhoneAction::Replace));
}

bool SoakCalls::Restore() {
    if (locked_ && !Play(Step::Desk(DeskAction::Unlock)))
        return false;
    if (detached_ && !Play(Step::Desk(DeskAction::ConnectConsole)))
        return false;
    locked_ = detached_ = false;
    if (!phone_.IsPlugged() && !Play(Step::Desk(DeskAction::Plug)))
        return false;
    return PutHandsetDown();
}
