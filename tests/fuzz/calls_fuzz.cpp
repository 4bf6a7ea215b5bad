// Fuzz target "calls": the whole agent in the simulated desktop, played any
// interleaving of call notifications, presses, plugs and unplugs, session
// changes and application restarts, with a press racing the application now
// and then. After every step the soak's invariants are checked against the
// model of the agent's rules (tests/soak/call_checker.h).
//
// One agent per process, started once: each input plays on from where the
// last one left, after a reset made through the parties alone (the phone
// unplugged, every call ended, a call started and missed, the phone back).
//
// Input: steps one after another, at most kMaxSteps, each an opcode byte
// (taken modulo kOpcodes) and its operand bytes:
//   0-9    the phone: lift, replace, press/release 7, 8, 9, press/release mute
//   10-12  a call comes in, goes out, is answered      id
//   13     the call ends                                id, end state
//   14     a notification as is: "CALL <id> <tail>"     id, tail
//   15-16  the application replies after / during each command
//   17-23  phone plugged, unplugged, session locked, unlocked, console
//          disconnected, connected, call application restarted
//   24     a race: a press against the application      press, action (10-14),
//          id, end state or tail, press delay, application delay (2 us each)
#include <array>
#include <cstdlib>
#include <string>

#include "call_steps.h"
#include "call_world.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t kMaxSteps = 48;
constexpr std::uint8_t kOpcodes = 25;
constexpr std::uint8_t kPhoneOps = 10;
constexpr std::uint8_t kFirstPartyOp = 10;
constexpr std::uint8_t kRaceOp = 24;
constexpr unsigned kDelayStepUs = 2;

const std::array<const char*, 3> kIds = {"11", "22", "33"};
const std::array<const char*, 7> kEndStates = {"FINISHED", "MISSED",    "REFUSED", "BUSY",
                                               "FAILED",   "CANCELLED", "UNPLACED"};
const std::array<const char*, 14> kTails = {
    "STATUS RINGING",
    "STATUS ROUTING",
    "TYPE INCOMING_P2P",
    "TYPE OUTGOING_P2P",
    "STATUS INPROGRESS",
    "STATUS FINISHED",
    "STATUS MISSED",
    "STATUS REFUSED",
    "STATUS BUSY",
    "STATUS CANCELLED",
    "TYPE PSTN",
    "STATUS ONHOLD",
    "STATUS RINGING INPROGRESS",
    "STATUS ROUTING TYPE OUTGOING_P2P",
};
const std::array<DeskAction, 7> kDeskActions = {
    DeskAction::Plug,
    DeskAction::Unplug,
    DeskAction::Lock,
    DeskAction::Unlock,
    DeskAction::DisconnectConsole,
    DeskAction::ConnectConsole,
    DeskAction::RestartApplication,
};
const std::array<PartyAction, 5> kPartyActions = {
    PartyAction::IncomingCall, PartyAction::OutgoingCall, PartyAction::AnswerCall,
    PartyAction::EndCall,      PartyAction::Notify,
};

template <typename T, std::size_t N>
const T& Pick(fuzzing::ByteReader& input, const std::array<T, N>& choices) {
    return choices[input.Byte() % N];
}

// The id and text a party action takes from the input.
Step PartyStep(PartyAction action, fuzzing::ByteReader& input) {
    const std::string id = Pick(input, kIds);
    switch (action) {
        case PartyAction::EndCall:
            return Step::Party(action, id, Pick(input, kEndStates));
        case PartyAction::Notify:
            return Step::Party(action, {}, "CALL " + id + " " + Pick(input, kTails));
        default:
            return Step::Party(action, id);
    }
}

Step NextStep(fuzzing::ByteReader& input) {
    const std::uint8_t op = input.Byte() % kOpcodes;
    if (op < kPhoneOps)
        return Step::Press(static_cast<PhoneAction>(op));
    if (op < kFirstPartyOp + kPartyActions.size())
        return PartyStep(kPartyActions[op - kFirstPartyOp], input);
    if (op == 15 || op == 16) {
        return Step::Party(op == 15 ? PartyAction::ReplyAfterCommand
                                    : PartyAction::ReplyDuringCommand);
    }
    if (op < kRaceOp)
        return Step::Desk(kDeskActions[op - 17]);
    const auto press = static_cast<PhoneAction>(input.Byte() % kPhoneOps);
    Step party = PartyStep(Pick(input, kPartyActions), input);
    const unsigned pressDelay = input.Byte() * kDelayStepUs;
    const unsigned partyDelay = input.Byte() * kDelayStepUs;
    return Step::Race(press, pressDelay, party.party, party.id, party.text, partyDelay);
}

void Require(const std::string& failure) {
    if (!failure.empty())
        fuzzing::Fail("every invariant holds", failure.c_str(), __FILE__, __LINE__);
}

// Back to a known state through the parties alone: no call in the agent or
// the application, how the last one ended forgotten, the phone freshly plugged.
void Reset(CallPlayer& player) {
    for (const DeskAction action :
         {DeskAction::Unlock, DeskAction::ConnectConsole, DeskAction::Unplug})
        Require(player.Play(Step::Desk(action)));
    for (const char* id : kIds)
        Require(player.Play(Step::Party(PartyAction::EndCall, id, "FINISHED")));
    Require(player.Play(Step::Party(PartyAction::Notify, {}, "CALL 99 STATUS RINGING")));
    Require(player.Play(Step::Party(PartyAction::Notify, {}, "CALL 99 STATUS MISSED")));
    Require(player.Play(Step::Party(PartyAction::ReplyAfterCommand)));
    Require(player.Play(Step::Desk(DeskAction::Plug)));
}

CallWorld* world = nullptr;
CallPlayer* player = nullptr;

// At exit the world's threads are ended, so that nothing of theirs is still
// in flight when the leak check runs.
void EndWorld() {
    delete player;
    delete world;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (world == nullptr) {
        world = new CallWorld;
        player = new CallPlayer(*world);
        std::atexit(EndWorld);
    }
    Reset(*player);
    fuzzing::ByteReader input(data, size);
    for (std::size_t steps = 0; steps < kMaxSteps && !input.empty(); ++steps)
        Require(player->Play(NextStep(input)));
    return 0;
}
