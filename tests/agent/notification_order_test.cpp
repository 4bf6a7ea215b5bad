// The call application's notifications duplicated, delayed past others, and
// interleaved for two calls, with the phone's presses among them. Generated
// sequences, each checked step by step against what the calls really are:
// - every command is well formed, a press sends at most one, an answer only
//   for a call that rings, a hang-up for the call the phone answered while it
//   lasts, video only for a call the phone answered;
// - a lit LED stands for a call in that state (Ring: one that rings; Off-Hook:
//   one in progress), and after an end with no call left, all are dark;
// - the agent works as before once the sequences are over.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "agent_session.h"

namespace {

using Strings = std::vector<std::string>;

enum class Kind { Ring, Type, InProgress, Finished, Missed, Lift, Replace };

struct Step {
    Kind kind;
    int call;  // index into kIds; unused by presses
};
using Script = std::vector<Step>;

// Ids the call application does not know: it answers the agent's commands
// with errors, and every notification comes from the script.
const std::array<std::string, 2> kIds = {"21", "22"};

bool IsPress(const Step& step) {
    return step.kind == Kind::Lift || step.kind == Kind::Replace;
}

std::string Describe(const Step& step) {
    const std::string id = kIds[static_cast<std::size_t>(step.call)];
    switch (step.kind) {
        case Kind::Ring:
            return "R" + id;
        case Kind::Type:
            return "T" + id;
        case Kind::InProgress:
            return "P" + id;
        case Kind::Finished:
            return "F" + id;
        case Kind::Missed:
            return "M" + id;
        case Kind::Lift:
            return "lift";
        case Kind::Replace:
            return "replace";
    }
    return "?";
}

std::string Describe(const Script& script) {
    std::string text;
    for (const Step& step : script)
        text += Describe(step) + ' ';
    return text;
}

std::string NotificationText(const Step& step) {
    const std::string call = "CALL " + kIds[static_cast<std::size_t>(step.call)];
    switch (step.kind) {
        case Kind::Ring:
            return call + " STATUS RINGING";
        case Kind::Type:
            return call + " TYPE INCOMING_P2P";
        case Kind::InProgress:
            return call + " STATUS INPROGRESS";
        case Kind::Finished:
            return call + " STATUS FINISHED";
        case Kind::Missed:
            return call + " STATUS MISSED";
        default:
            return "";
    }
}

// One call's course, as the application reports it.
Script AnsweredOnPhone(int call) {
    return {{Kind::Ring, call},       {Kind::Type, call}, {Kind::Lift, 0},
            {Kind::InProgress, call}, {Kind::Replace, 0}, {Kind::Finished, call}};
}
Script AnsweredInApplication(int call) {
    return {
        {Kind::Ring, call}, {Kind::Type, call}, {Kind::InProgress, call}, {Kind::Finished, call}};
}
Script Missed(int call) {
    return {{Kind::Ring, call}, {Kind::Type, call}, {Kind::Missed, call}};
}

// Every notification played twice in turn.
std::vector<Script> Duplicated(const Script& script) {
    std::vector<Script> result;
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (IsPress(script[i]))
            continue;
        Script copy = script;
        copy.insert(copy.begin() + static_cast<std::ptrdiff_t>(i), script[i]);
        result.push_back(copy);
    }
    return result;
}

// Every notification delayed past each later step.
std::vector<Script> Delayed(const Script& script) {
    std::vector<Script> result;
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (IsPress(script[i]))
            continue;
        for (std::size_t j = i + 1; j < script.size(); ++j) {
            Script copy = script;
            const Step moved = copy[i];
            copy.erase(copy.begin() + static_cast<std::ptrdiff_t>(i));
            copy.insert(copy.begin() + static_cast<std::ptrdiff_t>(j), moved);
            result.push_back(copy);
        }
    }
    return result;
}

