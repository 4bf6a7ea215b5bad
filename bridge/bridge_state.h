// What the agent knows about the call application and the current call.
// Shared by the window thread and the reader thread: every word is atomic, and
// the id texts are only touched under idLock, which is never held across a
// send or an indicator write (a send can make the call application notify the
// window thread, which may then need the lock).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "platform/platform.h"

enum class CallDirection : std::int32_t { None = 0, Incoming = 1, Outgoing = 2 };

inline constexpr std::size_t kCallIdSlotSize = 260;  // at most 259 characters + NUL
using CallIdText = std::array<char, kCallIdSlotSize>;

enum class CallIdSlot { Current, Outgoing, Incoming };

struct BridgeState {
    std::atomic<HWND> apiWindow{nullptr};
    CallIdText currentCallId{};  // guarded by idLock
    std::atomic<CallDirection> callDirection{CallDirection::None};
    CallIdText outgoingCallId{};  // guarded by idLock
    CallIdText incomingCallId{};  // guarded by idLock
    std::atomic<LONG> answeredByDevice{0};
    std::atomic<LONG> answeredElsewhere{0};
    std::atomic<LONG> endedByHost{0};
    std::atomic<LONG> endedByDevice{0};
    std::atomic<LONG> callActive{0};
    std::atomic<LONG> callSeen{0};
    std::atomic<HANDLE> readerThread{nullptr};
    std::atomic<LONG> ringLit{0};
    std::atomic<LONG> sessionLocked{0};
    std::atomic<LONG> consoleDetached{0};
    std::mutex idLock;
};

// The process-wide record. Never destroyed: the reader thread may outlive the
// message loop.
extern BridgeState& bridgeState;

// Start of call: the first ringing or routing notification of a call clears how
// the previous call ended.
void StartOfCall();
// Call reset: forget the current call, keeping how it ended and whether one is active.
void CallReset();

// Id slot access, each one step under idLock. Texts longer than 259 characters are cut.
void SetCallId(CallIdSlot slot, std::string_view text);
void CopyCallId(CallIdSlot to, CallIdSlot from);
CallIdText GetCallId(CallIdSlot slot);
bool IsCallIdEmpty(CallIdSlot slot);
