#pragma once

#include <cstddef>

// Fault injection for heap allocations, for tests only. A test binary that links
// orva_alloc_fault has malloc, calloc and realloc wrapped (GNU ld --wrap): every call made
// from the binary's own objects is counted while a fault plan is armed, and the planned
// ones fail with ENOMEM. Calls made inside the C library itself are not seen.

namespace orva_testing::alloc_fault {

// Fail the nth counted allocation from now (1 = the next one); when `persistent`, also
// every allocation after it. Resets the count.
void fail_nth(std::size_t nth, bool persistent);

// Stop failing; allocations keep being counted.
void disarm();

// Counted allocations since the last fail_nth or reset_count.
std::size_t count();
void reset_count();

// True when at least one allocation has failed since the last fail_nth.
bool fired();

// Runs `operation` with the 1st, 2nd, ... allocation failing until a run completes with
// no failure fired, calling it as operation(context, nth) with the fault armed; stops after
// `limit` runs. Returns the number of runs, or 0 when the limit was reached.
std::size_t for_each_failure(void (*operation)(void* context, std::size_t nth), void* context,
                             bool persistent, std::size_t limit = 100000);

}  // namespace orva_testing::alloc_fault
