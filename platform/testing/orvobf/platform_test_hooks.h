// Hooks into the platform layer for the project's own tests and
// benchmarks. Not installed: no program built on the library uses them.
#ifndef ORVOBF_PLATFORM_TEST_HOOKS_H
#define ORVOBF_PLATFORM_TEST_HOOKS_H

#include <cstdint>

namespace orvobf::platform {

// StreamSeek calls made by the process so far (checks that consecutive
// reads of one handle never seek).
uint64_t StreamSeekCount();

// Make the allocation numbered `n` from now (1 = the next) fail, and every
// later one succeed; 0 switches failure off.
void FailAllocationAfter(uint64_t n);
// Allocations made since the counter was last reset.
uint64_t AllocationCount();
void ResetAllocationCount();

}  // namespace orvobf::platform

#endif
