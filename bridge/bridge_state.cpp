#include "bridge/bridge_state.h"

#include <algorithm>

#include "bridge/press_rules.h"
#include "bridge/call_api.h"
#include "hid/indicator_output.h"
#include "hid/target_device.h"
#include "platform/thread_safety.h"

namespace {

struct IndicatorWrite {
    USHORT usage = 0;
    bool on = false;
};

// Writes decided and not yet made. A phone that never takes its reports would
// let them pile up: beyond this many the oldest are dropped, the newest being
// what the phone is to show.
constexpr std::size_t kQueuedWritesMax = 16;

struct WriteQueue {
    std::array<IndicatorWrite, kQueuedWritesMax> writes{};
    std::size_t first = 0;
    std::size_t count = 0;
    bool writing = false;  // a thread is writing the queue out
};

struct BridgeRecord {
    Mutex callLock;
    CallState state GUARDED_BY(callLock);
    WriteQueue queue GUARDED_BY(callLock);
};

// Never destroyed: the reader thread may outlive the message loop.
BridgeRecord& record = *new BridgeRecord();

CallState& State() REQUIRES(record.callLock) {
    return record.state;
}

bool IsEmpty(const CallIdText& id) {
    return id[0] == '\0';
}

bool SameId(const CallIdText& slot, const CallIdText& id) {
    return !IsEmpty(slot) && std::string_view(slot.data()) == id.data();
}

void Queue(USHORT usage, bool on) REQUIRES(record.callLock) {
    WriteQueue& queue = record.queue;
    if (queue.count == kQueuedWritesMax) {
        queue.first = (queue.first + 1) % kQueuedWritesMax;
        --queue.count;
    }
    queue.writes[(queue.first + queue.count) % kQueuedWritesMax] = {usage, on};
    ++queue.count;
}

// The end of a transition: whether this thread is to write the queue out.
Decision Decided(Decision decision = {}) REQUIRES(record.callLock) {
    WriteQueue& queue = record.queue;
    if (queue.count > 0 && !queue.writing) {
        queue.writing = true;
        decision.writeIndicators = true;
    }
    return decision;
}

Decision Command(HostCommand command, const CallIdText& id) {
    Decision decision;
    decision.command = command;
    decision.commandId = id;
    return decision;
}

// Ring gets its own write, first: on a phone whose Ring LED sits in a report of
// its own, clearing Off-Hook would leave it lit.
void QueuePutOut(bool ring, bool offHook) REQUIRES(record.callLock) {
    if (ring)
        Queue(target_device::kRingLed, /*on=*/false);
    if (offHook)
        Queue(target_device::kOffHookLed, /*on=*/false);
}

// Ring out, then Off-Hook on.
void QueueCallAnswered() REQUIRES(record.callLock) {
    Queue(target_device::kRingLed, /*on=*/false);
    Queue(target_device::kOffHookLed, /*on=*/true);
}

void AdvanceGeneration() REQUIRES(record.callLock) {
    ++State().generation;
}

bool IsFollowed(const CallIdText& id) REQUIRES(record.callLock) {
    return SameId(State().currentCallId, id);
}

// The phone answered the followed call and has not hung it up, and the call
// has not ended.
bool PhoneHoldsCall() REQUIRES(record.callLock) {
    return State().answeredByDevice == 1 && State().callActive == 1;
}

// Ring is lit on the phone: ringLit stays set through the phone's own answer,
// whose write put Ring out.
bool RingShown() REQUIRES(record.callLock) {
    return State().ringLit == 1 && State().answeredByDevice == 0;
}

bool RingAllowed(CallDirection direction) REQUIRES(record.callLock) {
    return direction == CallDirection::Outgoing ||
           (State().sessionLocked == 0 && State().consoleDetached == 0);
}

// The first ringing or routing notification of a call clears how the previous
// call ended.
void StartOfCall() REQUIRES(record.callLock) {
    CallState& state = State();
    if (state.callSeen != 0)
        return;
    state.callSeen = 1;
    state.endedByHost = 0;
    state.endedByDevice = 0;
    AdvanceGeneration();
}

// Forgets the followed call, keeping how it ended and whether one is active.
void CallReset() REQUIRES(record.callLock) {
    CallState& state = State();
    state.callDirection = CallDirection::None;
    state.outgoingCallId[0] = '\0';
    state.incomingCallId[0] = '\0';
    state.currentCallId[0] = '\0';
    state.answeredByDevice = 0;
    state.answeredElsewhere = 0;
    state.ringLit = 0;
    state.callSeen = 0;
    state.inProgressBeforeType = 0;
    AdvanceGeneration();
}

void SetCallType(CallDirection direction) REQUIRES(record.callLock) {
    CallState& state = State();
    bool changed = state.callDirection != direction;
    state.callDirection = direction;
    CallIdText& slot =
        direction == CallDirection::Incoming ? state.incomingCallId : state.outgoingCallId;
    changed = changed || std::string_view(slot.data()) != state.currentCallId.data();
    slot = state.currentCallId;
    // A repeated type answer for the same call must not void a press in flight.
    if (changed)
        AdvanceGeneration();
}

// In progress while Ring is lit and the phone did not answer: answered elsewhere.
bool RecordAnsweredElsewhere() REQUIRES(record.callLock) {
    CallState& state = State();
    if (state.answeredByDevice != 0 || state.ringLit != 1)
        return false;
    state.ringLit = 0;
    state.answeredElsewhere = 1;
    state.callActive = 1;
    AdvanceGeneration();
    return true;
}

// The type rule for the followed call. A call reported in progress before its
// type was known was answered already: it shows as answered elsewhere.
void TypeFollowedCall(CallDirection direction) REQUIRES(record.callLock) {
    CallState& state = State();
    if (state.ringLit == 0 && RingAllowed(direction)) {
        Queue(target_device::kRingLed, /*on=*/true);
        state.ringLit = 1;
    }
    SetCallType(direction);
    if (state.inProgressBeforeType == 1 && RecordAnsweredElsewhere())
        QueueCallAnswered();
}

void ForgetNewcomer() REQUIRES(record.callLock) {
    State().newcomerCallId[0] = '\0';
    State().newcomerInProgress = 0;
}

void ForgetWaitingCall() REQUIRES(record.callLock) {
    State().waitingCallId[0] = '\0';
    State().waitingDirection = CallDirection::None;
    State().waitingAnsweredElsewhere = 0;
}

// A call becomes the followed one, fresh: nothing of the call before carries over.
void FollowCall(const CallIdText& id) REQUIRES(record.callLock) {
    CallState& state = State();
    CallReset();
    StartOfCall();
    state.callActive = 0;
    state.currentCallId = id;
}

// The newcomer, typed, takes the phone over from a followed call the phone does
// not hold. A Ring already lit stays lit without a write; the call let go of,
// unless it has ended, waits.
void FollowNewcomer(CallDirection direction) REQUIRES(record.callLock) {
    CallState& state = State();
    const bool ringWasLit = RingShown();
    const bool offHookWasLit = state.answeredElsewhere == 1;
    if (state.callDirection != CallDirection::None && state.endedByDevice == 0) {
        state.waitingCallId = state.currentCallId;
        state.waitingDirection = state.callDirection;
        state.waitingAnsweredElsewhere = state.answeredElsewhere;
    }
    const CallIdText id = state.newcomerCallId;
    const LONG inProgress = state.newcomerInProgress;
    ForgetNewcomer();
    FollowCall(id);
    state.inProgressBeforeType = inProgress;
    if (ringWasLit && !RingAllowed(direction))
        Queue(target_device::kRingLed, /*on=*/false);
    if (offHookWasLit)
        Queue(target_device::kOffHookLed, /*on=*/false);
    state.ringLit = ringWasLit && RingAllowed(direction) ? 1 : 0;
    TypeFollowedCall(direction);
}

// The followed call ended: the waiting call is followed at once, shown as it
// stands (still ringing, or answered elsewhere meanwhile).
void FollowWaitingCall() REQUIRES(record.callLock) {
    CallState& state = State();
    const CallIdText id = state.waitingCallId;
    const CallDirection direction = state.waitingDirection;
    const bool answeredElsewhere = state.waitingAnsweredElsewhere == 1;
    ForgetWaitingCall();
    FollowCall(id);
    SetCallType(direction);
    if (answeredElsewhere) {
        state.answeredElsewhere = 1;
        state.callActive = 1;
        Queue(target_device::kOffHookLed, /*on=*/true);
    } else if (RingAllowed(direction)) {
        state.ringLit = 1;
        Queue(target_device::kRingLed, /*on=*/true);
    }
}

// The followed call (or, with none, the call state as it stands) ends. The
// indicators go out once the call is over: a lift meanwhile finds no call.
void EndFollowedCall(bool finished) REQUIRES(record.callLock) {
    CallState& state = State();
    const bool ringWasLit = state.ringLit == 1;
    if (finished) {
        if (state.endedByDevice == 0)
            state.endedByHost = 1;
        state.callActive = 0;
    }
    CallReset();
    QueuePutOut(ringWasLit, /*offHook=*/true);
    if (!IsEmpty(state.waitingCallId))
        FollowWaitingCall();
}

}  // namespace

