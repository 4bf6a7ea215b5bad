// Steps of a long run as a person and the desktop make them, played on the
// world and checked after each one. Shared by the soak and the state-machine
// fuzz target.
#pragma once

#include <deque>
#include <string>

#include "agent_model.h"
#include "call_checker.h"
#include "call_world.h"

// The call application's side, as CallApplication offers it.
enum class PartyAction {
    IncomingCall,  // of the type in `text`, peer-to-peer when empty
    OutgoingCall,
    AnswerCall,  // answered in the application, or by the far end
    EndCall,     // with the status in `text`
    Notify,      // `text` as is
    ReplyAfterCommand,
    ReplyDuringCommand,
};

enum class DeskAction {
    Plug,
    Unplug,
    Lock,
    Unlock,
    DisconnectConsole,
    ConnectConsole,
    RestartApplication,
};

struct Step {
    enum class Kind { Phone, Party, Desk, Race };

    static Step Press(PhoneAction action);
    static Step Party(PartyAction action, std::string id = {}, std::string text = {});
    static Step Desk(DeskAction action);
    // The press on the second hand and the party's action here, each after its delay.
    static Step Race(PhoneAction press, unsigned pressDelayUs, PartyAction action, std::string id,
                     std::string text, unsigned partyDelayUs);

    std::string Describe() const;

    Kind kind = Kind::Desk;
    PhoneAction phone = PhoneAction::Lift;
    PartyAction party = PartyAction::Notify;
    DeskAction desk = DeskAction::Plug;
    std::string id;
    std::string text;
    unsigned pressDelayUs = 0;
    unsigned partyDelayUs = 0;
};

class CallPlayer {
  public:
    explicit CallPlayer(CallWorld& world) : world_(world) {}

    // Plays the step, lets everything settle and checks it. Returns what went
    // wrong, with the last steps before it, or empty.
    std::string Play(const Step& step);

    const CheckCounts& counts() const { return counts_; }
    // One state of the agent that explains every step so far.
    const AgentModel& model() const { return states_.Front(); }
    // The most states that explained the steps at one time.
    std::size_t mostStates() const { return mostStates_; }
    std::uint64_t steps() const { return steps_; }
    std::uint64_t races() const { return races_; }
    // What the application sent during the last step.
    const std::vector<std::string>& lastNotifications() const { return lastNotifications_; }

  private:
    void PlayParty(const Step& step);
    std::string Recent() const;

    CallWorld& world_;
    AgentStates states_;
    std::size_t mostStates_ = 1;
    CheckCounts counts_;
    std::uint64_t steps_ = 0;
    std::uint64_t races_ = 0;
    std::vector<std::string> lastNotifications_;
    std::deque<std::string> recent_;  // the last steps and what they made the parties say
};
