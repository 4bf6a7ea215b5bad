// The sweep binary's own allocation functions: a nothrow allocation made on an
// agent thread is a fault point (simdesk::faults::Call::NothrowNew), and the
// blocks it hands out are counted while they live.
#pragma once

#include <cstddef>

// Blocks from operator new(std::nothrow) on agent threads, not yet deleted.
std::size_t LiveAgentNothrowBlocks();
