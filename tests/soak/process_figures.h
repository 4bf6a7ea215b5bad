// What a long run watches for leaks: the heap in use, the blocks allocated with
// new and not yet deleted, and the simulated desktop's open handles by kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

struct ProcessFigures {
    std::size_t heapBytes = 0;
    std::int64_t liveAllocations = 0;
    std::map<std::string, std::size_t> handles;
};

ProcessFigures TakeProcessFigures();
std::string Describe(const ProcessFigures& figures);
// The handles only, "event 5, file 2, ...".
std::string DescribeHandles(const std::map<std::string, std::size_t>& handles);
