#include "bridge/bridge_state.h"

#include <algorithm>

BridgeState& bridgeState = *new BridgeState();

namespace {

using CallGuard = std::lock_guard<std::mutex>;

CallIdText& SlotText(CallIdSlot slot) {
    switch (slot) {
        case CallIdSlot::Outgoing:
            return bridgeState.outgoingCallId;
        case CallIdSlot::Incoming:
            return bridgeState.incomingCallId;
        case CallIdSlot::Current:
            break;
    }
    return bridgeState.currentCallId;
}

void StoreText(CallIdText& slot, std::string_view text) {
    const std::size_t length = std::min(text.size(), slot.size() - 1);
    std::copy_n(text.data(), length, slot.data());
    slot[length] = '\0';
}

// The call the reader decides on has changed. callLock held.
void AdvanceGeneration() {
    ++bridgeState.callGeneration;
}

// callLock held.
void ResetLocked() {
    bridgeState.callDirection = CallDirection::None;
    bridgeState.outgoingCallId[0] = '\0';
    bridgeState.incomingCallId[0] = '\0';
    bridgeState.currentCallId[0] = '\0';
    bridgeState.answeredByDevice = 0;
    bridgeState.answeredElsewhere = 0;
    bridgeState.ringLit = 0;
    bridgeState.callSeen = 0;
    bridgeState.inProgressBeforeType = 0;
    AdvanceGeneration();
}

bool PhoneHoldsCallLocked() {
    return bridgeState.answeredByDevice.load() == 1 && bridgeState.callActive.load() == 1;
}

// callLock held.
LetGo LetGoLocked() {
    LetGo letGo;
    letGo.done = true;
    letGo.ringWasLit = bridgeState.ringLit.load() == 1;
    letGo.anyWasLit = AnyIndicatorLit();
    ResetLocked();
    return letGo;
}

}  // namespace

void StartOfCall() {
    CallGuard lock(bridgeState.callLock);
    if (bridgeState.callSeen.load() != 0)
        return;
    bridgeState.callSeen = 1;
    bridgeState.endedByHost = 0;
    bridgeState.endedByDevice = 0;
    AdvanceGeneration();
}

void CallReset() {
    CallGuard lock(bridgeState.callLock);
    ResetLocked();
}

bool PhoneHoldsCall() {
    CallGuard lock(bridgeState.callLock);
    return PhoneHoldsCallLocked();
}

bool AnyIndicatorLit() {
    return bridgeState.ringLit.load() == 1 || bridgeState.answeredElsewhere.load() == 1;
}

LetGo LetGoOfCallUnlessHeld() {
    CallGuard lock(bridgeState.callLock);
    if (PhoneHoldsCallLocked())
        return {};
    return LetGoLocked();
}

LetGo EndCallUnlessHeld(bool namesCurrentCall, bool finished) {
    CallGuard lock(bridgeState.callLock);
    if (PhoneHoldsCallLocked() && !namesCurrentCall)
        return {};
    if (finished) {
        if (bridgeState.endedByDevice.load() == 0)
            bridgeState.endedByHost = 1;
        bridgeState.callActive = 0;
    }
    return LetGoLocked();
}

void SetCallType(CallDirection direction) {
    CallGuard lock(bridgeState.callLock);
    bool changed = bridgeState.callDirection.exchange(direction) != direction;
    if (direction != CallDirection::None) {
        CallIdText& slot = SlotText(direction == CallDirection::Incoming ? CallIdSlot::Incoming
                                                                         : CallIdSlot::Outgoing);
        changed = changed || std::string_view(slot.data()) != bridgeState.currentCallId.data();
        slot = bridgeState.currentCallId;
    }
    // A repeated type answer for the same call must not void a press in flight.
    if (changed)
        AdvanceGeneration();
}

namespace {

// callLock held.
bool RecordAnsweredElsewhereLocked() {
    if (bridgeState.answeredByDevice.load() != 0 || bridgeState.ringLit.load() != 1)
        return false;
    bridgeState.ringLit = 0;
    bridgeState.answeredElsewhere = 1;
    bridgeState.callActive = 1;
    AdvanceGeneration();
    return true;
}

}  // namespace

bool RecordAnsweredElsewhere() {
    CallGuard lock(bridgeState.callLock);
    return RecordAnsweredElsewhereLocked();
}

InProgressOutcome RecordInProgress() {
    CallGuard lock(bridgeState.callLock);
    InProgressOutcome outcome;
    if (bridgeState.callDirection.load() == CallDirection::Incoming &&
        bridgeState.callActive.load() == 1 && bridgeState.answeredByDevice.load() == 1 &&
        bridgeState.incomingCallId[0] != '\0') {
        outcome.requestVideo = true;
        outcome.videoId = bridgeState.incomingCallId;
    }
    outcome.answeredElsewhere = RecordAnsweredElsewhereLocked();
    return outcome;
}

CallSnapshot TakeCallSnapshot() {
    CallGuard lock(bridgeState.callLock);
    CallSnapshot snapshot;
    snapshot.generation = bridgeState.callGeneration;
    snapshot.direction = bridgeState.callDirection.load();
    snapshot.incomingId = bridgeState.incomingCallId;
    snapshot.outgoingId = bridgeState.outgoingCallId;
    snapshot.answeredElsewhere = bridgeState.answeredElsewhere.load() != 0;
    snapshot.endedByHost = bridgeState.endedByHost.load() != 0;
    return snapshot;
}

bool IsCallStillCurrent(std::uint32_t generation) {
    CallGuard lock(bridgeState.callLock);
    return bridgeState.callGeneration == generation;
}

bool RecordDeviceAnswer(std::uint32_t generation) {
    CallGuard lock(bridgeState.callLock);
    if (bridgeState.callGeneration != generation)
        return false;
    bridgeState.answeredByDevice = 1;
    bridgeState.callActive = 1;
    return true;
}

bool KeepDeviceAnswer(std::uint32_t generation) {
    CallGuard lock(bridgeState.callLock);
    if (bridgeState.callGeneration == generation)
        return true;
    // The call ended or was replaced during the write: the flags still set are
    // the answer's own, for a call that is gone.
    bridgeState.answeredByDevice = 0;
    bridgeState.callActive = 0;
    return false;
}

bool RecordDeviceHangUp(std::uint32_t generation, bool ringOut) {
    CallGuard lock(bridgeState.callLock);
    if (bridgeState.callGeneration != generation)
        return false;
    // Only the phone's own answer put Ring out; for a call it did not answer
    // (outgoing, or rung while the handset was up) Ring stays lit until the
    // call's end state puts it out.
    if (ringOut && bridgeState.answeredByDevice.load() == 1)
        bridgeState.ringLit = 0;
    bridgeState.endedByDevice = 1;
    bridgeState.callActive = 0;
    return true;
}

void SetCallId(CallIdSlot slot, std::string_view text) {
    CallGuard lock(bridgeState.callLock);
    StoreText(SlotText(slot), text);
}

void CopyCallId(CallIdSlot to, CallIdSlot from) {
    CallGuard lock(bridgeState.callLock);
    SlotText(to) = SlotText(from);
}

CallIdText GetCallId(CallIdSlot slot) {
    CallGuard lock(bridgeState.callLock);
    return SlotText(slot);
}

bool IsCallIdEmpty(CallIdSlot slot) {
    CallGuard lock(bridgeState.callLock);
    return SlotText(slot)[0] == '\0';
}
