#include "bridge/notification_handler.h"

#include <algorithm>
#include <string_view>

#include "bridge/call_api.h"
#include "bridge/host_channel.h"
#include "hid/indicator_output.h"
#include "hid/target_device.h"

namespace {

bool Contains(std::wstring_view text, const WCHAR* keyword) {
    return text.find(keyword) != std::wstring_view::npos;
}

void RequestCallType(const CallIdText& id, HWND window) {
    static CommandBuffer getCallCommand;
    ComposeCommand(getCallCommand, {call_api::kGetCallPrefix, id.data(), call_api::kGetCallSuffix});
    SendHostCommand(getCallCommand.data(), window);
}

void RequestVideo(const CallIdText& id, HWND window) {
    static CommandBuffer alterCallCommand;
    ComposeCommand(alterCallCommand,
                   {call_api::kAlterCallPrefix, id.data(), call_api::kStartVideoSuffix});
    SendHostCommand(alterCallCommand.data(), window);
}

// The notification names the call being followed.
bool IsCurrentCall(const CallIdText& id) {
    const CallIdText current = GetCallId(CallIdSlot::Current);
    return current[0] != '\0' && std::string_view(current.data()) == id.data();
}

// Ring gets its own write, first: on a phone whose Ring LED sits in a report of
// its own, clearing Off-Hook would leave it lit.
void PutOut(bool ring, bool offHook) {
    if (ring)
        SetIndicator(target_device::kRingLed, /*on=*/false);
    if (offHook)
        SetIndicator(target_device::kOffHookLed, /*on=*/false);
}

// A call reported in progress before its type was known: it was answered
// already, so it shows as answered elsewhere, not as ringing.
void ShowIfAlreadyInProgress() {
    if (bridgeState.inProgressBeforeType.load() == 1 && RecordAnsweredElsewhere())
        ShowCallAnswered();
}

bool IsOtherEndState(std::wstring_view text) {
    for (const WCHAR* keyword : call_api::kOtherEndStates) {
        if (Contains(text, keyword))
            return true;
    }
    return false;
}

}  // namespace

void PutIndicatorsOut() {
    PutOut(/*ring=*/bridgeState.ringLit.exchange(0) == 1, /*offHook=*/true);
}

CallIdText CallIdBefore(const WCHAR* text, const WCHAR* keyword) {
    const std::wstring_view all(text);
    std::wstring_view head = all.substr(0, all.find(keyword));
    constexpr std::size_t kCallPrefixLength = 5;  // "CALL" and its blank
    if (head.starts_with(call_api::kCallKeyword)) {
        head =
            head.size() > kCallPrefixLength ? head.substr(kCallPrefixLength) : std::wstring_view{};
    }
    CallIdText id{};
    const std::size_t length = std::min(head.size(), id.size() - 1);
    for (std::size_t i = 0; i < length; ++i) {
        const WCHAR unit = head[i];
        id[i] = unit <= 0xFF ? static_cast<char>(unit) : '?';
    }
    id[length] = '\0';
    return id;
}

CallIdText ExtractCallId(const WCHAR* text) {
    return CallIdBefore(text, call_api::kStatusKeyword);
}

void OnHostNotification(const WCHAR* text, HWND window) {
    const std::wstring_view notification(text);
    BridgeState& state = bridgeState;

    if (Contains(notification, call_api::kStatusRinging) ||
        (Contains(notification, call_api::kStatusRouting) &&
         state.callDirection.load() == CallDirection::None)) {
        const CallIdText id = ExtractCallId(text);
        if (!IsCallIdEmpty(CallIdSlot::Current) && !IsCurrentCall(id)) {
            // Another call. The phone stays with the call it holds; any other
            // call is let go of, so that nothing of it carries over.
            const LetGo letGo = LetGoOfCallUnlessHeld();
            if (!letGo.done)
                return;
            PutOut(letGo.ringWasLit, letGo.anyWasLit);
        }
        StartOfCall();
        SetCallId(CallIdSlot::Current, id.data());
        RequestCallType(id, window);
        return;
    }

    if (Contains(notification, call_api::kTypeOutgoing)) {
        if (!IsCurrentCall(CallIdBefore(text, call_api::kTypeKeyword)))
            return;
        if (state.ringLit.load() == 0) {
            SetIndicator(target_device::kRingLed, /*on=*/true);
            state.ringLit = 1;
        }
        SetCallType(CallDirection::Outgoing);
        ShowIfAlreadyInProgress();
        return;
    }

    if (Contains(notification, call_api::kTypeIncoming)) {
        if (!IsCurrentCall(CallIdBefore(text, call_api::kTypeKeyword)))
            return;
        if (state.ringLit.load() == 0 && state.sessionLocked.load() == 0 &&
            state.consoleDetached.load() == 0) {
            SetIndicator(target_device::kRingLed, /*on=*/true);
            state.ringLit = 1;
        }
        SetCallType(CallDirection::Incoming);
        ShowIfAlreadyInProgress();
        return;
    }

    if (Contains(notification, call_api::kInProgress)) {
        if (!IsCurrentCall(ExtractCallId(text)))
            return;
        if (state.callDirection.load() == CallDirection::None)
            state.inProgressBeforeType = 1;
        // Video only for calls the phone answered: a call answered in the
        // application must not turn the camera on when it resumes from hold.
        // Decided in one step: a lift recorded between the two tests got
        // neither the video nor Off-Hook.
        const InProgressOutcome outcome = RecordInProgress();
        if (outcome.requestVideo)
            RequestVideo(outcome.videoId, window);
        if (outcome.answeredElsewhere)
            ShowCallAnswered();
        return;
    }

    const bool finished = Contains(notification, call_api::kStatusFinished);
    if (!finished && !IsOtherEndState(notification))
        return;
    // While the phone holds its call, the end of another call does not end it.
    // The indicators go out once the call is over: a lift meanwhile finds no call.
    const LetGo end = EndCallUnlessHeld(IsCurrentCall(ExtractCallId(text)), finished);
    if (end.done)
        PutOut(end.ringWasLit, /*offHook=*/true);
}

void OnSessionEnding() {
    if (AnyIndicatorLit())
        PutIndicatorsOut();
}

void OnApplicationGone() {
    bridgeState.apiWindow = nullptr;
    // Only a call followed has anything to end: with none, nothing is written.
    if (IsCallIdEmpty(CallIdSlot::Current))
        return;
    const LetGo end = EndCallUnlessHeld(/*namesCurrentCall=*/true, /*finished=*/true);
    if (end.done)
        PutOut(end.ringWasLit, /*offHook=*/true);
}
