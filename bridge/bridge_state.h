// What the agent knows about the call application and its calls. The record
// itself is private to bridge_state.cpp: every change is one transition below,
// taken in one step under the record's lock, that decides from the state what
// changes, which command is to be sent and which indicator writes are due. The
// caller carries that decision out with the lock released (a send can make the
// call application notify the window thread, which then needs the lock).
//
// Of the calls the application reports, the phone follows one (the followed
// call). A call announced while another is followed is the newcomer until its
// type is known; a call put aside for another is the waiting call, followed
// again once the followed call ends. Presses act on the followed call only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bridge/call_api.h"
#include "platform/platform.h"

inline constexpr std::size_t kCallIdSlotSize = 260;  // at most 259 characters + NUL
using CallIdText = std::array<char, kCallIdSlotSize>;

// A copy of the record's contents. Flags hold 0 or 1.
struct CallState {
    HWND apiWindow = nullptr;  // commands go to it; notifications come only from it
    // The followed call.
    CallIdText currentCallId{};
    CallDirection callDirection = CallDirection::None;
    CallIdText outgoingCallId{};
    CallIdText incomingCallId{};
    LONG answeredByDevice = 0;
    LONG answeredElsewhere = 0;  // also: Off-Hook is lit for it
    LONG endedByHost = 0;        // how the last call ended, until the next one starts
    LONG endedByDevice = 0;
    LONG callActive = 0;
    LONG callSeen = 0;
    LONG ringLit = 0;
    LONG inProgressBeforeType = 0;
    // A call announced while another is followed, its type asked for.
    CallIdText newcomerCallId{};
    LONG newcomerInProgress = 0;
    // A typed call put aside for the followed one.
    CallIdText waitingCallId{};
    CallDirection waitingDirection = CallDirection::None;
    LONG waitingAnsweredElsewhere = 0;
    LONG sessionLocked = 0;
    LONG consoleDetached = 0;
    // Advanced by every change to what a press decides on, so that a press is
    // recorded only for the call it was decided for.
    std::uint32_t generation = 0;
};

enum class HostCommand { None, GetCallType, StartVideo, Answer, HangUp };

// What a transition decided, to be carried out with the lock released: first
// the indicator writes (when this thread is the one to make them), then the
// command.
struct Decision {
    bool taken = true;  // false: the transition did not apply
    bool writeIndicators = false;
    HostCommand command = HostCommand::None;
    CallIdText commandId{};
};

// Indicator writes reach the phone in the order they were decided: a transition
// queues its writes under the lock, and one thread at a time writes the queue
// out. The thread a decision names as writer drains it, writes queued by other
// threads meanwhile included; any other thread leaves its writes to it.
void WriteQueuedIndicators();

// ---- Window thread ----

// Attach result: the call application's API window.
void RecordApiWindow(HWND window);
HWND ApiWindow();

// "STATUS RINGING" (or "STATUS ROUTING" when `routing`) of call `id`. Not taken
// for a routing notification while the followed call is typed.
Decision AnnounceCall(const CallIdText& id, bool routing);
// The type of call `id`; None for a type the agent does not follow.
Decision ReportCallType(const CallIdText& id, CallDirection direction);
// "INPROGRESS" of call `id`.
Decision ReportCallInProgress(const CallIdText& id);
// An end state of call `id` ("STATUS FINISHED" when `finished`).
Decision EndCall(const CallIdText& id, bool finished);
// The call application went away: every call it reported ends, the indicators
// go out, nothing waits, and the API window is forgotten until it attaches again.
Decision EndEveryCall();
// The agent's way out (window destroyed, session ending): what it lit goes out.
Decision PutIndicatorsOut();
// The phone was activated: it shows the followed call at once.
Decision ShowCallOnPhone();
void SetSessionLocked(bool locked);
void SetConsoleDetached(bool detached);

// ---- Reader thread ----

struct ItemView;
struct ReportHistory;

// A press decided and recorded in one step for one input item, on the followed
// call. `mayHangUp` is false once this report has hung up: one press, one command.
struct PressDecision {
    Decision decision;
    bool answer = false;
    bool hangUp = false;
    std::uint32_t generation = 0;
};
PressDecision DecidePress(const ItemView& item, const ItemView& item0, const ItemView& item1,
                          const ItemView& item2, const ReportHistory& history, bool mayHangUp);
// After the answer's Ring write: true when the call is still the one answered;
// otherwise the answer is taken back.
bool KeepDeviceAnswer(std::uint32_t generation);

// ---- Tests ----

// A locked copy of the whole record.
CallState CallStateCopy();
// Replaces the record's contents (tests that start from a given state).
void ReplaceCallStateForTests(const CallState& state);

// Stores `text` in a slot, cut to 259 characters.
void StoreCallId(CallIdText& slot, std::string_view text);
