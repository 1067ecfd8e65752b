// The process-wide private heap. Every block carries a 32-bit use count in
// front of the caller's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

int CreatePrivateHeap(std::size_t initial_size);
// Null when there is no heap, the size overflows, or the system refuses.
void* PrivateAlloc(int id, std::size_t size);
void PrivateFree(void* block);
int DestroyPrivateHeap();

// A block of the private heap that frees itself.
struct PrivateHeapDeleter {
  void operator()(void* block) const { PrivateFree(block); }
};
using HeapBuffer = std::unique_ptr<std::uint8_t, PrivateHeapDeleter>;
// Null when the size does not fit or the heap refuses.
HeapBuffer AllocateHeapBuffer(std::uint64_t size);
