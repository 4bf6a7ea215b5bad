// Fuzz target "intake": WM_COPYDATA as any program may send it, through
// OnCopyData, ReadNotificationText and OnHostNotification, with the simulated
// phone plugged in so that every indicator write is seen on its LEDs.
//
// Input: messages one after another, each
//   byte   flags: bits 0-1 the sender (0, 1: the API window; 2: a stranger's
//          window; 3: no window), bit 2 a null lpData, bit 3 no COPYDATASTRUCT,
//          bit 4 session locked, bit 5 console detached (both as of this message),
//          bit 6 the phone answered before this message (what the reader records)
//   u16    cbData, little endian
//   bytes  the payload: the next cbData input bytes, 'x' where the input runs out.
// The payload sits in a heap block of exactly cbData bytes, so reading past what
// the sender gave is an AddressSanitizer report.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/bridge_state.h"
#include "bridge/call_api.h"
#include "bridge/host_channel.h"
#include "bridge/notification_handler.h"
#include "fuzz_support.h"
#include "hid/indicator_output.h"
#include "simdesk/desktop.h"
#include "simdesk/phone.h"
#include "simdesk/win32.h"

namespace {

using simdesk::SimulatedPhone;

struct SentCommand {
    HWND sender;
    std::vector<char> bytes;  // exactly cbData bytes
};

constexpr DWORD kRecordedBytesLimit = 1u << 16;  // far beyond any command the agent can compose

std::vector<SentCommand>& Sent() {
    static auto* sent = new std::vector<SentCommand>;
    return *sent;
}

// The call application's API window: keeps every command sent to it.
LRESULT CALLBACK ApiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA)
        return DefWindowProcW(window, message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    FUZZ_REQUIRE(data != nullptr && data->lpData != nullptr, "a command carries its text");
    FUZZ_REQUIRE(data->cbData <= kRecordedBytesLimit, "a command stays within reason");
    const auto* bytes = static_cast<const char*>(data->lpData);
    Sent().push_back({reinterpret_cast<HWND>(wParam), {bytes, bytes + data->cbData}});
    return TRUE;
}

HWND MakeWindow(const wchar_t* title) {
    static const ATOM registered = [] {
        WNDCLASSEXW info{};
        info.cbSize = sizeof info;
        info.lpfnWndProc = ApiWindowProc;
        info.lpszClassName = L"FuzzIntakeWindow";
        return RegisterClassExW(&info);
    }();
    (void)registered;
    return CreateWindowExW(0, L"FuzzIntakeWindow", title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                           CW_USEDEFAULT, 0, nullptr, nullptr, nullptr, nullptr);
}

struct Desk {
    simdesk::DesktopThread thread;
    HWND agentWindow = MakeWindow(L"agent");
    HWND apiWindow = MakeWindow(L"call application");
    HWND strangerWindow = MakeWindow(L"stranger");
    std::unique_ptr<SimulatedPhone> phone;
};

Desk& TheDesk() {
    static auto* desk = new Desk;  // lives as long as the process, like the agent's records
    return *desk;
}

// Everything a message may change that can be seen from outside the handler.
struct Observation {
    CallIdText current{}, outgoing{}, incoming{};
    CallDirection direction = CallDirection::None;
    LONG answeredByDevice = 0, answeredElsewhere = 0, endedByHost = 0, endedByDevice = 0;
    LONG callActive = 0, callSeen = 0, ringLit = 0;
    bool ringLed = false, offHookLed = false;
    std::size_t ledReports = 0;

    bool operator==(const Observation&) const = default;
};

Observation Observe(const SimulatedPhone& phone) {
    Observation seen;
    seen.current = CallStateCopy().currentCallId;
    seen.outgoing = CallStateCopy().outgoingCallId;
    seen.incoming = CallStateCopy().incomingCallId;
    seen.direction = CallStateCopy().callDirection;
    seen.answeredByDevice = CallStateCopy().answeredByDevice;
    seen.answeredElsewhere = CallStateCopy().answeredElsewhere;
    seen.endedByHost = CallStateCopy().endedByHost;
    seen.endedByDevice = CallStateCopy().endedByDevice;
    seen.callActive = CallStateCopy().callActive;
    seen.callSeen = CallStateCopy().callSeen;
    seen.ringLit = CallStateCopy().ringLit;
    seen.ringLed = phone.RingLit();
    seen.offHookLed = phone.OffHookLit();
    seen.ledReports = phone.LedReportCount();
    return seen;
}

