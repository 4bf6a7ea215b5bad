// One replacement of the global allocation functions for test binaries that
// watch allocations: link replaced_new.cpp and define these two hooks.
#pragma once

#include <cstddef>

namespace replaced_new {

// A block of `size` bytes (at least one), or null; `nothrow` tells the nothrow
// forms, whose null the caller sees, from the throwing ones.
void* Allocate(std::size_t size, bool nothrow) noexcept;
// Frees what Allocate returned; null is ignored.
void Release(void* block) noexcept;

}  // namespace replaced_new
