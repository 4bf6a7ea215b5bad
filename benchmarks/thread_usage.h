// What the kernel counted for each thread of this process, for idle costs:
// how often each thread blocked (voluntary context switches: each one is a
// wake-up to come) and how long it ran.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct ThreadUsage {
    std::string name;  // the thread's comm, as top -H shows it
    std::uint64_t voluntarySwitches = 0;
    std::uint64_t runNanoseconds = 0;
};

// By kernel thread id, from /proc/self/task; empty when /proc cannot be read.
std::map<long, ThreadUsage> SampleThreads();

// The process's resident set and its anonymous (heap and stack) part, in KiB.
struct ResidentMemory {
    std::uint64_t totalKb = 0;
    std::uint64_t anonymousKb = 0;
};
ResidentMemory SampleMemory();
