#include "call_checker.h"

#include <algorithm>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

constexpr std::string_view kReaderPrefix = "SET CALL ";

// The reader sends "SET CALL ..."; the window thread "GET CALL ..." and "ALTER CALL ...".
Commands Split(const Texts& received) {
    Commands split;
    for (const std::string& text : received)
        (text.starts_with(kReaderPrefix) ? split.reader : split.window).push_back(text);
    return split;
}

std::string List(const Texts& texts) {
    if (texts.empty())
        return "none";
    std::string list;
    for (const std::string& text : texts)
        list += (list.empty() ? "\"" : ", \"") + text + "\"";
    return list;
}

// The call a "SET CALL <id> STATUS ..." command names, without the blank after it.
std::string NamedCall(const std::string& command) {
    std::string id = command.substr(kReaderPrefix.size());
    id = id.substr(0, id.find(" STATUS"));
    while (!id.empty() && id.back() == ' ')
        id.pop_back();
    return id;
}

std::string Kind(const std::string& command) {
    return command.substr(command.rfind(' ') + 1);  // INPROGRESS or FINISHED
}

Texts Sorted(Texts texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

// What is wrong with the reader's commands, in the invariants' words.
std::string ExplainReader(const Texts& expected, const Texts& seen) {
    Texts missing = expected;
    Texts extra;
    for (const std::string& command : seen) {
        auto found = std::find(missing.begin(), missing.end(), command);
        if (found != missing.end())
            missing.erase(found);
        else
            extra.push_back(command);
    }
    std::string why;
    for (const std::string& command : extra) {
        const auto same = std::find_if(missing.begin(), missing.end(), [&](const std::string& e) {
            return Kind(e) == Kind(command);
        });
        if (NamedCall(command).empty() && Kind(command) == "INPROGRESS") {
            why += "an answer that names no call: \"" + command + "\". ";
        } else if (same != missing.end()) {
            why += "\"" + command + "\" names call '" + NamedCall(command) +
                   "', the press was for call '" + NamedCall(*same) + "'. ";
            missing.erase(same);
        } else {
            why += "\"" + command + "\" was sent though no press called for it. ";
        }
    }
    for (const std::string& command : missing)
        why += "the press produced no command, \"" + command + "\" expected. ";
    return why;
}

std::string Compare(const Commands& expected, const ModelLeds& expectedLeds, bool callOver,
                    const StepSeen& seen, bool readerOrderKnown) {
    const Commands got = Split(seen.traffic.commands);
    std::string why;
    const bool readerMatches = readerOrderKnown ? got.reader == expected.reader
                                                : Sorted(got.reader) == Sorted(expected.reader);
    if (!readerMatches)
        why += ExplainReader(expected.reader, got.reader);
    if (got.window != expected.window) {
        why += "window commands " + List(got.window) + ", the notifications call for " +
               List(expected.window) + ". ";
    }
    if (callOver && (seen.leds.ring || seen.leds.offHook))
        why += "the call has ended but the phone shows " + Describe(seen.leds) + ". ";
    else if (seen.leds != expectedLeds)
        why += "the phone shows " + Describe(seen.leds) + ", the call state " +
               Describe(expectedLeds) + ". ";
    return why;
}

std::string Context(const AgentModel& before, const StepSeen& seen) {
    std::string text = "\n    model before the step: " + before.Describe();
    for (const std::string& line : seen.traffic.both)
        text += "\n    app " + line;
    return text;
}

void Count(const StepSeen& seen, CheckCounts& counts) {
    counts.commandsChecked += seen.traffic.commands.size();
    counts.notificationsChecked += seen.traffic.notifications.size();
}

// One order a race may have taken: the press after `pressAt` notifications,
// acted on or dropped.
struct RaceOutcome {
    AgentModel model;
    Commands commands;
    std::size_t pressAt = 0;
    bool dropped = false;
};

// Acted on first: a press counts as dropped only when no order explains it.
std::vector<RaceOutcome> RaceOutcomes(const AgentModel& start, const PhoneInputs& press,
                                      const Texts& notifications) {
    std::vector<RaceOutcome> outcomes;
    for (const bool dropped : {false, true}) {
        AgentModel prefix = start;
        Commands prefixCommands;
        for (std::size_t at = 0; at <= notifications.size(); ++at) {
            const std::uint64_t version = prefix.CallVersion();
            if (!dropped || prefix.ReportWouldAct(press)) {
                RaceOutcome outcome{prefix, prefixCommands, at, dropped};
                outcome.model.Report(press, outcome.commands, /*act=*/!dropped);
                for (std::size_t rest = at; rest < notifications.size(); ++rest)
                    outcome.model.Notification(notifications[rest], outcome.commands);
                // Dropped only when the call it was decided on changed afterwards.
                if (!dropped || outcome.model.CallVersion() != version)
                    outcomes.push_back(std::move(outcome));
            }
            if (at < notifications.size())
                prefix.Notification(notifications[at], prefixCommands);
        }
    }
    return outcomes;
}

}  // namespace

