#include "failing_allocation.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool t_armed = false;
thread_local std::uint64_t t_count = 0;
thread_local std::uint64_t t_failing = 0;

void* Allocate(std::size_t size) {
  if (t_armed && ++t_count == t_failing) throw std::bad_alloc();
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}

}  // namespace

namespace qvtest {

void FailAllocation(std::uint64_t n) {
  t_count = 0;
  t_failing = n;
  t_armed = true;
}

std::uint64_t StopFailingAllocations() {
  t_armed = false;
  return t_count;
}

}  // namespace qvtest

// Every form that pairs with plain free, so that no allocation meets a
// deallocation of another runtime (a sanitizer brings its own).
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
