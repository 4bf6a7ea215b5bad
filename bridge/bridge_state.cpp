#include "bridge/bridge_state.h"

#include <algorithm>

BridgeState& bridgeState = *new BridgeState();

namespace {

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

}  // namespace

void StartOfCall() {
    if (bridgeState.callSeen.load() != 0)
        return;
    bridgeState.callSeen = 1;
    bridgeState.endedByHost = 0;
    bridgeState.endedByDevice = 0;
}

void CallReset() {
    bridgeState.callDirection = CallDirection::None;
    {
        std::lock_guard lock(bridgeState.idLock);
        bridgeState.outgoingCallId[0] = '\0';
        bridgeState.incomingCallId[0] = '\0';
        bridgeState.currentCallId[0] = '\0';
    }
    bridgeState.answeredByDevice = 0;
    bridgeState.answeredElsewhere = 0;
    bridgeState.ringLit = 0;
    bridgeState.callSeen = 0;
}

void SetCallId(CallIdSlot slot, std::string_view text) {
    std::lock_guard lock(bridgeState.idLock);
    StoreText(SlotText(slot), text);
}

void CopyCallId(CallIdSlot to, CallIdSlot from) {
    std::lock_guard lock(bridgeState.idLock);
    SlotText(to) = SlotText(from);
}

CallIdText GetCallId(CallIdSlot slot) {
    std::lock_guard lock(bridgeState.idLock);
    return SlotText(slot);
}

bool IsCallIdEmpty(CallIdSlot slot) {
    std::lock_guard lock(bridgeState.idLock);
    return SlotText(slot)[0] == '\0';
}
