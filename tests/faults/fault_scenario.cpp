#include "fault_scenario.h"

#include <algorithm>
#include <set>
#include <sstream>

#include "agent_allocations.h"
#include "app/app_globals.h"
#include "app/run_application.h"
#include "bridge/bridge_state.h"
#include "simdesk/call_app.h"
#include "simdesk/desktop.h"
#include "simdesk/phone.h"
#include "simdesk/win32.h"

namespace fault_sweep {
namespace {

namespace faults = simdesk::faults;
using faults::Call;
using Strings = std::vector<std::string>;

constexpr UINT kWindowAnswerTimeoutMs = 5000;
constexpr const char* kDark = "ring=off off-hook=off";
constexpr const char* kRinging = "ring=on off-hook=off";
constexpr const char* kAnsweredElsewhere = "ring=off off-hook=on";

// Calls of the run; the phone answers those in kAnsweredOnPhone.
const std::set<std::string> kCallIds = {"1", "2", "3", "4", "11", "12", "13", "14"};
const std::set<std::string> kAnsweredOnPhone = {"1", "3", "11"};

DWORD WINAPI AgentMain(LPVOID) {
    faults::MarkAgentThread();
    return static_cast<DWORD>(RunApplication(simdesk::AgentInstance()));
}

std::array<std::size_t, faults::kCallKinds> CallCounts() {
    std::array<std::size_t, faults::kCallKinds> counts{};
    for (int i = 0; i < faults::kCallKinds; ++i)
        counts[static_cast<std::size_t>(i)] = faults::CallCount(static_cast<Call>(i));
    return counts;
}

std::string Describe(const HandleCounts& counts) {
    std::ostringstream text;
    for (const auto& [kind, count] : counts)
        text << kind << '=' << count << ' ';
    return text.str();
}

std::string Describe(const Strings& texts) {
    std::ostringstream text;
    text << '[';
    for (const std::string& each : texts)
        text << " \"" << each << '"';
    text << " ]";
    return text.str();
}

// A command the agent may send at all: one of its four forms, for a call of the
// run; the answer and the video only for calls answered on the phone.
bool WellFormed(const std::string& command) {
    if (command == "SET CALL  STATUS FINISHED")  // hang-up with no call
        return true;
    for (const std::string& id : kCallIds) {
        const bool onPhone = kAnsweredOnPhone.count(id) != 0;
        if (command == "GET CALL " + id + " TYPE" ||
            command == "SET CALL " + id + "  STATUS FINISHED" ||
            (onPhone && command == "SET CALL " + id + "  STATUS INPROGRESS") ||
            (onPhone && command == "ALTER CALL " + id + "  START_VIDEO_SEND")) {
            return true;
        }
    }
    return false;
}

class FaultRun {
  public:
    FaultRun(const std::optional<Fault>& fault, const RunReport* baseline)
        : fault_(fault),
          baseline_(baseline),
          expected_(fault ? ExpectedRecovery(*fault) : Recovery::Full) {}

    RunReport Go() {
        Arm(Phase::Scenario);
        Scenario();
        Disarm(Phase::Scenario);
        Recover();
        Close();
        for (const std::string& command : app_.CommandTexts()) {
            Expect(WellFormed(command),
                   "command not well formed or for the wrong call: \"" + command + '"');
        }
        return std::move(report_);
    }

  private:
    static void Settle() { simdesk::WaitUntilIdle(); }

    void Expect(bool ok, const std::string& what) {
        if (!ok)
            report_.failures.push_back(what);
    }

    void Arm(Phase phase) {
        faults::ResetCounts();
        if (fault_ && fault_->phase == phase)
            faults::FailNth(fault_->call, fault_->nth);
    }

    void Disarm(Phase phase) {
        report_.calls[phase] = CallCounts();
        if (fault_ && fault_->phase == phase)
            report_.injected = faults::InjectedCount(fault_->call) != 0;
        faults::ResetCounts();
    }

    std::string Leds() const {
        const simdesk::PhoneLeds leds = phone_.Leds();
        return std::string("ring=") + (leds.ring ? "on" : "off") +
               " off-hook=" + (leds.offHook ? "on" : "off");
    }

    void ExpectLeds(const std::string& expected, const std::string& when) {
        const std::string seen = Leds();
        Expect(seen == expected, when + ": LEDs " + seen + ", expected " + expected);
    }

