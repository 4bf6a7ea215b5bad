// The call application in the Windows world: the stand-in's hidden API windows
// in this process speak the window-message API to the agent, another process,
// and answer its commands as call_app::CallAppModel says (the answers of the
// simulated call application). What it sends and receives goes on the timeline.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "call_app_model.h"
#include "call_app_standin.h"
#include "timeline.h"

namespace scenario_player {

class AppSide {
  public:
    // `beforeLine` runs on the application's window thread before each of its
    // timeline lines, with `received` true for a command.
    AppSide(demo::Timeline& timeline, std::function<void(bool received)> beforeLine);

    bool Running() const { return standIn_ != nullptr; }
    // Starts the application, which announces itself; with `agent` (a running
    // agent's window) it returns once the agent has attached.
    void Start(HWND agent);
    void Stop();
    // Discovery broadcasts the running application has seen.
    std::size_t Discovers() const;
    // Returns once `agent` has discovered the application (after the first
    // `discoversBefore` broadcasts) and attached to it, or the wait ran out.
    void AwaitAttach(HWND agent, std::size_t discoversBefore);

    // Each sends a notification and returns once it, and every answer it led to,
    // has been handled.
    void Notify(const std::string& text);
    // Returns once every answer owed to commands received so far has been handled.
    void Settle();
    call_app::CallAppModel& Calls() { return calls_; }

  private:
    HWND Client();
    void Announced(bool received, std::string_view text);

    demo::Timeline& timeline_;
    std::function<void(bool received)> beforeLine_;
    call_app::CallAppModel calls_;  // outlives a restart, as the application's records do
    std::unique_ptr<standin::CallAppStandIn> standIn_;
    HWND client_ = nullptr;  // the window that discovered the application last
};

}  // namespace scenario_player
