// The running agent's latencies in the simulated desktop, one benchmark per
// kind of press and of LED change, each over `events` events.
#pragma once

#include <cstddef>

void RegisterLatencyBenchmarks(std::size_t events);
