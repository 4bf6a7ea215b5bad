// Sent and posted messages across threads: Windows' rule that a receiver
// handles a sent message only while it pumps, broadcasts with time-outs,
// WM_COPYDATA copies, and idle detection over message traffic.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "simdesk/jitter.h"
#include "test_windows.h"

namespace {

using simtest::CreateRecordingWindow;
using simtest::Peer;
using simtest::Recorder;

constexpr UINT kPing = WM_USER + 1;
constexpr UINT kPong = WM_USER + 2;
constexpr UINT kStart = WM_USER + 3;
constexpr LRESULT kPingAnswer = 1234;

TEST(SendMessage, CrossThreadRunsOnTheOwnerAndReturnsItsResult) {
    Recorder::Get().SetReaction([](HWND, UINT message, WPARAM, LPARAM, bool& handled) {
        handled = message == kPing;
        return kPingAnswer;
    });
    Peer peer(Peer::Mode::kPumping);
    EXPECT_EQ(SendMessageW(peer.window(), kPing, 0, 0), kPingAnswer);
    auto received = Recorder::Get().Of(peer.window());
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back().message, kPing);
    EXPECT_EQ(received.back().thread, peer.threadId()) << "handled on the owner's thread";
    peer.Stop();
    Recorder::Get().SetReaction(nullptr);
}

// The peer answers a ping by sending a pong back to the pinging window while the
// pinger is still blocked in its own SendMessageW: the pinger must handle it.
TEST(SendMessage, OwnerHandlesIncomingSendsWhileBlockedInItsOwnSend) {
    Recorder::Get().SetReaction([](HWND, UINT message, WPARAM wParam, LPARAM, bool& handled) {
        if (message == kPing) {
            handled = true;
            return SendMessageW(reinterpret_cast<HWND>(wParam), kPong, 0, 0) + 1;
        }
        if (message == kPong) {
            handled = true;
            return LRESULT{41};
        }
        return LRESULT{0};
    });
    HWND self = CreateRecordingWindow();
    Peer peer(Peer::Mode::kPumping);
    EXPECT_EQ(SendMessageW(peer.window(), kPing, reinterpret_cast<WPARAM>(self), 0), 42);
    auto mine = Recorder::Get().Of(self);
    ASSERT_EQ(mine.back().message, kPong);
    EXPECT_EQ(mine.back().thread, GetCurrentThreadId());
    peer.Stop();
    DestroyWindow(self);
    Recorder::Get().SetReaction(nullptr);
}

// A send that times out before the receiver took it is cancelled; one the
// receiver is already handling runs to its end, its result unread.
TEST(SendMessageTimeout, ATimedOutSendIsCancelledUnlessAlreadyBeingHandled) {
    static HANDLE handling = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    static HANDLE finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Recorder::Get().SetReaction([](HWND, UINT message, WPARAM, LPARAM, bool& handled) {
        handled = message == kPong;
        if (handled) {
            SetEvent(handling);
            WaitForSingleObject(finish, INFINITE);
        }
        return LRESULT{kPingAnswer};
    });
    Peer held(Peer::Mode::kHeld);
    Peer busy(Peer::Mode::kPumping);
    for (Peer* peer : {&held, &busy}) {
        SCOPED_TRACE(peer == &held ? "not retrieved" : "being handled");
        const UINT message = peer == &held ? kPing : kPong;
        DWORD_PTR result = 77;
        auto start = std::chrono::steady_clock::now();
        SetLastError(0);
        EXPECT_EQ(SendMessageTimeoutW(peer->window(), message, 0, 0, SMTO_NORMAL,
                                      /*uTimeout=*/50, &result),
                  0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
        EXPECT_EQ(result, 0u);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    }
    EXPECT_EQ(WaitForSingleObject(handling, 0), WAIT_OBJECT_0);
    SetEvent(finish);
    held.Release();
    held.Stop();
    busy.Stop();
    EXPECT_EQ(Recorder::Get().Count(held.window(), kPing), 0) << "cancelled: never handled";
    EXPECT_EQ(Recorder::Get().Count(busy.window(), kPong), 1) << "handled to its end";
    Recorder::Get().SetReaction(nullptr);
}

// A broadcast tells nothing about single windows: it succeeds even when one
// timed out, which leaves ERROR_TIMEOUT as the last error.
TEST(SendMessageTimeout, BroadcastReachesTopLevelWindowsAndSucceedsDespiteATimeout) {
    HWND own = CreateRecordingWindow();
    HWND child = CreateRecordingWindow(own, WS_CHILD);
    HWND messageOnly = CreateRecordingWindow(HWND_MESSAGE, 0);
    Peer pumping(Peer::Mode::kPumping);
    Peer held(Peer::Mode::kHeld);
    UINT discover = RegisterWindowMessageW(L"SkypeControlAPIDiscover");

    DWORD_PTR result = 0;
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(HWND_BROADCAST, discover, reinterpret_cast<WPARAM>(own), 0,
                                  SMTO_ABORTIFHUNG, /*uTimeout=*/100, &result),
              1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(Recorder::Get().Count(own, discover), 1) << "the sender's own window";
    EXPECT_EQ(Recorder::Get().Count(pumping.window(), discover), 1);
    EXPECT_EQ(Recorder::Get().Count(child, discover), 0) << "children are not top-level";
    EXPECT_EQ(Recorder::Get().Count(messageOnly, discover), 0);

    held.Release();
    held.Stop();
    pumping.Stop();
    EXPECT_EQ(Recorder::Get().Count(held.window(), discover), 0) << "cancelled, not late";
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(HWND_BROADCAST, discover, 0, 0, SMTO_ABORTIFHUNG, 100, &result),
              1);
    EXPECT_EQ(GetLastError(), 0u) << "all remaining windows answer";
    DestroyWindow(messageOnly);
    DestroyWindow(own);
}

