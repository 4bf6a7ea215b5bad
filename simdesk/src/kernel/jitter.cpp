// Seeded delays at the thread hand-offs (simdesk/jitter.h).
#include "kernel/jitter.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "simdesk/win32_kernel.h"

namespace simdesk {
namespace {

constexpr std::uint32_t kPercent = 100;

struct Jitter {
    std::atomic<bool> enabled{false};
    std::atomic<std::uint64_t> seed{0};
    std::atomic<std::uint32_t> maxDelayMicroseconds{0};
    std::atomic<std::uint32_t> undelayedPercent{kPercent};
    std::atomic<std::uint64_t> epoch{0};  // a new seed restarts every thread's sequence
    std::array<std::atomic<std::uint64_t>, kHandOffCount> passed{};
    std::array<std::atomic<std::uint64_t>, kHandOffCount> delayed{};
    std::atomic<std::uint64_t> delayedMicroseconds{0};
};

Jitter& State() {
    static auto* state = new Jitter;  // hand-offs may run while the process exits
    return *state;
}

// splitmix64: a well-mixed value from any counter.
std::uint64_t Mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

thread_local std::uint64_t drawEpoch = 0;
thread_local std::uint64_t draws = 0;

std::uint64_t NextDraw(const Jitter& state) {
    const std::uint64_t epoch = state.epoch.load(std::memory_order_relaxed);
    if (drawEpoch != epoch) {
        drawEpoch = epoch;
        draws = 0;
    }
    const std::uint64_t thread = GetCurrentThreadId();
    return Mix(state.seed.load(std::memory_order_relaxed) ^ Mix(thread << 32 ^ draws++));
}

}  // namespace

const char* HandOffName(HandOff handOff) {
    switch (handOff) {
        case HandOff::PostedMessage:
            return "posted message";
        case HandOff::SentMessage:
            return "sent message";
        case HandOff::SenderWakeUp:
            return "sender wake-up";
        case HandOff::InputReport:
            return "input report";
        case HandOff::OutputWrite:
            return "output write";
    }
    return "?";
}

void EnableJitter(const JitterSettings& settings) {
    Jitter& state = State();
    state.enabled.store(false);
    state.seed.store(settings.seed);
    state.maxDelayMicroseconds.store(settings.maxDelayMicroseconds);
    state.undelayedPercent.store(settings.undelayedPercent);
    state.epoch.fetch_add(1);
    state.enabled.store(true);
}

void DisableJitter() {
    State().enabled.store(false);
}

std::uint64_t JitterCounts::TotalPassed() const {
    std::uint64_t total = 0;
    for (std::uint64_t count : passed)
        total += count;
    return total;
}

std::uint64_t JitterCounts::TotalDelayed() const {
    std::uint64_t total = 0;
    for (std::uint64_t count : delayed)
        total += count;
    return total;
}

JitterCounts JitterTotals() {
    const Jitter& state = State();
    JitterCounts counts;
    for (std::size_t i = 0; i < kHandOffCount; ++i) {
        counts.passed[i] = state.passed[i].load();
        counts.delayed[i] = state.delayed[i].load();
    }
    counts.delayedMicroseconds = state.delayedMicroseconds.load();
    return counts;
}

void JitterAt(HandOff handOff) {
    Jitter& state = State();
    if (!state.enabled.load(std::memory_order_acquire))
        return;
    const auto site = static_cast<std::size_t>(handOff);
    state.passed[site].fetch_add(1, std::memory_order_relaxed);
    const std::uint64_t draw = NextDraw(state);
    const std::uint32_t maxDelay = state.maxDelayMicroseconds.load(std::memory_order_relaxed);
    if (draw % kPercent < state.undelayedPercent.load(std::memory_order_relaxed) || maxDelay == 0)
        return;
    const std::uint64_t micros = 1 + (draw / kPercent) % maxDelay;
    state.delayed[site].fetch_add(1, std::memory_order_relaxed);
    state.delayedMicroseconds.fetch_add(micros, std::memory_order_relaxed);
    std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

void JitterOutsideLock(DesktopGuard& lock, HandOff handOff) {
    if (!State().enabled.load(std::memory_order_acquire))
        return;
    lock.unlock();
    JitterAt(handOff);
    lock.lock();
}

}  // namespace simdesk