// What a notification is, by the keyword rules in their order of precedence,
// judged on the bytes the agent may read (cp1252 keeps ASCII as it is).
enum class Kind { StartOfCall, Outgoing, Incoming, InProgress, Finished, OtherEnd, Nothing };

Kind Classify(std::string_view text, CallDirection before) {
    const auto has = [text](std::string_view keyword) {
        return text.find(keyword) != std::string_view::npos;
    };
    if (has("STATUS RINGING") || (has("STATUS ROUTING") && before == CallDirection::None))
        return Kind::StartOfCall;
    if (has("TYPE OUTGOING_P2P"))
        return Kind::Outgoing;
    if (has("TYPE INCOMING_P2P"))
        return Kind::Incoming;
    if (has("INPROGRESS"))
        return Kind::InProgress;
    if (has("STATUS FINISHED"))
        return Kind::Finished;
    for (std::string_view end : {"STATUS UNPLACED", "STATUS FAILED", "STATUS MISSED",
                                 "STATUS REFUSED", "STATUS BUSY", "STATUS CANCELLED"}) {
        if (has(end))
            return Kind::OtherEnd;
    }
    return Kind::Nothing;
}

bool Terminated(const CallIdText& id) {
    return std::memchr(id.data(), '\0', id.size()) != nullptr;
}

bool IsReset(const Observation& seen) {
    return seen.direction == CallDirection::None && seen.current[0] == '\0' &&
           seen.outgoing[0] == '\0' && seen.incoming[0] == '\0' && seen.ringLit == 0 &&
           seen.answeredByDevice == 0 && seen.answeredElsewhere == 0 && seen.callSeen == 0;
}

// The text of a command: NUL-terminated exactly at its end, and within the command buffer.
std::string_view CommandText(const SentCommand& command, HWND agentWindow) {
    FUZZ_REQUIRE(command.sender == agentWindow, "commands name the agent's window as sender");
    const std::vector<char>& bytes = command.bytes;
    FUZZ_REQUIRE(!bytes.empty() && bytes.size() <= kCommandBufferSize,
                 "a command fits the command buffer, terminator included");
    FUZZ_REQUIRE(bytes.back() == '\0', "a command is NUL-terminated");
    const std::string_view text(bytes.data(), bytes.size() - 1);
    FUZZ_REQUIRE(text.find('\0') == std::string_view::npos, "a command has one terminator");
    return text;
}

bool Framed(std::string_view text, std::string_view prefix, std::string_view suffix,
            std::string_view& id) {
    if (text.size() < prefix.size() + suffix.size() || !text.starts_with(prefix) ||
        !text.ends_with(suffix))
        return false;
    id = text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
    return true;
}

// Checks the commands one accepted message caused.
void CheckCommands(Kind kind, const Observation& before, const Observation& after,
                   HWND agentWindow) {
    const std::vector<SentCommand>& sent = Sent();
    FUZZ_REQUIRE(sent.size() <= 1, "one notification sends at most one command");
    bool requestedType = false;
    for (const SentCommand& command : sent) {
        const std::string_view text = CommandText(command, agentWindow);
        std::string_view id;
        if (Framed(text, call_api::kGetCallPrefix, call_api::kGetCallSuffix, id)) {
            FUZZ_REQUIRE(kind == Kind::StartOfCall, "only a new call asks for its type");
            FUZZ_REQUIRE(id == after.current.data(), "the type request names the current call");
            requestedType = true;
        } else if (Framed(text, call_api::kAlterCallPrefix, call_api::kStartVideoSuffix, id)) {
            FUZZ_REQUIRE(kind == Kind::InProgress, "video only when a call is in progress");
            FUZZ_REQUIRE(
                before.answeredByDevice != 0 && before.direction == CallDirection::Incoming,
                "video only for an incoming call the phone answered");
            FUZZ_REQUIRE(id == after.incoming.data(), "video names the incoming call");
        } else {
            const bool answerOrHangUp =
                Framed(text, call_api::kSetCallPrefix, call_api::kStatusInProgressSuffix, id) ||
                Framed(text, call_api::kSetCallPrefix, call_api::kStatusFinishedSuffix, id);
            FUZZ_REQUIRE(answerOrHangUp, "a command has one of the four forms");
            FUZZ_REQUIRE(false, "only the phone answers or hangs up, never a notification");
        }
    }
    if (kind == Kind::StartOfCall)
        FUZZ_REQUIRE(requestedType, "a new call's type is requested");
}

