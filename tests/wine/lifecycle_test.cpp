// Start-up and shut-down of the real agent as Windows processes see them.
#include <thread>

#include "agent_fixture.h"

namespace wine_tests {
namespace {

constexpr WPARAM kExitMenuCommand = 105;

class Lifecycle : public AgentTest {};

TEST_F(Lifecycle, ASecondCopyExitsWithZeroBeforeBroadcastingAndLeavesTheFirstAlone) {
    HWND first = StartAttachedAgent();
    ASSERT_NE(first, nullptr);
    standin::ChildProcess& second = StartAgentProcess();
    ASSERT_TRUE(second.started());
    // A broadcast is synchronous: had the second copy sent one, the stand-in
    // would have recorded it before that copy could exit.
    EXPECT_EQ(second.waitForExit(kStartTimeout), 0u);
    EXPECT_EQ(standIn().discovers().size(), 1u) << "the second copy broadcast discovery";

    EXPECT_EQ(FindWindowW(standin::kAgentWindowClass, nullptr), first);
    EXPECT_EQ(Notify(first, "CALL 1234 STATUS RINGING"),
              std::vector<std::string>{"GET CALL 1234 TYPE"})
        << "the first copy must still be attached";
}

struct CloseRequest {
    const char* name;
    UINT message;
    WPARAM wParam;
};

TEST_F(Lifecycle, ClosingTheMainWindowEndsTheProcessWithZero) {
    const CloseRequest requests[] = {
        {"WM_CLOSE", WM_CLOSE, 0},
        {"menu command Exit", WM_COMMAND, kExitMenuCommand},
    };
    for (const CloseRequest& request : requests) {
        SCOPED_TRACE(request.name);
        HWND agent = StartAttachedAgent();
        ASSERT_NE(agent, nullptr);
        HWND found = FindWindowW(standin::kAgentWindowClass, nullptr);
        ASSERT_EQ(found, agent) << "the agent's window is found by its class name";
        DWORD process = standin::WindowProcessId(found);

        ASSERT_TRUE(PostMessageW(found, request.message, request.wParam, 0));
        HANDLE handle =
            OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
        ASSERT_NE(handle, nullptr);
        DWORD code = standin::kKilledExitCode;
        bool ended = WaitForSingleObject(handle, static_cast<DWORD>(kEventTimeout.count())) ==
                         WAIT_OBJECT_0 &&
                     GetExitCodeProcess(handle, &code) != 0;
        CloseHandle(handle);
        EXPECT_TRUE(ended) << "the agent did not exit";
        EXPECT_EQ(code, 0u);
        EXPECT_FALSE(IsWindow(agent));
    }
}

// A top-level window whose thread stops pumping, as a hung program's would.
class HungWindow {
  public:
    HungWindow() {
        thread_ = std::thread([this] {
            window_ = CreateWindowExW(0, L"STATIC", L"hung", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
            SetEvent(created_);
            WaitForSingleObject(release_, INFINITE);
            DestroyWindow(window_);
        });
        WaitForSingleObject(created_, INFINITE);
    }
    ~HungWindow() {
        SetEvent(release_);
        thread_.join();
        CloseHandle(created_);
        CloseHandle(release_);
    }
    HungWindow(const HungWindow&) = delete;
    HungWindow& operator=(const HungWindow&) = delete;
    HWND window() const { return window_; }

  private:
    HANDLE created_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND window_ = nullptr;
    std::thread thread_;
};

TEST_F(Lifecycle, AWindowThatStopsPumpingDelaysStartUpButDoesNotStopIt) {
    HungWindow hung;
    ASSERT_NE(hung.window(), nullptr);
    const auto start = standin::Clock::now();
    HWND agent = StartAttachedAgent();
    ASSERT_NE(agent, nullptr) << "start-up must get past a hung window";
    const auto took = std::chrono::duration_cast<Millis>(standin::Clock::now() - start);
    RecordProperty("start_up_ms", static_cast<int>(took.count()));
    EXPECT_EQ(Notify(agent, "CALL 1234 STATUS RINGING"),
              std::vector<std::string>{"GET CALL 1234 TYPE"});
}

}  // namespace
}  // namespace wine_tests