void StoreCallId(CallIdText& slot, std::string_view text) {
    const std::size_t length = std::min(text.size(), slot.size() - 1);
    std::copy_n(text.data(), length, slot.data());
    slot[length] = '\0';
}

void WriteQueuedIndicators() {
    for (;;) {
        IndicatorWrite write;
        {
            MutexGuard lock(record.callLock);
            WriteQueue& queue = record.queue;
            if (queue.count == 0) {
                queue.writing = false;
                return;
            }
            write = queue.writes[queue.first];
            queue.first = (queue.first + 1) % kQueuedWritesMax;
            --queue.count;
        }
        SetIndicator(write.usage, write.on);
    }
}

void RecordApiWindow(HWND window) {
    MutexGuard lock(record.callLock);
    State().apiWindow = window;
}

HWND ApiWindow() {
    MutexGuard lock(record.callLock);
    return State().apiWindow;
}

Decision AnnounceCall(const CallIdText& id, bool routing) {
    MutexGuard lock(record.callLock);
    CallState& state = State();
    if (routing && state.callDirection != CallDirection::None) {
        Decision notTaken;
        notTaken.taken = false;
        return notTaken;
    }
    if (!IsEmpty(state.currentCallId) && !IsFollowed(id)) {
        // Another call: its type decides whether the phone takes it up.
        if (!SameId(state.newcomerCallId, id)) {
            ForgetNewcomer();
            state.newcomerCallId = id;
        }
        return Command(HostCommand::GetCallType, id);
    }
    if (SameId(state.newcomerCallId, id))
        ForgetNewcomer();
    StartOfCall();
    state.currentCallId = id;
    return Command(HostCommand::GetCallType, id);
}

