// Playing a scenario against a world: the simulated desktop (agent_demo) or the
// real executable under Wine (the Windows scenario player). The loop, what may
// happen when, and the help text are one piece for both, so that a scenario
// means the same in either and prints the same timeline.
#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "scenario.h"
#include "timeline.h"

namespace demo {

class World {
  public:
    virtual ~World() = default;
    // Started and not ended, also when it ended by itself.
    virtual bool AgentRunning() const = 0;
    // Whether the agent holds the plugged phone open for reading.
    virtual bool AgentHasPhoneOpen() const = 0;
    // Plays an event that may happen now and returns once the world has settled:
    // the agent and the other parties have nothing left to do.
    void Play(const Event& event);

  protected:
    virtual void StartAgent() = 0;
    virtual void QuitAgent() = 0;
    virtual void PlayApp(const Event& event) = 0;
    virtual void PlayPhone(const Event& event) = 0;
    virtual void PlaySession(const Event& event) = 0;
    // Called after every event, once it has been played.
    virtual void Settle() = 0;
};

// Plays the scenario line by line: comments echoed, each event announced, then
// played. At the end the agent's window is closed if it still runs. Returns why
// the scenario stopped early (its source and line named), or nothing.
std::optional<std::string> PlayScenario(std::istream& scenario, const std::string& source,
                                        Timeline& timeline, World& world,
                                        std::span<const int> buttons);

// The scenario format, the timeline's line forms and the exit codes, for --help.
void PrintScenarioHelp(std::ostream& out, std::span<const int> buttons);

}  // namespace demo
