// The real agent executable under Wine with the virtual phone and the stand-in call
// application: every HID.DLL and SetupAPI call the agent makes is answered by Wine. Checks
// read the commands the application received and the LEDs from the reports the phone got.
#include "agent_fixture.h"
#include "phone_fixture.h"

#include "bridge/button_reader.h"
#include "vphone/phone_layout.h"

namespace vphone::test {
namespace {

using Commands = std::vector<std::string>;
using wine_tests::kEventTimeout;
using wine_tests::kStartTimeout;

constexpr int kArrivalTries = 5;
constexpr auto kArrivalTimeout = std::chrono::milliseconds(2000);

constexpr LedState kAllOut{};
constexpr LedState kRing{.offHook = false, .ring = true, .mute = false};
constexpr LedState kOffHook{.offHook = true, .ring = false, .mute = false};

std::string Describe(const std::optional<LedState>& leds) {
    if (!leds)
        return "no LED report";
    return std::string("off-hook ") + (leds->offHook ? "on" : "off") + ", ring " +
           (leds->ring ? "on" : "off") + ", mute " + (leds->mute ? "on" : "off");
}

class AgentWithPhone : public wine_tests::AgentTest {
  protected:
    void SetUp() override {
        wine_tests::AgentTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(LoadDriver(control_));
    }

    void TearDown() override {
        wine_tests::AgentTest::TearDown();  // ends the agent first
        if (control_) {
            EXPECT_TRUE(UnplugPhone(*control_));
        }
    }

    // The phone plugged in before the agent starts: found by enumeration.
    HWND StartAgentWithPhone() {
        if (!ReplugPhone(*control_)) {
            ADD_FAILURE() << "the phone could not be plugged in";
            return nullptr;
        }
        HWND agent = StartAttachedAgent();
        if (agent && !control_->WaitReader(kStartTimeout)) {
            ADD_FAILURE() << "the agent never opened the phone for reading";
            return nullptr;
        }
        return agent;
    }

    // Plugs the phone into a running agent until the agent opens it for reading: Wine hooks a
    // window's device notifications up only some time after it registered, so a phone plugged
    // right after start-up can go unannounced; it is then plugged again.
    ::testing::AssertionResult PlugIntoRunningAgent() {
        for (int attempt = 0; attempt < kArrivalTries; ++attempt) {
            if (auto plugged = ReplugPhone(*control_); !plugged)
                return plugged;
            if (control_->WaitReader(kArrivalTimeout))
                return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "the agent did not open the phone after " << kArrivalTries << " arrivals";
    }

    // Operates the phone and returns the command that the agent's reader sent for it.
    std::string Press(std::uint8_t bit, bool pressed) {
        const std::size_t before = standIn().commands().size();
        EXPECT_EQ(control_->SetInputBit(bit, pressed), static_cast<DWORD>(ERROR_SUCCESS));
        if (!standIn().waitForCommands(before + 1, kEventTimeout))
            return "<no command>";
        return standIn().commandTexts()[before];
    }

    std::optional<LedState> Leds() const {
        VPHONE_STATUS status{};
        if (control_->Query(status) != ERROR_SUCCESS)
            return std::nullopt;
        return LatestLeds(status);
    }

    // Names the step in failure messages.
    void ExpectLeds(const LedState& expected, const char* when) const {
        const auto leds = Leds();
        EXPECT_EQ(leds, std::optional<LedState>(expected))
            << when << ": the phone shows " << Describe(leds) << ", expected "
            << Describe(expected);
    }

    std::optional<ControlChannel> control_;
};

TEST_F(AgentWithPhone, IncomingCallAnsweredAndEndedWithTheHandset) {
    HWND agent = StartAgentWithPhone();
    ASSERT_NE(agent, nullptr);

    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS RINGING"), Commands{"GET CALL 1234 TYPE"});
    EXPECT_EQ(Notify(agent, "CALL 1234 TYPE INCOMING_P2P"), Commands{});
    ExpectLeds(kRing, "ringing");

    EXPECT_EQ(Press(VPHONE_INPUT_BIT_HOOK, /*pressed=*/true), "SET CALL 1234  STATUS INPROGRESS");
    ExpectLeds(kAllOut, "answered on the phone");
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS INPROGRESS"),
              Commands{"ALTER CALL 1234  START_VIDEO_SEND"});

    EXPECT_EQ(Press(VPHONE_INPUT_BIT_HOOK, /*pressed=*/false), "SET CALL 1234  STATUS FINISHED");
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS FINISHED"), Commands{});
    ExpectLeds(kAllOut, "finished");

