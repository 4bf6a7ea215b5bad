// Replaces the global allocation functions of the soak program to count live
// blocks; the heap figure comes from the allocator in use (glibc's, or the
// sanitizer's in the asan and tsan builds).
#include "process_figures.h"

#include <atomic>
#include <cstdlib>
#include <new>

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

void* Allocate(std::size_t size) noexcept {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr)
        liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void Release(void* block) noexcept {
    if (block == nullptr)
        return;
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

std::size_t HeapInUse() {
#ifdef SOAK_SANITIZER_HEAP
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* block = Allocate(size))
        return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* block = Allocate(size))
        return block;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    Release(block);
}
void operator delete[](void* block) noexcept {
    Release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Release(block);
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
