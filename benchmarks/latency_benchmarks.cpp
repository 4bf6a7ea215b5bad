// Press → command: from the phone's input report to the call application
// receiving the command. Notification → LED: from the call application sending
// a notification to the phone receiving the LED report it causes. Both ends
// are stamped with one monotonic clock: the press by the benchmark thread just
// before the report goes out, the rest by the observers of the simulated call
// application and phone, on the threads where they happen. Everything between
// two events (setting up a call, hanging it up) is outside the measured time.
#include "latency_benchmarks.h"

#include <benchmark/benchmark.h>

#include <string>

#include "latency_samples.h"
#include "live_agent.h"

namespace {

using Clock = Arrival::Clock;
using simdesk::SimulatedPhone;

constexpr int kHangUpButton = 7;

// Ids unique within the process, whichever benchmark runs when.
std::string NextCallId() {
    static int next = 1000;
    return std::to_string(++next);
}

// The phone's commands: the id keeps the blank that followed it in the notification.
std::string PhoneCommand(const std::string& id, const char* status) {
    return "SET CALL " + id + "  STATUS " + status;
}

struct PressCase {
    // Brings the call to where the press acts on it.
    void (*before)(LiveAgent&, const std::string& id);
    void (*press)(SimulatedPhone&);
    const char* status;  // of the command the press gives
    // Ends the call, leaving the phone's hook down.
    void (*after)(LiveAgent&);
};

void Settle() {
    simdesk::WaitUntilIdle();
}

void Ring(LiveAgent& agent, const std::string& id) {
    agent.app().IncomingCall(id);
}

void RingAndLift(LiveAgent& agent, const std::string& id) {
    agent.app().IncomingCall(id);
    Settle();
    agent.phone().LiftHandset();
}

void PutDown(LiveAgent& agent) {
    agent.phone().ReplaceHandset();
}

void ReleaseHangUpAndPutDown(LiveAgent& agent) {
    agent.phone().ReleaseButton(kHangUpButton);
    Settle();
    agent.phone().ReplaceHandset();
}

void Nothing(LiveAgent&) {}

const PressCase kLiftAnswers{Ring, [](SimulatedPhone& phone) { phone.LiftHandset(); }, "INPROGRESS",
                             PutDown};
const PressCase kReplaceHangsUp{RingAndLift, [](SimulatedPhone& phone) { phone.ReplaceHandset(); },
                                "FINISHED", Nothing};
const PressCase kButton7HangsUp{RingAndLift,
                                [](SimulatedPhone& phone) { phone.PressButton(kHangUpButton); },
                                "FINISHED", ReleaseHangUpAndPutDown};

// The running agent with the phone plugged in, or null with the benchmark
// failed and the reason given.
LiveAgent* AgentWithPhone(benchmark::State& state) {
    std::string error;
    LiveAgent* agent = LiveAgent::Get(error);
    if (agent == nullptr || !agent->SetPhonePlugged(true, error)) {
        state.SkipWithError(error.c_str());
        return nullptr;
    }
    return agent;
}

void BM_PressToCommand(benchmark::State& state, const PressCase& kind) {
    LiveAgent* agent = AgentWithPhone(state);
    if (agent == nullptr)
        return;
    LatencySamples samples(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        const std::string id = NextCallId();
        kind.before(*agent, id);
        Settle();
        agent->command.Arm(PhoneCommand(id, kind.status));
        const Clock::time_point pressed = Clock::now();
        kind.press(agent->phone());
        const auto received = agent->command.Wait(LiveAgent::kTimeout);
        if (!received) {
            state.SkipWithError(("no \"" + agent->command.Awaited() + "\" in time").c_str());
            break;
        }
        samples.Add(state, *received - pressed);
        Settle();
        kind.after(*agent);
        Settle();
    }
    samples.Report(state);
}

struct LedCase {
    void (*before)(LiveAgent&, const std::string& id);
    // The notification that changes the LED, and the call application's action that sends it.
    std::string (*notification)(const std::string& id);
    void (*act)(LiveAgent&, const std::string& id);
    const char* ring;  // the Ring LED it leaves
    void (*after)(LiveAgent&, const std::string& id);
};

void NoCall(LiveAgent&, const std::string&) {}

void Miss(LiveAgent& agent, const std::string& id) {
    agent.app().MissCall(id);
}

// The call type answers the agent's "GET CALL <id> TYPE": an incoming call lights Ring.
const LedCase kTypeLightsRing{
    NoCall, [](const std::string& id) { return "CALL " + id + " TYPE INCOMING_P2P"; }, Ring,
    "ring=on", Miss};
const LedCase kMissedPutsRingOut{
    Ring, [](const std::string& id) { return "CALL " + id + " STATUS MISSED"; }, Miss, "ring=off",
    NoCall};

void BM_NotificationToLed(benchmark::State& state, const LedCase& kind) {
    LiveAgent* agent = AgentWithPhone(state);
    if (agent == nullptr)
        return;
    LatencySamples samples(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        const std::string id = NextCallId();
        kind.before(*agent, id);
        Settle();
        agent->notification.Arm(kind.notification(id));
        agent->ring.Arm(kind.ring);
        kind.act(*agent, id);
        const auto sent = agent->notification.Wait(LiveAgent::kTimeout);
        const auto lit = agent->ring.Wait(LiveAgent::kTimeout);
        if (!sent || !lit) {
            const std::string missing =
                !sent ? agent->notification.Awaited() : agent->ring.Awaited();
            state.SkipWithError(("no \"" + missing + "\" in time").c_str());
            break;
        }
        samples.Add(state, *lit - *sent);
        Settle();
        kind.after(*agent, id);
        Settle();
    }
    samples.Report(state);
}

}  // namespace

void RegisterLatencyBenchmarks(std::size_t events) {
    const auto iterations = static_cast<benchmark::IterationCount>(events);
    // Every latency benchmark runs its events once, timed by its own stamps.
    const auto registerEach = [iterations](const auto& cases, const auto& function) {
        for (const auto& entry : cases) {
            benchmark::RegisterBenchmark(entry.name, function, entry.kind)
                ->Iterations(iterations)
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond);
        }
    };
    const struct {
        const char* name;
        const PressCase& kind;
    } presses[] = {
        {"BM_PressToCommand/lift_answers", kLiftAnswers},
        {"BM_PressToCommand/replace_hangs_up", kReplaceHangsUp},
        {"BM_PressToCommand/button7_hangs_up", kButton7HangsUp},
    };
    registerEach(presses, BM_PressToCommand);
    const struct {
        const char* name;
        const LedCase& kind;
    } leds[] = {
        {"BM_NotificationToLed/type_lights_ring", kTypeLightsRing},
        {"BM_NotificationToLed/missed_puts_ring_out", kMissedPutsRingOut},
    };
    registerEach(leds, BM_NotificationToLed);
}