    // Commands received since the last look.
    Strings NewCommands() {
        const Strings all = app_.CommandTexts();
        Strings fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return fresh;
    }

    void ExpectCommands(const Strings& expected, const std::string& when) {
        const Strings seen = NewCommands();
        Expect(seen == expected,
               when + ": commands " + Describe(seen) + ", expected " + Describe(expected));
    }

    bool Received(const std::string& command) const {
        const Strings all = app_.CommandTexts();
        return std::find(all.begin(), all.end(), command) != all.end();
    }

    // The fault may have cost the agent the phone: the person then ends the
    // call in the application.
    void EndInApplicationIfOpen(const std::string& id) {
        if (!Received("SET CALL " + id + "  STATUS FINISHED")) {
            app_.FarEndHangUp(id);
            Settle();
        }
    }

    void PhoneCall(const std::string& id) {
        app_.IncomingCall(id);
        Settle();
        phone_.LiftHandset();
        Settle();
        phone_.ReplaceHandset();
        Settle();
    }

    void CallAnsweredInApplication(const std::string& id) {
        app_.IncomingCall(id);
        Settle();
        app_.AnswerCall(id);
        Settle();
        app_.FarEndHangUp(id);
        Settle();
    }

    Checkpoint Look() const {
        return Checkpoint{simdesk::OpenHandleCounts(), LiveAgentNothrowBlocks()};
    }

    void ExpectHandles(const HandleCounts& seen, const HandleCounts& expected, bool atMost,
                       const std::string& when) {
        std::set<std::string> kinds;
        for (const HandleCounts* counts : {&seen, &expected}) {
            for (const auto& entry : *counts)
                kinds.insert(entry.first);
        }
        const auto count = [](const HandleCounts& counts, const std::string& kind) {
            const auto found = counts.find(kind);
            return found == counts.end() ? std::size_t{0} : found->second;
        };
        bool ok = true;
        for (const std::string& kind : kinds) {
            const std::size_t have = count(seen, kind);
            const std::size_t want = count(expected, kind);
            ok = ok && (atMost ? have <= want : have == want);
        }
        Expect(ok, when + ": open handles " + Describe(seen) +
                       (atMost ? ", at most " : ", expected ") + Describe(expected));
    }

    void Scenario() {
        phone_.Plug();
        app_.Start();
        agentThread_ = CreateThread(nullptr, 0, AgentMain, nullptr, 0, nullptr);
        Settle();
        PhoneCall("1");  // answered and ended on the phone, video started
        EndInApplicationIfOpen("1");
        CallAnsweredInApplication("2");
        phone_.Unplug();
        Settle();
        phone_.Plug();
        Settle();
        PhoneCall("3");
        EndInApplicationIfOpen("3");
        simdesk::LockSession();
        Settle();
        app_.IncomingCall("4");
        Settle();
        app_.MissCall("4");
        Settle();
        simdesk::UnlockSession();
        Settle();
    }

    bool WindowAnswers() const {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                                   kWindowAnswerTimeoutMs, &result) != 0;
    }

