// Makes one allocation through operator new fail, as a full memory would,
// without exhausting anything. A test binary that links
// failing_allocation.cpp replaces the global operator new and delete; while
// nothing is armed they are malloc and free. Only the arming thread's
// allocations are counted and failed.
//
//   qvtest::FailAllocation(n);   // the n-th allocation from here throws
//   RunSomething();
//   qvtest::StopFailingAllocations();
#pragma once

#include <cstdint>

namespace qvtest {

// The n-th allocation of this thread from now on (1 is the next one)
// throws std::bad_alloc; the others succeed.
void FailAllocation(std::uint64_t n);
// Disarms; returns how many allocations were counted since the arming.
std::uint64_t StopFailingAllocations();

}  // namespace qvtest
