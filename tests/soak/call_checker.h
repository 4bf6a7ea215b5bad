// The invariants held after every step of a soak or of the state-machine fuzz
// target, against the model of the agent:
//  - each press the rules make count produced exactly one command, naming the
//    call the press was for, and nothing else produced one;
//  - every notification produced exactly the commands its rules give, in order;
//  - the LEDs are what the rules lit, and all are out once a call has ended.
// The reader takes a report item by item and the window thread may handle a
// notification between any two of its decisions: a press racing a party may
// land before or after what the party made happen, a press whose first command
// drew replies may decide its next item after them, and a press decided on a
// call that changed before it stood is withdrawn (an answer has put Ring out
// all the same, as it does before it knows). Every such order is sound, and
// nothing else is: a Ring write landing after what the window thread lit since
// is not.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent_model.h"
#include "call_world.h"

struct StepSeen {
    AppTraffic traffic;
    ModelLeds leds;
};

struct CheckCounts {
    std::uint64_t presses = 0;
    std::uint64_t pressesActedOn = 0;  // that produced their command
    std::uint64_t commandsChecked = 0;
    std::uint64_t notificationsChecked = 0;
    std::uint64_t racesPressFirst = 0;
    std::uint64_t racesPressLater = 0;
    std::uint64_t racesPressDropped = 0;
};

// Every state of the agent that what was seen so far allows: two orders of a
// race may look alike from outside and differ inside (Ring's flag cleared
// before or after a call type lit it), so each step keeps all the states that
// explain it, and fails only when none does.
class AgentStates {
  public:
    AgentStates() : states_{AgentModel{}} {}

    // A change every state takes alike (the phone, the session).
    template <typename Change>
    void Apply(Change change) {
        for (AgentModel& state : states_)
            change(state);
    }
    // A change that may leave a state in more than one way the rules allow.
    template <typename Change>
    void Fork(Change change) {
        std::vector<AgentModel> next;
        for (const AgentModel& state : states_) {
            for (AgentModel& candidate : change(state)) {
                const bool known = std::any_of(
                    next.begin(), next.end(),
                    [&](const AgentModel& other) { return other.SameState(candidate); });
                if (!known)
                    next.push_back(std::move(candidate));
            }
        }
        states_ = std::move(next);
    }
    const AgentModel& Front() const { return states_.front(); }
    std::size_t Count() const { return states_.size(); }

    // A step in which nothing raced: the press it made (if any) came first,
    // then the notifications in the order the application sent them. Returns
    // what broke, or empty when every invariant held.
    std::string CheckStep(const std::optional<PhoneInputs>& press, const StepSeen& seen,
                          CheckCounts& counts);
    // A press made at about the same moment as a party's action.
    std::string CheckRace(const PhoneInputs& press, const StepSeen& seen, CheckCounts& counts);

  private:
    std::string Check(const std::optional<PhoneInputs>& press, const StepSeen& seen, bool raced,
                      CheckCounts& counts);

    std::vector<AgentModel> states_;
};