// The id a notification names, read as the agent reads it: the text before
// `keyword`, less a leading "CALL ".
std::string NamedCall(std::string_view readable, const WCHAR* keyword) {
    WCHAR text[kNotificationBufferSize] = {};
    if (!readable.empty()) {
        const int units = MultiByteToWideChar(CP_THREAD_ACP, 0, readable.data(),
                                              static_cast<int>(readable.size()), text,
                                              static_cast<int>(kNotificationBufferSize - 1));
        text[units > 0 ? units : 0] = L'\0';
    }
    return CallIdBefore(text, keyword).data();
}

bool PhoneHoldsCall(const Observation& seen) {
    return seen.answeredByDevice == 1 && seen.callActive == 1 && seen.endedByDevice == 0;
}

const WCHAR* IdKeyword(Kind kind) {
    return kind == Kind::Outgoing || kind == Kind::Incoming ? L"TYPE" : L"STATUS";
}

// A call other than the followed one: its ringing is asked its type and
// nothing else; its type may take the phone over (peer-to-peer, the phone not
// holding the followed call) or change nothing; anything else it says changes
// nothing of the followed call.
void CheckAnotherCall(Kind kind, std::string_view readable, const Observation& before,
                      const Observation& after, HWND agentWindow) {
    const std::string named = NamedCall(readable, IdKeyword(kind));
    if (kind == Kind::StartOfCall) {
        FUZZ_REQUIRE(Sent().size() == 1, "another call's ringing asks its type");
        std::string_view id;
        FUZZ_REQUIRE(Framed(CommandText(Sent().front(), agentWindow), call_api::kGetCallPrefix,
                            call_api::kGetCallSuffix, id) &&
                         id == named,
                     "the type request names the call that rings");
        FUZZ_REQUIRE(after == before, "another call's ringing changes nothing of the followed one");
        return;
    }
    FUZZ_REQUIRE(Sent().empty(), "only a ringing notification of another call sends anything");
    if (after == before)
        return;
    FUZZ_REQUIRE(kind == Kind::Outgoing || kind == Kind::Incoming,
                 "only a peer-to-peer type of another call changes the followed call");
    FUZZ_REQUIRE(!PhoneHoldsCall(before), "a call the phone holds keeps the phone");
    FUZZ_REQUIRE(named == after.current.data(), "the call typed takes the phone over");
    FUZZ_REQUIRE(after.answeredByDevice == 0 && after.endedByDevice == 0 && after.endedByHost == 0,
                 "the call taking the phone over starts afresh");
    FUZZ_REQUIRE(!after.offHookLed || after.answeredElsewhere != 0,
                 "Off-Hook lit for the old call goes out");
    if (before.ringLed && after.ringLed) {
        FUZZ_REQUIRE(after.ledReports == before.ledReports,
                     "a Ring lit stays lit without a write when another call takes over");
    }
}

// After the followed call's end state: no call, or the waiting call, shown as
// it stands and with none of the old call's hang-up flags.
void CheckAfterEnd(Kind kind, const Observation& before, const Observation& after,
                   bool ringAllowed) {
    if (IsReset(after)) {
        FUZZ_REQUIRE(!after.ringLed && !after.offHookLed,
                     "an end state with no call waiting leaves the phone dark");
        if (kind == Kind::Finished)
            FUZZ_REQUIRE(after.callActive == 0, "a finished call is no longer active");
        return;
    }
    FUZZ_REQUIRE(after.current != before.current || before.current[0] == '\0',
                 "an end state ends the call it names");
    FUZZ_REQUIRE(after.answeredByDevice == 0 && after.endedByDevice == 0 && after.endedByHost == 0,
                 "the waiting call takes none of the old call's hang-up flags");
    if (after.answeredElsewhere != 0) {
        FUZZ_REQUIRE(after.offHookLed && !after.ringLed,
                     "a waiting call answered elsewhere shows Off-Hook");
    } else if (after.direction == CallDirection::Outgoing ||
               (after.direction == CallDirection::Incoming && ringAllowed)) {
        FUZZ_REQUIRE(after.ringLed && !after.offHookLed,
                     "a waiting call still ringing rings on the phone");
    }
}

