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
                    const StepSeen& seen) {
    const Commands got = Split(seen.traffic.commands);
    std::string why;
    if (got.reader != expected.reader) {
        const std::string reader = ExplainReader(expected.reader, got.reader);
        why += !reader.empty() ? reader
                               : "the reader's commands " + List(got.reader) +
                                     " came in another order than " + List(expected.reader) + ". ";
    }
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

// One order the step's threads may have taken: each item of the press decided
// after some of the step's notifications, carried out or withdrawn.
struct Outcome {
    AgentModel model;
    Commands commands;
    std::size_t firstActAt = 0;  // notifications before the first item that acted
    bool acted = false;
    bool withdrawn = false;
};

class Orders {
  public:
    Orders(const PhoneInputs& press, const Texts& notifications, bool pressFirst)
        : press_(press), notifications_(notifications), pressFirst_(pressFirst) {}

    std::vector<Outcome> From(const AgentModel& model) {
        Walk(model, Commands{}, /*next=*/0, /*item=*/0, Path{});
        // Withdrawn presses last: a press counts as dropped only when no order
        // in which it stood explains what was seen.
        std::stable_partition(outcomes_.begin(), outcomes_.end(),
                              [](const Outcome& outcome) { return !outcome.withdrawn; });
        return std::move(outcomes_);
    }

  private:
    struct Path {
        bool hungUp = false;
        bool sent = false;  // the press sent a command: what follows may be its replies
        bool acted = false;
        std::size_t firstActAt = 0;
        bool withdrawn = false;
        std::uint64_t withdrawnAtVersion = 0;
    };

    void Feed(AgentModel& model, Commands& commands, std::size_t from, std::size_t to) const {
        for (std::size_t i = from; i < to; ++i)
            model.Notification(notifications_[i], commands);
    }

    void Walk(const AgentModel& model, const Commands& commands, std::size_t next, int item,
              const Path& path) {
        const std::size_t count = notifications_.size();
        if (item == AgentModel::kReportItems) {
            Outcome outcome{model, commands, path.firstActAt, path.acted, path.withdrawn};
            outcome.model.EndReport(press_);
            Feed(outcome.model, outcome.commands, next, count);
            // Withdrawn only when the call it was decided on changed afterwards.
            if (!path.withdrawn || outcome.model.CallVersion() != path.withdrawnAtVersion)
                outcomes_.push_back(std::move(outcome));
            return;
        }
        // In a step of its own the press comes first; what follows its first
        // command may be that command's replies.
        const std::size_t last = pressFirst_ && !path.sent ? next : count;
        for (std::size_t at = next; at <= last; ++at) {
            AgentModel here = model;
            Commands sent = commands;
            Feed(here, sent, next, at);
            const AgentModel::Press press = here.DecideItem(press_, item, path.hungUp);
            Path after = path;
            after.hungUp = path.hungUp || press == AgentModel::Press::HangUp;
            if (press == AgentModel::Press::None) {
                Walk(here, sent, at, item + 1, after);
                continue;
            }
            if (!after.acted) {
                after.acted = true;
                after.firstActAt = at;
            }
            for (const bool withdrawn : {false, true}) {
                AgentModel done = here;
                Commands doneCommands = sent;
                done.CarryOut(press_, press, withdrawn, doneCommands);
                Path branch = after;
                branch.sent = path.sent || !withdrawn;
                if (withdrawn) {
                    branch.withdrawn = true;
                    branch.withdrawnAtVersion = done.CallVersion();
                }
                Walk(done, doneCommands, at, item + 1, branch);
            }
        }
    }

    const PhoneInputs& press_;
    const Texts& notifications_;
    const bool pressFirst_;
    std::vector<Outcome> outcomes_;
};

// Far more than races leave: the states differ in flags the next call clears.
constexpr std::size_t kMaxStates = 64;

}  // namespace

std::string AgentStates::Check(const std::optional<PhoneInputs>& press, const StepSeen& seen,
                               bool raced, CheckCounts& counts) {
    counts.commandsChecked += seen.traffic.commands.size();
    counts.notificationsChecked += seen.traffic.notifications.size();
    counts.presses += press ? 1 : 0;
    std::vector<AgentModel> explained;
    std::vector<Outcome> firstOutcomes;
    std::string nearest;
    for (const AgentModel& state : states_) {
        std::vector<Outcome> outcomes;
        if (press) {
            outcomes =
                Orders(*press, seen.traffic.notifications, /*pressFirst=*/!raced).From(state);
        } else {
            Outcome only{state, {}};
            for (const std::string& notification : seen.traffic.notifications)
                only.model.Notification(notification, only.commands);
            outcomes.push_back(std::move(only));
        }
        for (const Outcome& outcome : outcomes) {
            std::string differs =
                Compare(outcome.commands, outcome.model.Leds(), outcome.model.CallOver(), seen);
            if (!differs.empty()) {
                if (nearest.empty() || differs.size() < nearest.size())
                    nearest = std::move(differs);
                continue;
            }
            if (explained.empty()) {
                counts.pressesActedOn += outcome.commands.reader.empty() ? 0 : 1;
                if (raced) {
                    ++(outcome.withdrawn                          ? counts.racesPressDropped
                       : outcome.acted && outcome.firstActAt == 0 ? counts.racesPressFirst
                                                                  : counts.racesPressLater);
                }
            }
            const bool known = std::any_of(
                explained.begin(), explained.end(),
                [&](const AgentModel& other) { return other.SameState(outcome.model); });
            if (!known && explained.size() < kMaxStates)
                explained.push_back(outcome.model);
        }
        if (firstOutcomes.empty())
            firstOutcomes = std::move(outcomes);
    }
    if (!explained.empty()) {
        states_ = std::move(explained);
        return {};
    }
    // Nothing the threads may do explains it: how it differs from the nearest
    // sound outcome, and what each would have given.
    std::string why = nearest + Context(states_.front(), seen);
    if (firstOutcomes.size() > 1) {
        why += "\n    sound outcomes:";
        std::vector<std::string> listed;
        for (const Outcome& outcome : firstOutcomes) {
            std::string line = "reader " + List(outcome.commands.reader) + ", window " +
                               List(outcome.commands.window) + ", " +
                               Describe(outcome.model.Leds());
            if (std::find(listed.begin(), listed.end(), line) != listed.end())
                continue;
            listed.push_back(line);
            why += "\n      " + line;
        }
    } else {
        why += "\n    model after: " + firstOutcomes.front().model.Describe();
    }
    if (states_.size() > 1)
        why += "\n    (" + std::to_string(states_.size()) + " states explained the steps before)";
    return why;
}

std::string AgentStates::CheckStep(const std::optional<PhoneInputs>& press, const StepSeen& seen,
                                   CheckCounts& counts) {
    return Check(press, seen, /*raced=*/false, counts);
}

std::string AgentStates::CheckRace(const PhoneInputs& press, const StepSeen& seen,
                                   CheckCounts& counts) {
    return Check(press, seen, /*raced=*/true, counts);
}
