// The library's one way to the heap, with a failure hook for tests.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include <orvobf/platform.h>
#include <orvobf/platform_test_hooks.h>

namespace orvobf::platform {
namespace {
std::atomic<uint64_t> g_count{0};
std::atomic<uint64_t> g_failAt{0};  // allocation number that fails; 0: none

bool ShouldFail() {
    const uint64_t n = ++g_count;
    const uint64_t failAt = g_failAt.load(std::memory_order_relaxed);
    return failAt != 0 && n == failAt;
}
}  // namespace

void* Alloc(size_t size) {
    if (ShouldFail()) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocZero(size_t size) {
    if (ShouldFail()) return nullptr;
    return std::calloc(1, size == 0 ? 1 : size);
}

void* Realloc(void* block, size_t size) {
    if (ShouldFail()) return nullptr;
    return std::realloc(block, size == 0 ? 1 : size);
}

void Free(void* block) { std::free(block); }

void FailAllocationAfter(uint64_t n) {
    g_failAt.store(n == 0 ? 0 : g_count.load() + n);
}

uint64_t AllocationCount() { return g_count.load(); }

void ResetAllocationCount() {
    g_count.store(0);
    g_failAt.store(0);
}

}  // namespace orvobf::platform
