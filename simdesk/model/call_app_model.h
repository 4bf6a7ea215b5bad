// The call application as a person and its clients see it: the notification
// each of the person's actions sends, the calls it knows, and the answer it
// gives to a client's command. Plain C++ with no desktop behind it, so that the
// simulated call application and the Windows scenario player (which cannot link
// the simulated desktop) answer alike. Safe to use from several threads.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace call_app {

inline constexpr const char* kIncomingType = "INCOMING_P2P";
inline constexpr const char* kOutgoingType = "OUTGOING_P2P";

class CallAppModel {
  public:
    // Each returns the notification to send. A call is known from the moment it
    // rings or is placed until it ends; its type answers "GET CALL <id> TYPE".
    std::string IncomingCall(const std::string& id, const std::string& type = kIncomingType);
    std::string OutgoingCall(const std::string& id, const std::string& type = kOutgoingType);
    // In progress: answered in the application, or by the far end.
    std::string AnswerCall(const std::string& id);
    std::string EndCall(const std::string& id, const std::string& status);  // FINISHED, MISSED...

    // What the application answers to a command, as a notification; never empty.
    std::string AnswerTo(const std::string& command);

  private:
    std::mutex lock_;
    std::map<std::string, std::string> callTypes_;  // id -> type
};

}  // namespace call_app
