// The agent as the parties see it, worked out from its rules: which commands a
// notification or a press must produce, and which LEDs the phone then shows.
// The soak and the state-machine fuzz target hold the live agent against it
// after every step. A plain value: copies try out the orders a race allows.
//
// Several calls at once: the phone follows one call (the followed call); a
// call that rings while another is followed is asked its type and kept as the
// newcomer; once typed peer-to-peer it takes the phone over unless the phone
// holds the followed call, and the call it displaces (or, while the phone
// holds one, the newcomer itself) waits, to be followed as soon as the
// followed call ends. Notifications about any other call change nothing of
// the followed one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the phone's input report carries.
struct PhoneInputs {
    bool mute = false;
    bool hookLifted = false;
    std::uint8_t buttons = 0;  // bit 0: Button 7, bit 1: Button 8, bit 2: Button 9

    bool operator==(const PhoneInputs&) const = default;
};

enum class PhoneAction {
    Lift,
    Replace,
    PressButton7,
    ReleaseButton7,
    PressButton8,
    ReleaseButton8,
    PressButton9,
    ReleaseButton9,
    PressMute,
    ReleaseMute,
};
const char* PhoneActionName(PhoneAction action);

enum class SessionEvent { Lock, Unlock, DisconnectConsole, ConnectConsole };

struct ModelLeds {
    bool ring = false;
    bool offHook = false;

    bool operator==(const ModelLeds&) const = default;
};
std::string Describe(const ModelLeds& leds);

// Commands by the thread that sends them: the window thread answers
// notifications ("GET CALL", "ALTER CALL"), the reader answers presses ("SET CALL").
struct Commands {
    std::vector<std::string> window;
    std::vector<std::string> reader;
};

class AgentModel {
  public:
    // At the agent's start: the phone plugged with its handset down, the call
    // application attached, the session unlocked, no call.
    AgentModel() = default;

    // ---- The phone ----
    // The report the phone sends for the action, or false when it is unplugged.
    bool PhoneReport(PhoneAction action, PhoneInputs* report);
    // The reader takes a report: each of its three items in turn, then the
    // history. Between items the window thread may handle notifications.
    static constexpr int kReportItems = 3;
    enum class Press { None, Answer, HangUp };
    // What the item decides now; `hungUp`: an item of this report hung up already.
    Press DecideItem(const PhoneInputs& report, int item, bool hungUp) const;
    // Carries out a decision. `withdrawn`: decided on a call that changed before
    // the press stood, of which only an answer's Ring write remains.
    void CarryOut(const PhoneInputs& report, Press press, bool withdrawn, Commands& commands);
    void EndReport(const PhoneInputs& report);
    // All of it at once.
    void Report(const PhoneInputs& report, Commands& commands);
    // The phone plugged in shows the followed call at once. Where the rules
    // leave open what it shows, each candidate is one state.
    std::vector<AgentModel> Plugged() const;
    void Unplugged();
    bool PhonePlugged() const { return plugged_; }

    // ---- The desktop and the call application ----
    void Session(SessionEvent event);
    void Notification(const std::string& text, Commands& commands);
    // The call application went away (and came back): every call it reported
    // ends as if its end state had arrived, FINISHED or another; both states.
    std::vector<AgentModel> ApplicationGone() const;

    // ---- What can be checked ----
    ModelLeds Leds() const { return leds_; }
    // An end state was the last thing that happened to the call: all dark.
    bool CallOver() const { return callOver_; }
    // Advances whenever the call a press is decided on changes (start, type,
    // answer elsewhere, end): a press decided before may then be dropped.
    std::uint64_t CallVersion() const { return callVersion_; }
    std::string Describe() const;
    // The same state, whatever the history that led to it.
    bool SameState(const AgentModel& other) const;

  private:
    enum class Direction { None, Incoming, Outgoing };
    struct Item {
        std::uint16_t page = 0;
        std::uint16_t min = 0;
        std::uint16_t first = 0;
    };
    struct History {
        static constexpr std::uint16_t kNone = 0x00FF;
        std::uint16_t first0 = kNone, first1 = kNone, first2 = kNone;
        bool operator==(const History&) const = default;
    };

    struct Waiting {
        std::string id;  // empty: no call waits
        Direction direction = Direction::None;
        bool answeredElsewhere = false;
        bool operator==(const Waiting&) const = default;
    };

    Press Decide(const Item& item, const Item& item0, const Item& item1, const Item& item2) const;
    void Typed(const std::string& id, bool outgoing);
    void TypeRule(bool outgoing);
    void TakeOver(const std::string& id, Direction direction, bool inProgress);
    void FollowWaiting();
    void EndFollowed(bool finished);
    void ShowOnPlug(bool asShown);
    void Answer(Commands& commands);
    void HangUp(bool ringOut, Commands& commands);
    void WriteLed(std::uint16_t usage, bool on);
    bool IsCurrentCall(const std::string& id) const;
    bool PhoneHoldsCall() const;
    void RecordAnsweredElsewhere();
    void PutIndicatorsOut();
    void ResetCall();
    void CallChanged() { ++callVersion_; }

    // The phone.
    bool plugged_ = true;
    PhoneInputs inputs_;
    ModelLeds leds_;
    ModelLeds shown_;  // what the agent's writes ask the phone to show, plugged or not
    History history_;
    // The desktop.
    bool attached_ = true;
    bool sessionLocked_ = false;
    bool consoleDetached_ = false;
    // The agent's call state.
    std::string currentId_, incomingId_, outgoingId_;
    Direction direction_ = Direction::None;
    bool callSeen_ = false;
    bool ringLit_ = false;
    bool answeredByDevice_ = false;
    bool answeredElsewhere_ = false;
    bool endedByHost_ = false;
    bool endedByDevice_ = false;
    bool callActive_ = false;
    bool inProgressBeforeType_ = false;
    // The other calls.
    std::string newcomerId_;
    bool newcomerInProgress_ = false;
    Waiting waiting_;
    // The checks.
    bool callOver_ = false;
    std::uint64_t callVersion_ = 0;
};