    EXPECT_EQ(standIn().commandTexts(),
              (Commands{"GET CALL 1234 TYPE", "SET CALL 1234  STATUS INPROGRESS",
                        "ALTER CALL 1234  START_VIDEO_SEND", "SET CALL 1234  STATUS FINISHED"}));
}

TEST_F(AgentWithPhone, IncomingCallAnsweredInTheApplicationLightsOffHook) {
    HWND agent = StartAgentWithPhone();
    ASSERT_NE(agent, nullptr);

    EXPECT_EQ(Notify(agent, "CALL 77 STATUS RINGING"), Commands{"GET CALL 77 TYPE"});
    EXPECT_EQ(Notify(agent, "CALL 77 TYPE INCOMING_P2P"), Commands{});
    ExpectLeds(kRing, "ringing");
    EXPECT_EQ(Notify(agent, "CALL 77 STATUS INPROGRESS"), Commands{});
    ExpectLeds(kOffHook, "answered in the application");
    EXPECT_EQ(Notify(agent, "CALL 77 STATUS FINISHED"), Commands{});
    ExpectLeds(kAllOut, "finished in the application");
}

TEST_F(AgentWithPhone, OutgoingCallEndedWithButton7) {
    HWND agent = StartAgentWithPhone();
    ASSERT_NE(agent, nullptr);

    EXPECT_EQ(Notify(agent, "CALL 55 STATUS ROUTING"), Commands{"GET CALL 55 TYPE"});
    EXPECT_EQ(Notify(agent, "CALL 55 TYPE OUTGOING_P2P"), Commands{});
    ExpectLeds(kRing, "outgoing call being set up");
    // The handset is lifted to talk; that answers nothing during an outgoing call.
    ASSERT_EQ(control_->SetInputBit(VPHONE_INPUT_BIT_HOOK, /*pressed=*/true),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Notify(agent, "CALL 55 STATUS INPROGRESS"), Commands{});

    EXPECT_EQ(Press(VPHONE_INPUT_BIT_BUTTON7, /*pressed=*/true), "SET CALL 55  STATUS FINISHED");
    EXPECT_EQ(Notify(agent, "CALL 55 STATUS FINISHED"), Commands{});
    EXPECT_EQ(standIn().commandTexts(),
              (Commands{"GET CALL 55 TYPE", "SET CALL 55  STATUS FINISHED"}))
        << "the lift sent nothing and button 7 hung up once";
}

TEST_F(AgentWithPhone, PhonePluggedInWhileRunningIsFoundByItsArrival) {
    ASSERT_TRUE(UnplugPhone(*control_));
    HWND agent = StartAttachedAgent();
    ASSERT_NE(agent, nullptr);
    ASSERT_TRUE(PlugIntoRunningAgent());

    EXPECT_EQ(Notify(agent, "CALL 8 STATUS RINGING"), Commands{"GET CALL 8 TYPE"});
    EXPECT_EQ(Notify(agent, "CALL 8 TYPE INCOMING_P2P"), Commands{});
    ExpectLeds(kRing, "ringing");
    EXPECT_EQ(Press(VPHONE_INPUT_BIT_HOOK, /*pressed=*/true), "SET CALL 8  STATUS INPROGRESS");
}

TEST_F(AgentWithPhone, PhoneRemovedDuringACallWorksAgainWhenPluggedBack) {
    HWND agent = StartAgentWithPhone();
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS RINGING"), Commands{"GET CALL 1234 TYPE"});
    EXPECT_EQ(Notify(agent, "CALL 1234 TYPE INCOMING_P2P"), Commands{});
    EXPECT_EQ(Press(VPHONE_INPUT_BIT_HOOK, /*pressed=*/true), "SET CALL 1234  STATUS INPROGRESS");
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS INPROGRESS"),
              Commands{"ALTER CALL 1234  START_VIDEO_SEND"});

    ASSERT_TRUE(UnplugPhone(*control_));
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS FINISHED"), Commands{})
        << "the call ends in the application while the phone is away";