// Only system messages and registered ones are broadcast; private numbers reach
// no window, however they are broadcast. A direct post of one still arrives.
TEST(Broadcast, DeliversOnlySystemAndRegisteredMessages) {
    const UINT registered = RegisterWindowMessageW(L"SkypeControlAPIAttach");
    struct Case {
        UINT message;
        int expected;  // deliveries to one top-level window
    };
    const Case cases[] = {
        {WM_NULL, 1}, {WM_USER - 1, 1}, {WM_USER, 0},    {WM_APP + 1, 0},
        {0xBFFF, 0},  {0xC000, 1},      {registered, 1},
    };
    Peer peer(Peer::Mode::kPumping);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << c.message);
        Recorder::Get().Clear();
        EXPECT_TRUE(PostMessageW(HWND_BROADCAST, c.message, 0, 0));
        DWORD_PTR result = 0;
        EXPECT_NE(
            SendMessageTimeoutW(HWND_BROADCAST, c.message, 0, 0, SMTO_ABORTIFHUNG, 100, &result),
            0);
        SendMessageW(HWND_BROADCAST, c.message, 0, 0);
        simdesk::WaitUntilIdle();
        EXPECT_EQ(Recorder::Get().Count(peer.window(), c.message), 3 * c.expected);
    }
    Recorder::Get().Clear();
    ASSERT_TRUE(PostMessageW(peer.window(), WM_APP + 1, 0, 0));
    simdesk::WaitUntilIdle();
    EXPECT_EQ(Recorder::Get().Count(peer.window(), WM_APP + 1), 1);
    peer.Stop();
}

struct CopySeen {
    COPYDATASTRUCT* copy = nullptr;
    void* data = nullptr;
    ULONG_PTR dwData = 0;
    DWORD cbData = 0;
    std::string text;
};
CopySeen seen;

TEST(CopyData, AnotherThreadGetsACopyItsOwnThreadTheSendersPointer) {
    Recorder::Get().SetReaction([](HWND, UINT message, WPARAM, LPARAM lParam, bool& handled) {
        if (message != WM_COPYDATA)
            return LRESULT{0};
        handled = true;
        auto* copy = reinterpret_cast<COPYDATASTRUCT*>(lParam);
        seen = CopySeen{copy, copy->lpData, copy->dwData, copy->cbData,
                        std::string(static_cast<const char*>(copy->lpData))};
        std::memset(copy->lpData, 'X', copy->cbData - 1);  // must not reach the sender
        return LRESULT{1};
    });
    Peer peer(Peer::Mode::kPumping);
    HWND self = CreateRecordingWindow();
    char text[] = "CALL 1234 STATUS RINGING";
    COPYDATASTRUCT data{/*dwData=*/7, sizeof text, text};

    EXPECT_EQ(SendMessageW(peer.window(), WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                           reinterpret_cast<LPARAM>(&data)),
              1);
    EXPECT_NE(seen.copy, &data);
    EXPECT_NE(seen.data, static_cast<void*>(text));
    EXPECT_EQ(seen.dwData, 7u);
    EXPECT_EQ(seen.cbData, sizeof text);
    EXPECT_EQ(seen.text, "CALL 1234 STATUS RINGING");
    EXPECT_STREQ(text, "CALL 1234 STATUS RINGING") << "the sender's bytes are untouched";

    // On the window's own thread the procedure is simply called.
    EXPECT_EQ(SendMessageW(self, WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                           reinterpret_cast<LPARAM>(&data)),
              1);
    EXPECT_EQ(seen.copy, &data);
    EXPECT_EQ(seen.data, static_cast<void*>(text));
    SetLastError(0);
    EXPECT_FALSE(PostMessageW(peer.window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY));
    peer.Stop();
    DestroyWindow(self);
    Recorder::Get().SetReaction(nullptr);
}