// Every merge of two courses that keeps each one's own order.
void Merge(const Script& a, std::size_t i, const Script& b, std::size_t j, Script& sofar,
           std::vector<Script>& result) {
    if (i == a.size() && j == b.size())
        result.push_back(sofar);
    if (i < a.size()) {
        sofar.push_back(a[i]);
        Merge(a, i + 1, b, j, sofar, result);
        sofar.pop_back();
    }
    if (j < b.size()) {
        sofar.push_back(b[j]);
        Merge(a, i, b, j + 1, sofar, result);
        sofar.pop_back();
    }
}

std::vector<Script> Interleaved(const Script& a, const Script& b) {
    std::vector<Script> result;
    Script sofar;
    Merge(a, 0, b, 0, sofar, result);
    return result;
}

// What the calls really are, from the application's side and the phone's: a
// call exists from its first notification, whichever came first, until its end.
struct CallTruth {
    bool known = false;
    bool inProgress = false;
    bool ended = false;
    bool answeredByPhone = false;  // the agent sent its answer
    bool Live() const { return known && !ended; }
    bool Ringing() const { return Live() && !inProgress; }
};

class SequencePlayer {
  public:
    explicit SequencePlayer(AgentSession& session) : session_(session) {}

    // Plays one sequence; returns what went wrong, step by step.
    Strings Play(const Script& script) {
        calls_ = {};
        problems_.clear();
        session_.app.ClearCommands();
        seen_ = 0;
        for (const Step& step : script) {
            Apply(step);
            Check(step);
        }
        CleanUp();
        return problems_;
    }

  private:
    void Apply(const Step& step) {
        CallTruth& call = calls_[static_cast<std::size_t>(step.call)];
        switch (step.kind) {
            case Kind::Lift:
                session_.Lift();
                return;
            case Kind::Replace:
                session_.Replace();
                return;
            case Kind::Ring:
            case Kind::Type:
                call.known = true;
                break;
            case Kind::InProgress:
                call.known = true;
                call.inProgress = true;
                break;
            case Kind::Finished:
            case Kind::Missed:
                call.ended = true;
                break;
        }
        session_.Notify(NotificationText(step));
    }

    void Problem(const Step& step, const std::string& what) {
        problems_.push_back("after " + Describe(step) + ": " + what);
    }

    std::string Id(std::size_t index) const { return kIds[index]; }

    // The command a press may send, given the calls before it.
    bool PressCommandAllowed(const Step& step, const std::string& command) {
        std::size_t handset = calls_.size();  // the call the phone answered, while it lasts
        for (std::size_t i = 0; i < calls_.size(); ++i) {
            if (calls_[i].answeredByPhone && calls_[i].Live())
                handset = i;
        }
        for (std::size_t i = 0; i < calls_.size(); ++i) {
            CallTruth& call = calls_[i];
            if (step.kind == Kind::Lift && command == "SET CALL " + Id(i) + "  STATUS INPROGRESS" &&
                call.Ringing() && handset == calls_.size()) {
                call.answeredByPhone = true;
                return true;
            }
            if (step.kind == Kind::Replace &&
                command == "SET CALL " + Id(i) + "  STATUS FINISHED" && call.Live() &&
                (handset == calls_.size() || handset == i)) {
                return true;
            }
        }
        return step.kind == Kind::Replace && command == "SET CALL  STATUS FINISHED" &&
               handset == calls_.size();
    }

    bool NotificationCommandAllowed(const Step& step, const std::string& command) const {
        for (std::size_t i = 0; i < calls_.size(); ++i) {
            if (step.kind == Kind::Ring && static_cast<std::size_t>(step.call) == i &&
                command == "GET CALL " + Id(i) + " TYPE") {
                return true;
            }
            if (command == "ALTER CALL " + Id(i) + "  START_VIDEO_SEND" &&
                calls_[i].answeredByPhone && calls_[i].Live()) {
                return true;
            }
        }
        return false;
    }

