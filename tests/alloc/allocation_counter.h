// Counts heap allocations made by the calling thread while a counter is alive.
#pragma once

#include <cstddef>

class AllocationCounter {
  public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;
    std::size_t count() const;
};
