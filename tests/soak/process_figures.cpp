// Replaces the global allocation functions of the soak program to count live
// blocks; the heap figure comes from the allocator in use (glibc's, or the
// sanitizer's in the asan and tsan builds).
#include "process_figures.h"

#include <atomic>
#include <cstdlib>

#include "replaced_new.h"
#include "simdesk/desktop.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// From the sanitizer runtime (g++ ships no header declaring it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#define SOAK_SANITIZER_HEAP 1
#else
#include <malloc.h>
#endif

namespace {

std::atomic<std::int64_t> liveBlocks{0};

std::size_t HeapInUse() {
#ifdef SOAK_SANITIZER_HEAP
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

}  // namespace

void* replaced_new::Allocate(std::size_t size, bool /*nothrow*/) noexcept {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr)
        liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void replaced_new::Release(void* block) noexcept {
    if (block == nullptr)
        return;
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

ProcessFigures TakeProcessFigures() {
    ProcessFigures figures;
    figures.heapBytes = HeapInUse();
    figures.liveAllocations = liveBlocks.load();
    figures.handles = simdesk::OpenHandleCounts();
    return figures;
}

std::string DescribeHandles(const std::map<std::string, std::size_t>& handles) {
    std::string text;
    for (const auto& [kind, count] : handles)
        text += (text.empty() ? "" : ", ") + kind + " " + std::to_string(count);
    return text.empty() ? "none" : text;
}

std::string Describe(const ProcessFigures& figures) {
    return "heap in use " + std::to_string(figures.heapBytes) + " B, " +
           std::to_string(figures.liveAllocations) +
           " live allocations; handles: " + DescribeHandles(figures.handles);
}