    void Check(const Step& step) {
        const Strings all = session_.app.CommandTexts();
        const Strings fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        if (IsPress(step) && fresh.size() > 1)
            Problem(step, "a press sent " + std::to_string(fresh.size()) + " commands");
        for (const std::string& command : fresh) {
            const bool allowed = IsPress(step) ? PressCommandAllowed(step, command)
                                               : NotificationCommandAllowed(step, command);
            if (!allowed)
                Problem(step, "command \"" + command + "\"");
        }

        const simdesk::PhoneLeds leds = session_.phone.Leds();
        const bool someRinging = std::any_of(calls_.begin(), calls_.end(),
                                             [](const CallTruth& c) { return c.Ringing(); });
        const bool someInProgress =
            std::any_of(calls_.begin(), calls_.end(),
                        [](const CallTruth& c) { return c.Live() && c.inProgress; });
        if (leds.ring && !someRinging)
            Problem(step, "Ring lit with no call ringing");
        if (leds.offHook && !someInProgress)
            Problem(step, "Off-Hook lit with no call in progress");
    }

    // Leaves the phone idle and the agent with no call, as between two sequences.
    void CleanUp() {
        if (session_.phone.IsHandsetLifted())
            session_.Replace();
        session_.Notify("CALL " + kIds[0] + " STATUS MISSED");
        if (session_.phone.Leds().ring || session_.phone.Leds().offHook)
            problems_.push_back("lit after the clean-up");
        seen_ = session_.app.CommandTexts().size();
    }

    AgentSession& session_;
    std::array<CallTruth, 2> calls_{};
    Strings problems_;
    std::size_t seen_ = 0;
};

struct Family {
    const char* name;
    std::function<std::vector<Script>()> make;
};

void PrintTo(const Family& family, std::ostream* out) {
    *out << family.name;
}

class NotificationOrder : public testing::TestWithParam<Family> {};

TEST_P(NotificationOrder, EverySequenceKeepsCommandsAndLightsTrue) {
    AgentSession session;
    ASSERT_TRUE(session.StartWithPhoneAndApp());
    const auto handles = simdesk::OpenHandleCounts();

    SequencePlayer player(session);
    const std::vector<Script> scripts = GetParam().make();
    std::size_t failed = 0;
    for (const Script& script : scripts) {
        const Strings problems = player.Play(script);
        if (problems.empty())
            continue;
        if (++failed <= 10) {
            std::ostringstream text;
            for (const std::string& problem : problems)
                text << "\n  " << problem;
            ADD_FAILURE() << Describe(script) << text.str();
        }
    }
    EXPECT_EQ(failed, 0u) << "of " << scripts.size() << " sequences";

    // Afterwards: a call answered on the phone works as ever.
    session.app.ClearCommands();
    session.app.IncomingCall("30");
    session.Settle();
    session.Lift();
    session.Replace();
    EXPECT_EQ(Texts(session.app),
              (Strings{"GET CALL 30 TYPE", "SET CALL 30  STATUS INPROGRESS",
                       "ALTER CALL 30  START_VIDEO_SEND", "SET CALL 30  STATUS FINISHED"}));
    EXPECT_EQ(Leds(session.phone), "ring=off off-hook=off");
    EXPECT_EQ(simdesk::OpenHandleCounts(), handles);
}

std::vector<Script> Each(std::initializer_list<std::vector<Script>> groups) {
    std::vector<Script> all;
    for (const std::vector<Script>& group : groups)
        all.insert(all.end(), group.begin(), group.end());
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, NotificationOrder,
    testing::Values(
        Family{"Duplicated",
               [] {
                   return Each({Duplicated(AnsweredOnPhone(0)),
                                Duplicated(AnsweredInApplication(0)), Duplicated(Missed(0))});
               }},
        Family{"Delayed",
               [] {
                   return Each({Delayed(AnsweredOnPhone(0)), Delayed(AnsweredInApplication(0)),
                                Delayed(Missed(0))});
               }},
        Family{"InterleavedWithACallAnsweredOnThePhone",
               [] {
                   return Each({Interleaved(AnsweredOnPhone(0), AnsweredInApplication(1)),
                                Interleaved(AnsweredOnPhone(0), Missed(1))});
               }},
        Family{"InterleavedInTheApplication",
               [] {
                   return Each({Interleaved(AnsweredInApplication(0), AnsweredInApplication(1)),
                                Interleaved(AnsweredInApplication(0), Missed(1))});
               }}),
    [](const testing::TestParamInfo<Family>& param) { return std::string(param.param.name); });

}  // namespace
