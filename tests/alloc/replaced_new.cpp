// Every form of global new and delete, in terms of the binary's two hooks.
#include "replaced_new.h"

#include <new>

namespace {

void* AllocateOrThrow(std::size_t size) {
    if (void* block = replaced_new::Allocate(size, /*nothrow=*/false))
        return block;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return replaced_new::Allocate(size, /*nothrow=*/true);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return replaced_new::Allocate(size, /*nothrow=*/true);
}
void operator delete(void* block) noexcept {
    replaced_new::Release(block);
}
void operator delete[](void* block) noexcept {
    replaced_new::Release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    replaced_new::Release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    replaced_new::Release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    replaced_new::Release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    replaced_new::Release(block);
}