// A posts to B on kStart; B answers with a SendMessageW back to A. After
// WaitUntilIdle the whole exchange has happened, with no sleeps; with every
// hand-off delayed as well, since a delayed thread is busy, not idle.
class IdleAfterMessages : public testing::TestWithParam<bool> {};

TEST_P(IdleAfterMessages, CoversPostedAndSentMessagesBetweenPumpingThreads) {
    const bool jitter = GetParam();
    static HWND windowB = nullptr;
    Recorder::Get().SetReaction([](HWND hwnd, UINT message, WPARAM wParam, LPARAM, bool& handled) {
        if (message == kStart) {
            PostMessageW(windowB, kPing, reinterpret_cast<WPARAM>(hwnd), 0);
        } else if (message == kPing) {
            SendMessageW(reinterpret_cast<HWND>(wParam), kPong, 0, 0);
        }
        handled = false;
        return LRESULT{0};
    });
    simdesk::DesktopThread self;
    Peer a(Peer::Mode::kPumping);
    Peer b(Peer::Mode::kPumping);
    windowB = b.window();
    simdesk::WaitUntilIdle();
    const simdesk::JitterCounts before = simdesk::JitterTotals();
    if (jitter) {
        simdesk::EnableJitter({/*seed=*/7, /*maxDelayMicroseconds=*/3000, /*undelayedPercent=*/0});
    }
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        PostMessageW(a.window(), kStart, 0, 0);
        simdesk::WaitUntilIdle();
        EXPECT_EQ(Recorder::Get().Count(b.window(), kPing), round);
        EXPECT_EQ(Recorder::Get().Count(a.window(), kPong), round);
    }
    simdesk::DisableJitter();
    const simdesk::JitterCounts after = simdesk::JitterTotals();
    // Each round: A and B each get a post, A a send, and B wakes from it.
    const std::pair<simdesk::HandOff, std::uint64_t> perRound[] = {
        {simdesk::HandOff::PostedMessage, 2},
        {simdesk::HandOff::SentMessage, 1},
        {simdesk::HandOff::SenderWakeUp, 1},
    };
    for (const auto& [handOff, count] : perRound) {
        const auto site = static_cast<std::size_t>(handOff);
        EXPECT_EQ(after.delayed[site] - before.delayed[site], jitter ? 3 * count : 0)
            << simdesk::HandOffName(handOff);
    }
    a.Stop();
    b.Stop();
    Recorder::Get().SetReaction(nullptr);
}

INSTANTIATE_TEST_SUITE_P(WaitUntilIdle, IdleAfterMessages, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& param) {
                             return param.param ? "EveryHandOffDelayed" : "NoDelays";
                         });

TEST(ThreadEnd, TakesItsWindowsWithIt) {
    HWND window = nullptr;
    {
        Peer peer(Peer::Mode::kPumping);
        window = peer.window();
        EXPECT_TRUE(IsWindow(window));
    }
    EXPECT_FALSE(IsWindow(window));
}

struct Abandoned {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
    LRESULT sendResult = -1;
};

// The owner never pumps and then ends: its windows go, and a sender blocked on
// one of them is released with 0 instead of waiting forever.
TEST(ThreadEnd, ReleasesSendersWaitingOnItsWindows) {
    simdesk::DesktopThread self;
    Abandoned state;
    HANDLE owner = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Abandoned*>(p);
            s->window = CreateRecordingWindow();
            SetEvent(s->ready);
            WaitForSingleObject(s->release, INFINITE);
            return 0;
        },
        &state, 0, nullptr);
    WaitForSingleObject(state.ready, INFINITE);
    HANDLE sender = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Abandoned*>(p);
            s->sendResult = SendMessageW(s->window, kPing, 0, 0);
            return 0;
        },
        &state, 0, nullptr);
    simdesk::WaitUntilIdle();
    EXPECT_EQ(WaitForSingleObject(sender, 0), WAIT_TIMEOUT) << "blocked in its send";
    SetEvent(state.release);
    EXPECT_EQ(WaitForSingleObject(sender, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(state.sendResult, 0);
    EXPECT_EQ(Recorder::Get().Count(state.window, kPing), 0);
    EXPECT_FALSE(IsWindow(state.window));
    for (HANDLE h : {owner, sender, state.release, state.ready})
        CloseHandle(h);
}

}  // namespace
