// The printed timeline, one for both worlds. Lines come from the driving thread
// and from observers on the other parties' threads, so every line is written
// whole under one lock. Four line forms are fixed for scripts:
//   app <- "TEXT"     a command the call application received
//   app -> "TEXT"     a notification the call application sent
//   phone leds: ring=on|off off-hook=on|off   after each output report
//   agent exit N
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

namespace demo {

class Timeline {
  public:
    explicit Timeline(std::ostream& out) : out_(out) {}

    // One scenario step: its line number and the event as written.
    void Step(int lineNumber, std::string_view event, std::string_view what);
    // A comment line of the scenario, echoed to keep the story readable.
    void Comment(std::string_view text);
    // Anything else a person should read.
    void Note(std::string_view text);

    // Whether the agent holds the phone open: otherwise unseen until a call lights it.
    void PhoneOpened(bool open);
    // The scenario ended with the agent still running.
    void EndOfScenario();

    void AppReceived(std::string_view text);
    void AppSent(std::string_view text);
    void PhoneLeds(bool ring, bool offHook);
    void AgentExit(int code);

    // Stops all printing: used while tearing down after an error.
    void Silence();

  private:
    void Line(const std::string& line);

    std::mutex lock_;
    std::ostream& out_;
    bool silent_ = false;
};

}  // namespace demo
