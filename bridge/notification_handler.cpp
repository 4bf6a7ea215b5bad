#include "bridge/notification_handler.h"

#include <algorithm>
#include <string_view>

#include "bridge/call_api.h"
#include "bridge/carry_out.h"
#include "bridge/host_channel.h"

namespace {

bool Contains(std::wstring_view text, const WCHAR* keyword) {
    return text.find(keyword) != std::wstring_view::npos;
}

bool IsOtherEndState(std::wstring_view text) {
    for (const WCHAR* keyword : call_api::kOtherEndStates) {
        if (Contains(text, keyword))
            return true;
    }
    return false;
}

// The transition a notification calls for, in the order the rules are tested.
Decision Decide(const WCHAR* text) {
    const std::wstring_view notification(text);
    const bool ringing = Contains(notification, call_api::kStatusRinging);
    if (ringing || Contains(notification, call_api::kStatusRouting)) {
        // Routing starts a call only while the followed call is untyped;
        // otherwise the text goes on to the rules below.
        const Decision announced = AnnounceCall(ExtractCallId(text), /*routing=*/!ringing);
        if (announced.taken)
            return announced;
    }
    if (Contains(notification, call_api::kTypeOutgoing))
        return ReportCallType(CallIdBefore(text, call_api::kTypeKeyword), CallDirection::Outgoing);
    if (Contains(notification, call_api::kTypeIncoming))
        return ReportCallType(CallIdBefore(text, call_api::kTypeKeyword), CallDirection::Incoming);
    if (Contains(notification, call_api::kInProgress))
        return ReportCallInProgress(ExtractCallId(text));
    const bool finished = Contains(notification, call_api::kStatusFinished);
    if (finished || IsOtherEndState(notification))
        return EndCall(ExtractCallId(text), finished);
    // Any other type: a newcomer of that type is not the phone's.
    if (Contains(notification, call_api::kTypeKeyword))
        return ReportCallType(CallIdBefore(text, call_api::kTypeKeyword), CallDirection::None);
    return {};
}

}  // namespace

void OnApplicationGone() {
    CarryOut(EndEveryCall(), /*sender=*/nullptr);
}

void OnSessionEnding() {
    CarryOut(PutIndicatorsOut(), /*sender=*/nullptr);
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
    CarryOut(Decide(text), window);
}

LRESULT OnCopyData(HWND window, WPARAM wParam, LPARAM lParam) {
    // Until the call application attaches there is no one to follow: a text
    // naming no sender would otherwise light the phone for any program.
    const HWND api = ApiWindow();
    if (api == nullptr || reinterpret_cast<HWND>(wParam) != api)
        return 0;
    WCHAR text[kNotificationBufferSize];
    ReadNotificationText(reinterpret_cast<const COPYDATASTRUCT*>(lParam), text);
    OnHostNotification(text, window);
    return 1;
}
