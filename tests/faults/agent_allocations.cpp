// Replaces the global allocation functions of the sweep binary. Every block
// carries a small header that says whether it came from a nothrow allocation
// on an agent thread, so that its delete, on whatever thread, is counted too.
#include "agent_allocations.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "replaced_new.h"
#include "simdesk/faults.h"

namespace {

// Keeps the block behind it aligned as malloc aligns.
constexpr std::size_t kHeaderSize = alignof(std::max_align_t);
constexpr std::uint32_t kPlainBlock = 0x504C4E00;
constexpr std::uint32_t kAgentNothrowBlock = 0x41474E00;

std::atomic<std::size_t> liveAgentBlocks{0};

void* AllocateTagged(std::size_t size, std::uint32_t tag) noexcept {
    auto* raw = static_cast<unsigned char*>(std::malloc(kHeaderSize + size));
    if (raw == nullptr)
        return nullptr;
    *reinterpret_cast<std::uint32_t*>(raw) = tag;
    if (tag == kAgentNothrowBlock)
        liveAgentBlocks.fetch_add(1);
    return raw + kHeaderSize;
}

}  // namespace

std::size_t LiveAgentNothrowBlocks() {
    return liveAgentBlocks.load();
}

void* replaced_new::Allocate(std::size_t size, bool nothrow) noexcept {
    if (!nothrow)
        return AllocateTagged(size, kPlainBlock);
    using simdesk::faults::Call;
    if (simdesk::faults::Inject(Call::NothrowNew))
        return nullptr;
    return AllocateTagged(size,
                          simdesk::faults::OnAgentThread() ? kAgentNothrowBlock : kPlainBlock);
}

void replaced_new::Release(void* block) noexcept {
    if (block == nullptr)
        return;
    auto* raw = static_cast<unsigned char*>(block) - kHeaderSize;
    if (*reinterpret_cast<std::uint32_t*>(raw) == kAgentNothrowBlock)
        liveAgentBlocks.fetch_sub(1);
    std::free(raw);
}
