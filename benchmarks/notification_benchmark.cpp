// The window thread's handling of one call notification, by kind: the text is
// matched against the keywords, the call state updated and any command text
// composed. No call application is attached and no phone path is recorded, so
// the sends and LED writes that some kinds cause return at once; their cost is
// in the SetIndicator and latency figures.
#include <benchmark/benchmark.h>

#include "bridge/bridge_state.h"
#include "bridge/notification_handler.h"
#include "micro_support.h"

namespace {

enum class Before { Nothing, Ringing, Routing, AnsweredOnPhone };

void Prepare(Before before) {
    OnHostNotification(L"CALL 1001 STATUS FINISHED", nullptr);
    if (before == Before::Nothing)
        return;
    OnHostNotification(
        before == Before::Routing ? L"CALL 1001 STATUS ROUTING" : L"CALL 1001 STATUS RINGING",
        nullptr);
    if (before != Before::AnsweredOnPhone)
        return;
    OnHostNotification(L"CALL 1001 TYPE INCOMING_P2P", nullptr);
    CallState answered = CallStateCopy();
    answered.answeredByDevice = 1;
    answered.callActive = 1;
    ReplaceCallStateForTests(answered);
}

// `relight`: Ring is put out again before each notification, so that every
// one takes the branch that lights it.
void BM_OnHostNotification(benchmark::State& state, const wchar_t* text, Before before,
                           bool relight) {
    if (CallStateCopy().apiWindow != nullptr) {
        state.SkipWithError("a call application is attached: commands would be sent");
        return;
    }
    simdesk::DesktopThread thread;
    Prepare(before);
    AllocationCounter counter;
    for (auto _ : state) {
        if (relight) {
            CallState dark = CallStateCopy();
            dark.ringLit = 0;
            ReplaceCallStateForTests(dark);
        }
        OnHostNotification(text, nullptr);
    }
    ReportAllocations(state, counter);
    Prepare(Before::Nothing);
}

// A new call: its id is kept and "GET CALL <id> TYPE" composed.
BENCHMARK_CAPTURE(BM_OnHostNotification, ringing, L"CALL 1001 STATUS RINGING", Before::Nothing,
                  false);
// The answer to that: the call's direction, and Ring lit.
BENCHMARK_CAPTURE(BM_OnHostNotification, type_incoming, L"CALL 1001 TYPE INCOMING_P2P",
                  Before::Ringing, true);
BENCHMARK_CAPTURE(BM_OnHostNotification, type_outgoing, L"CALL 1001 TYPE OUTGOING_P2P",
                  Before::Routing, true);
// In progress after the phone answered: "ALTER CALL <id> START_VIDEO_SEND" composed.
BENCHMARK_CAPTURE(BM_OnHostNotification, in_progress, L"CALL 1001 STATUS INPROGRESS",
                  Before::AnsweredOnPhone, false);
BENCHMARK_CAPTURE(BM_OnHostNotification, finished, L"CALL 1001 STATUS FINISHED", Before::Nothing,
                  false);
// Another end state: found after every earlier keyword test failed.
BENCHMARK_CAPTURE(BM_OnHostNotification, missed, L"CALL 1001 STATUS MISSED", Before::Nothing,
                  false);
// A notification the agent ignores: every keyword test fails.
BENCHMARK_CAPTURE(BM_OnHostNotification, unrelated, L"CONNSTATUS ONLINE", Before::Nothing, false);

}  // namespace