// `ringAllowed`: the session is unlocked and the console attached.
void CheckAccepted(Kind kind, std::string_view readable, const Observation& before,
                   const Observation& after, HWND agentWindow, bool ringAllowed) {
    for (const CallIdText* id : {&after.current, &after.outgoing, &after.incoming})
        FUZZ_REQUIRE(Terminated(*id), "every id slot holds a terminated text");
    if (kind == Kind::Nothing) {
        FUZZ_REQUIRE(after == before && Sent().empty(), "a text no rule takes changes nothing");
        return;
    }
    if (before.current[0] != '\0' &&
        NamedCall(readable, IdKeyword(kind)) != before.current.data()) {
        CheckAnotherCall(kind, readable, before, after, agentWindow);
        return;
    }
    // The followed call, or any call while none is followed: the single-call rules.
    CheckCommands(kind, before, after, agentWindow);
    FUZZ_REQUIRE(after.ringLed == (after.ringLit != 0), "the Ring LED shows what the agent holds");
    if (kind == Kind::Finished || kind == Kind::OtherEnd)
        CheckAfterEnd(kind, before, after, ringAllowed);
}

void ResetAgent(Desk& desk) {
    CallState fresh;
    fresh.apiWindow = desk.apiWindow;
    ReplaceCallStateForTests(fresh);
    // A fresh phone each run: dark LEDs and an empty report log.
    desk.phone = std::make_unique<SimulatedPhone>();
    FUZZ_REQUIRE(desk.phone->Plug(), "the phone plugs in");
    SetDevicePath(SimulatedPhone::TelephonyPath().c_str());
}

constexpr std::uint8_t kSenderMask = 0x03;
constexpr std::uint8_t kStrangerSender = 2;
constexpr std::uint8_t kNoSender = 3;
constexpr std::uint8_t kNullPayload = 1u << 2;
constexpr std::uint8_t kNoCopyData = 1u << 3;
constexpr std::uint8_t kSessionLocked = 1u << 4;
constexpr std::uint8_t kConsoleDetached = 1u << 5;
constexpr std::uint8_t kPhoneAnswered = 1u << 6;
constexpr char kFiller = 'x';

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Desk& desk = TheDesk();
    ResetAgent(desk);
    fuzzing::ByteReader input(data, size);
    while (!input.empty()) {
        const std::uint8_t flags = input.Byte();
        const DWORD byteCount = input.U16();
        const std::vector<std::uint8_t> given = input.Bytes(byteCount);
        const fuzzing::ExactBlock payload(byteCount);
        std::fill_n(payload.data(), byteCount, kFiller);
        std::copy(given.begin(), given.end(), payload.data());

        COPYDATASTRUCT copyData{};
        copyData.cbData = byteCount;
        copyData.lpData = (flags & kNullPayload) != 0 ? nullptr : payload.data();
        const bool noCopyData = (flags & kNoCopyData) != 0;
        HWND sender = desk.apiWindow;
        if ((flags & kSenderMask) == kStrangerSender)
            sender = desk.strangerWindow;
        else if ((flags & kSenderMask) == kNoSender)
            sender = nullptr;
        CallState state = CallStateCopy();
        state.sessionLocked = (flags & kSessionLocked) != 0 ? 1 : 0;
        state.consoleDetached = (flags & kConsoleDetached) != 0 ? 1 : 0;
        if ((flags & kPhoneAnswered) != 0) {
            state.answeredByDevice = 1;
            state.callActive = 1;
        }
        ReplaceCallStateForTests(state);

        // The text the agent may read: up to the first NUL, within cbData and its buffer.
        std::string_view readable;
        if (!noCopyData && copyData.lpData != nullptr) {
            const std::size_t limit = std::min<std::size_t>(byteCount, kNotificationBufferSize - 1);
            readable = std::string_view(payload.data(), strnlen(payload.data(), limit));
        }

        const Observation before = Observe(*desk.phone);
        const Kind kind = Classify(readable, before.direction);
        Sent().clear();
        const LRESULT result = OnCopyData(desk.agentWindow, reinterpret_cast<WPARAM>(sender),
                                          noCopyData ? 0 : reinterpret_cast<LPARAM>(&copyData));
        const Observation after = Observe(*desk.phone);

        if (sender != desk.apiWindow) {
            FUZZ_REQUIRE(result == 0, "a stranger's message is refused");
            FUZZ_REQUIRE(after == before && Sent().empty(), "a stranger's message changes nothing");
            continue;
        }
        FUZZ_REQUIRE(result == 1, "the call application's message is taken");
        CheckAccepted(kind, readable, before, after, desk.agentWindow,
                      /*ringAllowed=*/(flags & (kSessionLocked | kConsoleDetached)) == 0);
    }
    return 0;
}
