#include "bridge/carry_out.h"

#include "bridge/call_api.h"
#include "bridge/host_channel.h"

void CarryOut(const Decision& decision, HWND sender) {
    if (decision.writeIndicators)
        WriteQueuedIndicators();
    const char* prefix = call_api::kSetCallPrefix;
    const char* suffix = nullptr;
    switch (decision.command) {
        case HostCommand::None:
            return;
        case HostCommand::GetCallType:
            prefix = call_api::kGetCallPrefix;
            suffix = call_api::kGetCallSuffix;
            break;
        case HostCommand::StartVideo:
            prefix = call_api::kAlterCallPrefix;
            suffix = call_api::kStartVideoSuffix;
            break;
        case HostCommand::Answer:
            suffix = call_api::kStatusInProgressSuffix;
            break;
        case HostCommand::HangUp:
            suffix = call_api::kStatusFinishedSuffix;
            break;
    }
    CommandBuffer command;
    ComposeCommand(command, {prefix, decision.commandId.data(), suffix});
    SendHostCommand(command.data(), sender);
}
