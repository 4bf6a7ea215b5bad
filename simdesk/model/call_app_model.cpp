#include "call_app_model.h"

#include <sstream>
#include <vector>

namespace call_app {

namespace {

std::vector<std::string> Tokens(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> tokens;
    for (std::string token; stream >> token;)
        tokens.push_back(token);
    return tokens;
}

std::string StatusNotification(const std::string& id, const std::string& status) {
    return "CALL " + id + " STATUS " + status;
}

}  // namespace

std::string CallAppModel::IncomingCall(const std::string& id, const std::string& type) {
    {
        std::lock_guard guard(lock_);
        callTypes_[id] = type;
    }
    return StatusNotification(id, "RINGING");
}

std::string CallAppModel::OutgoingCall(const std::string& id, const std::string& type) {
    {
        std::lock_guard guard(lock_);
        callTypes_[id] = type;
    }
    return StatusNotification(id, "ROUTING");
}

std::string CallAppModel::AnswerCall(const std::string& id) {
    return StatusNotification(id, "INPROGRESS");
}

std::string CallAppModel::EndCall(const std::string& id, const std::string& status) {
    {
        std::lock_guard guard(lock_);
        callTypes_.erase(id);
    }
    return StatusNotification(id, status);
}

std::string CallAppModel::AnswerTo(const std::string& command) {
    const std::vector<std::string> t = Tokens(command);
    std::lock_guard guard(lock_);
    const auto known = [&](const std::string& id) { return callTypes_.count(id) != 0; };
    if (t.size() == 4 && t[0] == "GET" && t[1] == "CALL" && t[3] == "TYPE") {
        if (!known(t[2]))
            return "ERROR 11 Invalid call id";
        return "CALL " + t[2] + " TYPE " + callTypes_[t[2]];
    }
    if (t.size() >= 4 && t[0] == "SET" && t[1] == "CALL" && t[t.size() - 2] == "STATUS") {
        if (t.size() != 5 || !known(t[2]))
            return "ERROR 11 Invalid call id";
        if (t[4] == "INPROGRESS")
            return StatusNotification(t[2], "INPROGRESS");
        if (t[4] == "FINISHED") {
            callTypes_.erase(t[2]);
            return StatusNotification(t[2], "FINISHED");
        }
        return "ERROR 12 Invalid status";
    }
    if (t.size() == 4 && t[0] == "ALTER" && t[1] == "CALL" && t[3] == "START_VIDEO_SEND") {
        if (!known(t[2]))
            return "ERROR 11 Invalid call id";
        return command;  // the application echoes an accepted ALTER
    }
    return "ERROR 2 Unknown command";
}

}  // namespace call_app