    // With the fault cleared: the application restarts, the phone is plugged
    // anew, and calls of each kind work as they would have without the fault.
    void Recover() {
        Expect(WindowAnswers(), "the window thread does not answer");
        const bool attaches = expected_ != Recovery::Unattached;
        app_.Stop();
        app_.Start();
        Settle();
        Expect((CallStateCopy().apiWindow == app_.ApiWindow()) == attaches,
               attaches ? "not attached after the application restarted"
                        : "attached without message ids");
        phone_.Unplug();
        Settle();
        report_.phoneUnplugged = Look();
        phone_.Plug();
        Settle();
        NewCommands();

        PhoneCall("11");
        if (expected_ == Recovery::DeviceDeaf) {
            app_.FarEndHangUp("11");
            Settle();
        }
        Strings answered = {"GET CALL 11 TYPE", "SET CALL 11  STATUS INPROGRESS",
                            "ALTER CALL 11  START_VIDEO_SEND", "SET CALL 11  STATUS FINISHED"};
        if (expected_ == Recovery::DeviceDeaf)
            answered.resize(1);
        ExpectCommands(attaches ? answered : Strings{}, "call 11 answered and ended on the phone");
        ExpectLeds(kDark, "call 11 ended");

        app_.IncomingCall("12");
        Settle();
        ExpectLeds(attaches ? kRinging : kDark, "call 12 ringing");
        app_.AnswerCall("12");
        Settle();
        ExpectLeds(attaches ? kAnsweredElsewhere : kDark, "call 12 answered in the application");
        app_.FarEndHangUp("12");
        Settle();
        ExpectLeds(kDark, "call 12 ended");
        ExpectCommands(attaches ? Strings{"GET CALL 12 TYPE"} : Strings{}, "call 12");

        simdesk::LockSession();
        Settle();
        app_.IncomingCall("13");
        Settle();
        ExpectLeds(attaches && expected_ == Recovery::SessionDeaf ? kRinging : kDark,
                   "call 13 ringing while locked");
        app_.MissCall("13");
        Settle();
        simdesk::UnlockSession();
        Settle();
        ExpectLeds(kDark, "call 13 missed");
        ExpectCommands(attaches ? Strings{"GET CALL 13 TYPE"} : Strings{}, "call 13");

        report_.working = Look();
        if (baseline_ != nullptr) {
            const bool noPhone = expected_ == Recovery::DeviceDeaf;
            // Unattached, the agent holds no handle of the application's process.
            ExpectHandles(report_.working.handles,
                          noPhone ? baseline_->phoneUnplugged.handles : baseline_->working.handles,
                          /*atMost=*/expected_ == Recovery::Unattached, "after recovery");
            Expect(report_.working.liveAgentBlocks <= baseline_->working.liveAgentBlocks,
                   "the agent holds " + std::to_string(report_.working.liveAgentBlocks) +
                       " nothrow blocks after recovery, a fault-free run " +
                       std::to_string(baseline_->working.liveAgentBlocks));
        }
    }

    // Closed while a call rings: the phone is left dark.
    void Close() {
        const bool attaches = expected_ != Recovery::Unattached;
        app_.IncomingCall("14");
        Settle();
        ExpectLeds(attaches ? kRinging : kDark, "call 14 ringing");
        Arm(Phase::Close);
        PostMessageW(mainWindow, WM_CLOSE, 0, 0);
        WaitForSingleObject(agentThread_, INFINITE);
        DWORD exitCode = STILL_ACTIVE;
        GetExitCodeThread(agentThread_, &exitCode);
        CloseHandle(agentThread_);
        Settle();
        Disarm(Phase::Close);
        Expect(exitCode == 0, "exit code " + std::to_string(exitCode));
        ExpectLeds(kDark, "agent closed");

        phone_.Unplug();
        app_.Stop();
        Settle();
        report_.ended = Look();
        if (baseline_ != nullptr) {
            ExpectHandles(
                report_.ended.handles, baseline_->ended.handles,
                /*atMost=*/expected_ == Recovery::DeviceDeaf || expected_ == Recovery::Unattached,
                "at the end");
        }
    }

    std::optional<Fault> fault_;
    const RunReport* baseline_;
    Recovery expected_;
    RunReport report_;
    simdesk::DesktopThread thisThread_;
    simdesk::CallApplication app_;
    simdesk::SimulatedPhone phone_;
    HANDLE agentThread_ = nullptr;
    std::size_t seen_ = 0;
};

}  // namespace

const char* PhaseName(Phase phase) {
    return phase == Phase::Scenario ? "scenario" : "close";
}

Recovery ExpectedRecovery(const Fault& fault) {
    if (fault.phase != Phase::Scenario)
        return Recovery::Full;
    switch (fault.call) {
        case Call::RegisterWindowMessageW:
            return Recovery::Unattached;
        case Call::WTSRegisterSessionNotification:
            return Recovery::SessionDeaf;
        case Call::RegisterDeviceNotificationW:
            return Recovery::DeviceDeaf;
        default:
            return Recovery::Full;
    }
}

const char* RecoveryName(Recovery recovery) {
    switch (recovery) {
        case Recovery::Full:
            return "works again";
        case Recovery::Unattached:
            return "never attaches (by design)";
        case Recovery::SessionDeaf:
            return "hears no session change (by design)";
        case Recovery::DeviceDeaf:
            return "hears no device arrival (by design)";
    }
    return "?";
}

RunReport Run(const std::optional<Fault>& fault, const RunReport* baseline) {
    return FaultRun(fault, baseline).Go();
}

}  // namespace fault_sweep
