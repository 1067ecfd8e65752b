// The process-wide private heap. Every block carries a 32-bit use count in
// front of the caller's bytes.
#pragma once

#include <cstddef>

int CreatePrivateHeap(std::size_t initial_size);
// Null when there is no heap, the size overflows, or the system refuses.
void* PrivateAlloc(int id, std::size_t size);
void PrivateFree(void* block);
int DestroyPrivateHeap();