    ASSERT_TRUE(PlugIntoRunningAgent());
    EXPECT_EQ(Notify(agent, "CALL 5678 STATUS RINGING"), Commands{"GET CALL 5678 TYPE"});
    EXPECT_EQ(Notify(agent, "CALL 5678 TYPE INCOMING_P2P"), Commands{});
    ExpectLeds(kRing, "ringing on the phone plugged back");
    EXPECT_EQ(Press(VPHONE_INPUT_BIT_HOOK, /*pressed=*/true), "SET CALL 5678  STATUS INPROGRESS");
    EXPECT_EQ(Notify(agent, "CALL 5678 STATUS INPROGRESS"),
              Commands{"ALTER CALL 5678  START_VIDEO_SEND"});
    EXPECT_EQ(Press(VPHONE_INPUT_BIT_HOOK, /*pressed=*/false), "SET CALL 5678  STATUS FINISHED");
}

// Another program that found the agent's window posts the reader's private "I have ended"
// number: the agent keeps its phone. A discovery request posted after those posts shows when
// the agent has handled them all.
TEST_F(AgentWithPhone, AForeignReaderEndedMessageKeepsThePhone) {
    HWND agent = StartAgentWithPhone();
    ASSERT_NE(agent, nullptr);
    for (const WPARAM guess : {WPARAM{0}, WPARAM{1}, WPARAM{2}, ~WPARAM{0}})
        ASSERT_TRUE(PostMessageW(agent, kReaderEndedMessage, guess, 0));
    const std::size_t discovers = standIn().discovers().size();
    ASSERT_TRUE(standIn().postAttach(agent, standin::kAttachDiscoverAgain));
    ASSERT_TRUE(standIn().waitForDiscovers(discovers + 1, kEventTimeout));

    EXPECT_EQ(Notify(agent, "CALL 31 STATUS RINGING"), Commands{"GET CALL 31 TYPE"});
    EXPECT_EQ(Notify(agent, "CALL 31 TYPE INCOMING_P2P"), Commands{});
    EXPECT_EQ(Press(VPHONE_INPUT_BIT_HOOK, /*pressed=*/true), "SET CALL 31  STATUS INPROGRESS");
}

// Every end state writes Ring off while Ring is lit, then Off-Hook off: two reports, counted
// by the phone, not only what is lit at the end.
TEST_F(AgentWithPhone, AMissedCallPutsRingOutThenOffHook) {
    HWND agent = StartAgentWithPhone();
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(Notify(agent, "CALL 41 STATUS RINGING"), Commands{"GET CALL 41 TYPE"});
    EXPECT_EQ(Notify(agent, "CALL 41 TYPE INCOMING_P2P"), Commands{});
    ExpectLeds(kRing, "ringing");
    VPHONE_STATUS before{};
    ASSERT_EQ(control_->Query(before), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(Notify(agent, "CALL 41 STATUS MISSED"), Commands{});
    VPHONE_STATUS after{};
    ASSERT_EQ(control_->Query(after), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(after.outputsReceived, before.outputsReceived + 2);
    ExpectLeds(kAllOut, "missed");
}

// Closed while a call rings (an upgrade, a log-off): the agent puts Ring out on its way.
TEST_F(AgentWithPhone, ClosedWhileRingingLeavesThePhoneDark) {
    HWND agent = StartAgentWithPhone();
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(Notify(agent, "CALL 51 STATUS RINGING"), Commands{"GET CALL 51 TYPE"});
    EXPECT_EQ(Notify(agent, "CALL 51 TYPE INCOMING_P2P"), Commands{});
    ExpectLeds(kRing, "ringing");

    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, standin::WindowProcessId(agent));
    ASSERT_NE(process, nullptr);
    ASSERT_TRUE(PostMessageW(agent, WM_CLOSE, 0, 0));
    EXPECT_EQ(WaitForSingleObject(process, static_cast<DWORD>(kEventTimeout.count())),
              WAIT_OBJECT_0);
    CloseHandle(process);
    ExpectLeds(kAllOut, "closed");
}

// The call application as a process of its own (callapp_standin.exe), which the
// test ends as a crash would: its windows never destroyed by itself. Wine raises
// no window event for them, so only the agent's wait on the process can notice.
class ApplicationProcess : public AgentWithPhone {
  protected:
    // The test's own stand-in stays out of the attach.
    standin::Options StandInOptions() const override {
        standin::Options options;
        options.answerDiscover = false;
        return options;
    }

    void TearDown() override {
        if (application_.hProcess != nullptr) {
            TerminateProcess(application_.hProcess, standin::kKilledExitCode);
            CloseHandle(application_.hThread);
            CloseHandle(application_.hProcess);
        }
        AgentWithPhone::TearDown();
    }

    // Attaches the agent to it and rings call 9, then leaves it waiting.
    bool StartRingingApplication() {
        std::wstring commandLine =
            L"\"" + standin::WindowsPath(CALLAPP_STANDIN_PATH) +
            L"\" --find-agent --discover-again --wait-discover 5000 --wait-attached 5000"
            L" --notify \"CALL 9 STATUS RINGING\" --expect-command \"GET CALL 9 TYPE\" 5000"
            L" --notify \"CALL 9 TYPE INCOMING_P2P\" --wait-discover 60000";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &application_) != 0;
    }

    bool WaitLeds(const LedState& expected) const {
        return control_->WaitUntil(
            [&](const VPHONE_STATUS& status) { return LatestLeds(status) == expected; },
            kEventTimeout);
    }

    PROCESS_INFORMATION application_{};
};

TEST_F(ApplicationProcess, ItsCrashWhileACallRingsPutsRingOut) {
    ASSERT_TRUE(ReplugPhone(*control_));
    ASSERT_NE(StartAgent(), nullptr);
    ASSERT_TRUE(control_->WaitReader(kStartTimeout));
    ASSERT_TRUE(StartRingingApplication());
    ASSERT_TRUE(WaitLeds(kRing)) << "call 9 never lit Ring: " << Describe(Leds());
    ASSERT_TRUE(TerminateProcess(application_.hProcess, standin::kKilledExitCode));
    EXPECT_TRUE(WaitLeds(kAllOut)) << "after the crash the phone shows " << Describe(Leds());
}

}  // namespace
}  // namespace vphone::test
