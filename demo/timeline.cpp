#include "timeline.h"

namespace demo {

namespace {

std::string OnOff(bool on) {
    return on ? "on" : "off";
}

}  // namespace

void Timeline::Step(int lineNumber, std::string_view event, std::string_view what) {
    Line("-- " + std::to_string(lineNumber) + ": " + std::string(event) + " (" + std::string(what) +
         ")");
}

void Timeline::Comment(std::string_view text) {
    Line(std::string(text));
}

void Timeline::Note(std::string_view text) {
    Line("   " + std::string(text));
}

void Timeline::PhoneOpened(bool open) {
    Note(open ? "the agent has the phone open" : "the agent has not opened the phone");
}

void Timeline::EndOfScenario() {
    Note("end of the scenario: the agent's window is closed");
}

void Timeline::AppReceived(std::string_view text) {
    Line("app <- \"" + std::string(text) + "\"");
}

void Timeline::AppSent(std::string_view text) {
    Line("app -> \"" + std::string(text) + "\"");
}

void Timeline::PhoneLeds(bool ring, bool offHook) {
    Line("phone leds: ring=" + OnOff(ring) + " off-hook=" + OnOff(offHook));
}

void Timeline::AgentExit(int code) {
    Line("agent exit " + std::to_string(code));
}

void Timeline::Silence() {
    std::lock_guard guard(lock_);
    silent_ = true;
}

void Timeline::Line(const std::string& line) {
    std::lock_guard guard(lock_);
    if (silent_)
        return;
    // Flushed line by line: the timeline follows events typed on standard input.
    out_ << line << std::endl;
}

}  // namespace demo
