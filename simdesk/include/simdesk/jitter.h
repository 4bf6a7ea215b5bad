// Test-side control: random short delays at the simulated desktop's thread
// hand-offs, so that in a long run the threads interleave differently from one
// hand-off to the next. Off unless enabled; while off a hand-off costs one
// atomic load.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace simdesk {

// Where a delay may be injected. Every delay is taken outside the desktop lock,
// so the other threads run meanwhile, and a delayed thread is busy for
// WaitUntilIdle (it is in no desktop wait).
enum class HandOff : std::uint8_t {
    PostedMessage,  // a posted message retrieved, before GetMessageW or PeekMessageW returns it
    SentMessage,    // a sent message taken by the receiving thread, before its procedure runs
    SenderWakeUp,   // a cross-thread send handled, before the sender's call returns
    InputReport,    // a device's input report, before it completes a pending read
    OutputWrite,    // inside WriteFile, before the device takes the report
};
inline constexpr std::size_t kHandOffCount = 5;
const char* HandOffName(HandOff handOff);

struct JitterSettings {
    std::uint64_t seed = 0;
    std::uint32_t maxDelayMicroseconds = 300;
    // How many hand-offs in a hundred go through at once.
    std::uint32_t undelayedPercent = 50;
};

// Each thread draws its delays from the seed, its thread id and how many it drew
// before, so a thread's own sequence of delays repeats with the seed.
void EnableJitter(const JitterSettings& settings);
void DisableJitter();

struct JitterCounts {
    std::array<std::uint64_t, kHandOffCount> passed{};   // hand-offs while enabled
    std::array<std::uint64_t, kHandOffCount> delayed{};  // of those, delayed
    std::uint64_t delayedMicroseconds = 0;

    std::uint64_t TotalPassed() const;
    std::uint64_t TotalDelayed() const;
};
// Since the process started.
JitterCounts JitterTotals();

}  // namespace simdesk
