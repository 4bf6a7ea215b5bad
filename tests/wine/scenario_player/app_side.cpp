#include "app_side.h"

#include <iostream>

namespace scenario_player {

namespace {

constexpr standin::Millis kAttachTimeout{10000};
constexpr standin::Millis kAnswerTimeout{10000};

void Warn(const char* what) {
    std::cerr << "scenario_player: " << what << std::endl;
}

}  // namespace

AppSide::AppSide(demo::Timeline& timeline, std::function<void(bool received)> beforeLine)
    : timeline_(timeline), beforeLine_(std::move(beforeLine)) {}

void AppSide::Announced(bool received, std::string_view text) {
    beforeLine_(received);
    if (received)
        timeline_.AppReceived(text);
    else
        timeline_.AppSent(text);
}

void AppSide::Start(HWND agent) {
    standin::Options options;
    options.answer = [this](std::string_view command) -> std::optional<std::string> {
        return calls_.AnswerTo(std::string(command));
    };
    options.observer = [this](bool received, std::string_view text) { Announced(received, text); };
    options.announce = true;
    options.raiseDestroyEvents = true;
    standIn_ = std::make_unique<standin::CallAppStandIn>(std::move(options));
    if (!standIn_->ready()) {
        Warn("the call application's windows could not be made");
        return;
    }
    // The announcement is sent, not posted: a running agent has discovered the
    // application by the time it returns.
    if (agent != nullptr)
        AwaitAttach(agent, /*discoversBefore=*/0);
}

std::size_t AppSide::Discovers() const {
    return Running() ? standIn_->discovers().size() : 0;
}

void AppSide::AwaitAttach(HWND agent, std::size_t discoversBefore) {
    if (!Running())
        return;
    if (!standIn_->waitForDiscovers(discoversBefore + 1, kAttachTimeout)) {
        Warn("the agent never discovered the call application");
        return;
    }
    // The attach message is posted, so the agent takes it in its own time;
    // neutral notifications, which it acts on in no way, show when it has.
    if (!standIn_->waitUntilAccepted(agent, kAttachTimeout))
        Warn("the agent never attached to the call application");
}

void AppSide::Stop() {
    Client();  // remembered across a restart, as the application remembers it
    standIn_.reset();
}

HWND AppSide::Client() {
    if (standIn_ != nullptr) {
        const std::vector<standin::DiscoverSeen> seen = standIn_->discovers();
        if (!seen.empty())
            client_ = seen.back().broadcaster;
    }
    return client_;
}

void AppSide::Notify(const std::string& text) {
    Announced(/*received=*/false, text);
    const HWND client = Client();
    if (client == nullptr || standIn_ == nullptr)
        return;
    // The result does not matter here: a refused notification is the agent's business.
    standIn_->notify(client, text);
    Settle();
}

void AppSide::Settle() {
    if (Running() && !standIn_->waitUntilAnswered(kAnswerTimeout))
        Warn("the call application's answers did not all go out");
}

}  // namespace scenario_player
