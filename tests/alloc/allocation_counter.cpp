// Replaces the global allocation functions of this test binary to count the
// calls made by a thread while an AllocationCounter is alive on it.
#include "allocation_counter.h"

#include <cstdlib>

#include "replaced_new.h"

namespace {

thread_local bool counting = false;
thread_local std::size_t allocations = 0;

}  // namespace

void* replaced_new::Allocate(std::size_t size, bool /*nothrow*/) noexcept {
    if (counting)
        ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}

void replaced_new::Release(void* block) noexcept {
    std::free(block);
}

AllocationCounter::AllocationCounter() {
    allocations = 0;
    counting = true;
}

AllocationCounter::~AllocationCounter() {
    counting = false;
}

std::size_t AllocationCounter::count() const {
    return allocations;
}