Decision ReportCallType(const CallIdText& id, CallDirection direction) {
    MutexGuard lock(record.callLock);
    CallState& state = State();
    if (IsFollowed(id)) {
        if (direction != CallDirection::None)
            TypeFollowedCall(direction);
    } else if (SameId(state.newcomerCallId, id)) {
        if (direction == CallDirection::None) {
            ForgetNewcomer();
        } else if (PhoneHoldsCall()) {
            // It waits, dark, until the held call ends.
            state.waitingCallId = id;
            state.waitingDirection = direction;
            state.waitingAnsweredElsewhere = state.newcomerInProgress;
            ForgetNewcomer();
        } else {
            FollowNewcomer(direction);
        }
    }
    return Decided();
}

Decision ReportCallInProgress(const CallIdText& id) {
    MutexGuard lock(record.callLock);
    CallState& state = State();
    // The followed call first: re-announced while it waited, a call can be
    // both followed and waiting.
    if (!IsFollowed(id)) {
        if (SameId(state.waitingCallId, id))
            state.waitingAnsweredElsewhere = 1;
        if (SameId(state.newcomerCallId, id))
            state.newcomerInProgress = 1;
        return Decided();
    }
    if (state.callDirection == CallDirection::None)
        state.inProgressBeforeType = 1;
    // Video only for calls the phone answered: a call answered in the
    // application must not turn the camera on when it resumes from hold.
    Decision decision;
    if (state.callDirection == CallDirection::Incoming && state.callActive == 1 &&
        state.answeredByDevice == 1 && !IsEmpty(state.incomingCallId)) {
        decision = Command(HostCommand::StartVideo, state.incomingCallId);
    }
    if (RecordAnsweredElsewhere())
        QueueCallAnswered();
    return Decided(decision);
}

Decision EndCall(const CallIdText& id, bool finished) {
    MutexGuard lock(record.callLock);
    CallState& state = State();
    if (SameId(state.newcomerCallId, id))
        ForgetNewcomer();
    if (SameId(state.waitingCallId, id))
        ForgetWaitingCall();
    // The end of another call leaves the followed one as it is.
    if (IsEmpty(state.currentCallId) || IsFollowed(id))
        EndFollowedCall(finished);
    return Decided();
}

