// What the agent knows about the call application and the current call.
// Shared by the window thread and the reader thread: every word is atomic, and
// the id texts are only touched under callLock, which is never held across a
// send or an indicator write (a send can make the call application notify the
// window thread, which may then need the lock).
//
// Atomic fields are not enough: the reader decides on one call, then writes an
// indicator and sends, while the window thread may end that call. So every
// window-thread change to what the reader decides on advances callGeneration
// under callLock, and the reader records a press only if the generation it
// decided on is still current, checked in the same locked step.
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
    CallIdText currentCallId{};  // guarded by callLock
    std::atomic<CallDirection> callDirection{CallDirection::None};
    CallIdText outgoingCallId{};  // guarded by callLock
    CallIdText incomingCallId{};  // guarded by callLock
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
    // The current call was reported in progress before its type was known.
    std::atomic<LONG> inProgressBeforeType{0};
    std::mutex callLock;
    std::uint32_t callGeneration = 0;  // guarded by callLock
};

// The process-wide record. Never destroyed: the reader thread may outlive the
// message loop.
extern BridgeState& bridgeState;

// ---- Window thread: compound updates, each one step for the reader ----

// Start of call: the first ringing or routing notification of a call clears how
// the previous call ended.
void StartOfCall();
// Call reset: forget the current call, keeping how it ended and whether one is active.
void CallReset();
// The call's type is known: sets the direction and copies the current id into
// the slot of that direction (Incoming or Outgoing).
void SetCallType(CallDirection direction);
// In progress while Ring is lit and the phone did not answer: the call was
// answered elsewhere. True when that was recorded (Ring is then to go out).
bool RecordAnsweredElsewhere();
// "In progress", decided in one step against an answer the reader records at
// the same time: video for an incoming call the phone answered (its id
// given), or, while Ring is lit and the phone did not answer, an answer
// elsewhere recorded (Ring is then to go out and Off-Hook to light).
struct InProgressOutcome {
    bool requestVideo = false;
    CallIdText videoId{};
    bool answeredElsewhere = false;
};
InProgressOutcome RecordInProgress();

// The phone holds the current call: it answered it and has not hung it up,
// and the call has not ended.
bool PhoneHoldsCall();
// Whether Ring or Off-Hook is lit for the current call (Off-Hook is lit from
// an answer elsewhere until the call's end state resets it).
bool AnyIndicatorLit();
// A call let go of (reset), and what was lit for it, to be put out.
struct LetGo {
    bool done = false;
    bool ringWasLit = false;
    bool anyWasLit = false;
};
// Another call starts: unless the phone holds the current call, the current
// call is let go of, in one step with that test.
LetGo LetGoOfCallUnlessHeld();
// An end state arrived ("STATUS FINISHED" when `finished`). Unless the phone
// holds the current call and the end names another call, the call ends in one
// step with that test: for FINISHED how it ended is recorded and callActive
// cleared, then the call is let go of, so that no press can take hold of it in
// between.
LetGo EndCallUnlessHeld(bool namesCurrentCall, bool finished);

// ---- Reader thread: decide on a snapshot, record only if it still holds ----

// What the reader decides on, taken in one step.
struct CallSnapshot {
    std::uint32_t generation = 0;
    CallDirection direction = CallDirection::None;
    CallIdText incomingId{};
    CallIdText outgoingId{};
    bool answeredElsewhere = false;
    bool endedByHost = false;
};
CallSnapshot TakeCallSnapshot();
// False once the window thread has changed the call the snapshot was taken of.
bool IsCallStillCurrent(std::uint32_t generation);
// The phone answered: answeredByDevice and callActive, unless the call changed.
bool RecordDeviceAnswer(std::uint32_t generation);
// After the answer's Ring write: true when the call is still the one answered;
// otherwise the answer is taken back (answeredByDevice and callActive 0).
bool KeepDeviceAnswer(std::uint32_t generation);
// The phone hung up: endedByDevice, callActive 0 and, with `ringOut` for a call
// the phone answered, ringLit 0, unless the call changed.
bool RecordDeviceHangUp(std::uint32_t generation, bool ringOut);

// Id slot access, each one step under callLock. Texts longer than 259 characters are cut.
void SetCallId(CallIdSlot slot, std::string_view text);
void CopyCallId(CallIdSlot to, CallIdSlot from);
CallIdText GetCallId(CallIdSlot slot);
bool IsCallIdEmpty(CallIdSlot slot);
