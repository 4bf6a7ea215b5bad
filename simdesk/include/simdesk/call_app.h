// The simulated call application: a separate party on the desktop with its own
// thread and hidden API window, speaking the discovery/attach handshake and the
// WM_COPYDATA text API the way the real application does. Tests and the demo
// drive it as a person would and read what it received.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "simdesk/win32.h"

namespace simdesk {

// How the application answers a discovery broadcast.
enum class AttachReply {
    Attach,              // post the attach message with 0 and its API window
    DiscoverAgainFirst,  // post 0x8001 first, attach on the next discovery
    OnRequest,           // hold the answer until AnswerDiscovery() (a slow application)
    Never,               // never answer
};

// When the application sends the notification that answers a command.
enum class ReplyTiming {
    AfterCommand,   // once the command's WM_COPYDATA has returned
    DuringCommand,  // from inside its WM_COPYDATA handler, while the sender still waits
};

struct ReceivedCommand {
    std::string text;    // exact, blanks kept
    int apiWindowIndex;  // 0: the first API window, 1: the one of a second attach
};

class CallApplication {
  public:
    // What the application received (`received` true) or sent, on its own thread.
    using Observer = std::function<void(bool received, const std::string& text)>;

    CallApplication();
    ~CallApplication();
    CallApplication(const CallApplication&) = delete;
    CallApplication& operator=(const CallApplication&) = delete;

    // Starts the application thread and its API window, then announces itself by
    // broadcasting the attach message with 0x8001, as the application does when it
    // starts after its clients. Returns once the announcement is done.
    void Start();
    // Closes the API windows and ends the thread.
    void Stop();
    bool IsRunning() const;

    void SetAttachReply(AttachReply reply);
    void SetReplyTiming(ReplyTiming timing);
    void SetObserver(Observer observer);

    // A hung application: while held, every command blocks its sender inside the
    // application's WM_COPYDATA handler until ReleaseCommands().
    void HoldCommands();
    void ReleaseCommands();

    // A held discovery (AttachReply::OnRequest) is answered now. False if none is held.
    bool AnswerDiscovery();
    // Attaches a second time with a new API window; both directions move to it.
    void AttachAgain();
    // Answers the next `count` discoveries with 0x8001 (discover again) before
    // answering as SetAttachReply says. Discoveries received so far.
    void SetDiscoverAgainReplies(std::size_t count);
    std::size_t DiscoveriesReceived() const;
    // Destroys the current API window, keeping the thread: commands sent to it
    // fail, and the application carries on with a new window it never announced
    // (until AttachAgain).
    void DestroyApiWindow();
    // The client window that discovered the application (null until discovery).
    HWND ClientWindow() const;
    HWND ApiWindow() const;

    // The latest commands received (up to 256, the observer sees every one), in
    // order, and how many there were since the application was made.
    std::vector<ReceivedCommand> Commands() const;
    std::vector<std::string> CommandTexts() const;
    std::size_t CommandCount() const;
    // Forgets the commands kept so far; the count goes on.
    void ClearCommands();

    // Sends any notification text, as is, from the current API window; returns
    // the client's WM_COPYDATA result. Blocks until the client handled it.
    LRESULT Notify(const std::string& text);
    // Sends raw bytes (no terminator is added) with the given cbData.
    LRESULT NotifyBytes(const std::vector<char>& bytes, DWORD byteCount);
    // Sends a notification from a window of the application that never attached.
    LRESULT NotifyFromStranger(const std::string& text);

    // The application's side of a call, as a person sees it. Each call's type is
    // what "GET CALL <id> TYPE" is answered with.
    void IncomingCall(const std::string& id, const std::string& type = "INCOMING_P2P");
    void OutgoingCall(const std::string& id, const std::string& type = "OUTGOING_P2P");
    void AnswerCall(const std::string& id);  // in progress: answered here or by the far end
    void FarEndHangUp(const std::string& id);
    void MissCall(const std::string& id);
    void RefuseCall(const std::string& id);
    void EndCall(const std::string& id, const std::string& status);  // FAILED, BUSY, ...

    // Implementation details shared with the window procedure.
    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace simdesk
