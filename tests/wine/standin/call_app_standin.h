// A stand-in for the desktop call application, for tests of the real agent
// under Wine (or Windows). It owns hidden top-level API windows on a thread of
// its own and speaks the application's side of the window-message API:
// answers the discovery broadcast with the attach message, receives command
// text by WM_COPYDATA and records it exactly, and sends notification text.
// Every wait is bounded; nothing here sleeps for a fixed time.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace standin {

inline constexpr wchar_t kDiscoverMessageName[] = L"SkypeControlAPIDiscover";
inline constexpr wchar_t kAttachMessageName[] = L"SkypeControlAPIAttach";
inline constexpr LPARAM kAttachSuccess = 0;
inline constexpr LPARAM kAttachDiscoverAgain = 0x8001;
// A real notification of the call application that the agent acts on in no way.
inline constexpr std::string_view kNeutralNotification = "CONNSTATUS ONLINE";
// Result recorded for an automatic answer whose send failed or timed out.
inline constexpr LRESULT kSendFailed = -1;

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// Which of the stand-in's two API windows: the second one lets a test attach
// a second time and check that the channel moved.
enum class ApiWindow { kFirst = 0, kSecond = 1 };

struct DiscoverSeen {
    HWND broadcaster;  // wParam of the discovery message
    LPARAM lParam;
};

struct CommandSeen {
    ApiWindow receiver;
    HWND sender;  // wParam of the WM_COPYDATA
    ULONG_PTR dwData;
    DWORD cbData;
    std::string text;  // up to the first NUL within cbData
};

struct Options {
    // Post the attach message (success, first window) to every broadcaster.
    bool answerDiscover = true;
    // Like a real application: answer "GET CALL <id> TYPE" with the
    // notification "CALL <id> TYPE <answerCallType>", sent after the command
    // has returned. Empty: do not answer.
    std::string answerCallType;
    // Any answer: the notification that answers a command, or nullopt. Takes
    // the place of answerCallType when set. Called on the window thread.
    std::function<std::optional<std::string>(std::string_view command)> answer;
    // Answer from within the command's own handling instead, while the agent
    // is still blocked in its send: a nested call back into the agent.
    bool answerInline = false;
    // Sees, on the window thread and in order, each command as it arrives
    // (`received` true) and each answer just before it is sent.
    std::function<void(bool received, std::string_view text)> observer;
    // Announce the application on start, as it does when it starts after its
    // clients: broadcast the attach message with 0x8001 before ready().
    bool announce = false;
    // Raise EVENT_OBJECT_DESTROY for each API window it destroys, as Windows'
    // USER32 does itself and Wine 8's does not (an out-of-context hook still
    // gets an event a program raises with NotifyWinEvent).
    bool raiseDestroyEvents = false;
    // Bound for each notification sent to the agent.
    Millis sendTimeout{5000};
};

class CallAppStandIn {
  public:
    explicit CallAppStandIn(Options options = {});
    ~CallAppStandIn();
    CallAppStandIn(const CallAppStandIn&) = delete;
    CallAppStandIn& operator=(const CallAppStandIn&) = delete;

    // False when the windows or the registered messages could not be made.
    bool ready() const { return ready_; }
    HWND window(ApiWindow which) const { return windows_[static_cast<int>(which)]; }

    std::vector<DiscoverSeen> discovers() const;
    std::vector<CommandSeen> commands() const;
    // The command texts only, in the order received.
    std::vector<std::string> commandTexts() const;
    // Notifications sent automatically (call type answers) with their results.
    std::vector<std::pair<std::string, LRESULT>> autoReplies() const;

    bool waitForDiscovers(std::size_t count, Millis timeout) const;
    bool waitForCommands(std::size_t count, Millis timeout) const;
    bool waitForAutoReplies(std::size_t count, Millis timeout) const;
    // Waits until every answer owed has been sent and its send has returned,
    // answers to commands that earlier answers caused included.
    bool waitUntilAnswered(Millis timeout) const;

    // Posts the attach message to `agent` carrying `from` as the API window.
    bool postAttach(HWND agent, LPARAM code, ApiWindow from = ApiWindow::kFirst) const;
    // Sends one notification text (NUL included) from the window thread, with
    // `from` as wParam, and returns the agent's result; nullopt when the send
    // failed or timed out.
    std::optional<LRESULT> notify(HWND agent, std::string_view text,
                                  ApiWindow from = ApiWindow::kFirst) const;
    // Repeats a neutral notification until the agent accepts it (result 1):
    // a posted attach takes effect only when the agent's loop reaches it.
    bool waitUntilAccepted(HWND agent, Millis timeout, ApiWindow from = ApiWindow::kFirst) const;

  private:
    struct SendRequest;
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void run();
    void onCommand(HWND window, WPARAM wParam, const COPYDATASTRUCT& data);
    ApiWindow which(HWND window) const;
    bool waitUntil(const std::function<bool()>& done, Millis timeout) const;
    std::optional<LRESULT> sendCopyData(HWND agent, std::string_view text, HWND from) const;

    Options options_;
    UINT discoverMessage_ = 0;
    UINT attachMessage_ = 0;
    HWND windows_[2] = {nullptr, nullptr};
    DWORD threadId_ = 0;
    bool ready_ = false;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool started_ = false;
    std::vector<DiscoverSeen> discovers_;
    std::vector<CommandSeen> commands_;
    std::vector<std::pair<std::string, LRESULT>> autoReplies_;
    std::size_t answersOwed_ = 0;  // queued and not yet sent
    // Window thread only: answers waiting for the command that asked to return.
    std::vector<std::pair<HWND, std::string>> pendingReplies_;
    std::thread thread_;
};

// "CALL <id> TYPE <type>" for a command "GET CALL <id> TYPE" (the id keeps
// whatever blanks the command carries); nullopt for any other command.
std::optional<std::string> CallTypeAnswer(std::string_view command, std::string_view type);

}  // namespace standin