Decision EndEveryCall() {
    MutexGuard lock(record.callLock);
    CallState& state = State();
    ForgetNewcomer();
    ForgetWaitingCall();
    const bool ringWasLit = state.ringLit == 1;
    const bool anyWasLit = ringWasLit || state.answeredElsewhere == 1;
    if (!IsEmpty(state.currentCallId)) {
        if (state.endedByDevice == 0)
            state.endedByHost = 1;
        CallReset();
    }
    state.callActive = 0;
    state.apiWindow = nullptr;
    if (anyWasLit)
        QueuePutOut(ringWasLit, /*offHook=*/true);
    AdvanceGeneration();
    return Decided();
}

Decision PutIndicatorsOut() {
    MutexGuard lock(record.callLock);
    CallState& state = State();
    if (state.ringLit == 1 || state.answeredElsewhere == 1) {
        QueuePutOut(/*ring=*/state.ringLit == 1, /*offHook=*/true);
        state.ringLit = 0;
    }
    return Decided();
}

Decision ShowCallOnPhone() {
    MutexGuard lock(record.callLock);
    // A call in progress elsewhere shows as such, even if a repeated type
    // answer has set ringLit again since.
    if (State().answeredElsewhere == 1)
        Queue(target_device::kOffHookLed, /*on=*/true);
    else if (RingShown())
        Queue(target_device::kRingLed, /*on=*/true);
    return Decided();
}

void SetSessionLocked(bool locked) {
    MutexGuard lock(record.callLock);
    State().sessionLocked = locked ? 1 : 0;
}

void SetConsoleDetached(bool detached) {
    MutexGuard lock(record.callLock);
    State().consoleDetached = detached ? 1 : 0;
}

PressDecision DecidePress(const ItemView& item, const ItemView& item0, const ItemView& item1,
                          const ItemView& item2, const ReportHistory& history, bool mayHangUp) {
    MutexGuard lock(record.callLock);
    CallState& state = State();
    CallView call;
    call.direction = state.callDirection;
    call.attached = state.apiWindow != nullptr;
    call.answeredElsewhere = state.answeredElsewhere != 0;
    call.incomingIdEmpty = IsEmpty(state.incomingCallId);
    call.endedByHost = state.endedByHost != 0;
    call.sessionLocked = state.sessionLocked != 0;
    call.consoleDetached = state.consoleDetached != 0;

    PressDecision press;
    press.generation = state.generation;
    switch (DecideItem(item, item0, item1, item2, history, call)) {
        case PressAction::None:
            break;
        case PressAction::Answer:
            // Recorded before the Ring write: from then on an answer in the
            // application lights no Off-Hook that this write would put out
            // again. And before the send: the application may report the call
            // in progress while the command is still being handled.
            press.answer = true;
            state.answeredByDevice = 1;
            state.callActive = 1;
            Queue(target_device::kRingLed, /*on=*/false);
            press.decision = Decided(Command(HostCommand::Answer, state.incomingCallId));
            break;
        case PressAction::HangUp: {
            press.hangUp = true;
            if (!mayHangUp)
                break;
            // Only the phone's own answer put Ring out; for a call it did not
            // answer (outgoing, or rung while the handset was up) Ring stays
            // lit until the call's end state puts it out.
            if (item2.first != target_device::kHangUpButton && state.answeredByDevice == 1)
                state.ringLit = 0;
            state.endedByDevice = 1;
            state.callActive = 0;
            CallIdText id{};
            if (state.callDirection == CallDirection::Incoming)
                id = state.incomingCallId;
            else if (state.callDirection == CallDirection::Outgoing)
                id = state.outgoingCallId;
            press.decision = Command(HostCommand::HangUp, id);
            break;
        }
    }
    return press;
}

bool KeepDeviceAnswer(std::uint32_t generation) {
    MutexGuard lock(record.callLock);
    if (State().generation == generation)
        return true;
    // The call ended or was replaced during the write: the flags still set are
    // the answer's own, for a call that is gone. A waiting call followed since,
    // answered elsewhere, is active in its own right.
    State().answeredByDevice = 0;
    if (State().answeredElsewhere == 0)
        State().callActive = 0;
    return false;
}

CallState CallStateCopy() {
    MutexGuard lock(record.callLock);
    return State();
}

void ReplaceCallStateForTests(const CallState& state) {
    MutexGuard lock(record.callLock);
    State() = state;
}
