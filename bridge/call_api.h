// What the agent says to and hears from the call application: the registered
// message names, attach result codes, command texts and notification keywords.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// A call's type as the call application reports it; only peer-to-peer calls
// are followed.
enum class CallDirection : std::int32_t { None = 0, Incoming = 1, Outgoing = 2 };

namespace call_api {

inline constexpr const WCHAR* kAttachMessageName = L"SkypeControlAPIAttach";
inline constexpr const WCHAR* kDiscoverMessageName = L"SkypeControlAPIDiscover";

// lParam of the attach message.
inline constexpr LPARAM kAttachSuccess = 0;
inline constexpr LPARAM kAttachDiscoverAgain = 0x8001;

inline constexpr UINT kDiscoveryTimeoutMs = 1000;

// Command texts. Ids keep the blank that followed them in the notification, so
// "GET CALL " + "1234 " + "TYPE" reads "GET CALL 1234 TYPE".
inline constexpr const char* kGetCallPrefix = "GET CALL ";
inline constexpr const char* kGetCallSuffix = "TYPE";
inline constexpr const char* kAlterCallPrefix = "ALTER CALL ";
inline constexpr const char* kStartVideoSuffix = " START_VIDEO_SEND";
inline constexpr const char* kSetCallPrefix = "SET CALL ";
inline constexpr const char* kStatusInProgressSuffix = " STATUS INPROGRESS";
inline constexpr const char* kStatusFinishedSuffix = " STATUS FINISHED";

// Notification keywords (case-sensitive substrings).
inline constexpr const WCHAR* kStatusRinging = L"STATUS RINGING";
inline constexpr const WCHAR* kStatusRouting = L"STATUS ROUTING";
inline constexpr const WCHAR* kTypeOutgoing = L"TYPE OUTGOING_P2P";
inline constexpr const WCHAR* kTypeIncoming = L"TYPE INCOMING_P2P";
inline constexpr const WCHAR* kInProgress = L"INPROGRESS";
inline constexpr const WCHAR* kStatusFinished = L"STATUS FINISHED";
inline constexpr const WCHAR* kOtherEndStates[] = {
    L"STATUS UNPLACED", L"STATUS FAILED", L"STATUS MISSED",
    L"STATUS REFUSED",  L"STATUS BUSY",   L"STATUS CANCELLED",
};
inline constexpr const WCHAR* kStatusKeyword = L"STATUS";
inline constexpr const WCHAR* kTypeKeyword = L"TYPE";
inline constexpr const WCHAR* kCallKeyword = L"CALL";

}  // namespace call_api