std::string CheckStep(AgentModel& model, const std::optional<PhoneInputs>& press,
                      const StepSeen& seen, CheckCounts& counts) {
    const AgentModel before = model;
    Commands expected;
    if (press) {
        ++counts.presses;
        model.Report(*press, expected);
        counts.pressesActedOn += expected.reader.empty() ? 0 : 1;
    }
    for (const std::string& notification : seen.traffic.notifications)
        model.Notification(notification, expected);
    Count(seen, counts);
    // In one step the reader's command comes before what it makes the application say.
    Texts all = expected.reader;
    all.insert(all.end(), expected.window.begin(), expected.window.end());
    std::string why = Compare(expected, model.Leds(), model.CallOver(), seen,
                              /*readerOrderKnown=*/true);
    if (why.empty() && seen.traffic.commands != all)
        why = "commands " + List(seen.traffic.commands) + " came in another order than " +
              List(all) + ". ";
    return why.empty() ? why : why + Context(before, seen) + "\n    model: " + model.Describe();
}

std::string CheckRace(AgentModel& model, const PhoneInputs& press, const StepSeen& seen,
                      CheckCounts& counts) {
    ++counts.presses;
    Count(seen, counts);
    const std::vector<RaceOutcome> outcomes =
        RaceOutcomes(model, press, seen.traffic.notifications);
    for (const RaceOutcome& outcome : outcomes) {
        if (!Compare(outcome.commands, outcome.model.Leds(), outcome.model.CallOver(), seen,
                     /*readerOrderKnown=*/false)
                 .empty())
            continue;
        if (!outcome.commands.reader.empty())
            ++counts.pressesActedOn;
        ++(outcome.dropped        ? counts.racesPressDropped
           : outcome.pressAt == 0 ? counts.racesPressFirst
                                  : counts.racesPressLater);
        model = outcome.model;
        return {};
    }
    // No sound order explains it: say how it differs from the nearest one and
    // list what each would have given.
    std::string why;
    for (const RaceOutcome& outcome : outcomes) {
        std::string differs = Compare(outcome.commands, outcome.model.Leds(),
                                      outcome.model.CallOver(), seen, /*readerOrderKnown=*/false);
        if (why.empty() || differs.size() < why.size())
            why = std::move(differs);
    }
    why += Context(model, seen) + "\n    sound outcomes:";
    for (const RaceOutcome& outcome : outcomes) {
        why += "\n      press " + (outcome.dropped ? std::string("dropped, decided") : "") +
               " after " + std::to_string(outcome.pressAt) + " notification(s): reader " +
               List(outcome.commands.reader) + ", window " + List(outcome.commands.window) + ", " +
               Describe(outcome.model.Leds());
    }
    return why;
}
