// The system heap and page-aligned committed memory.
#pragma once

#include <cstddef>

namespace os {

struct Heap;

// A growable heap with serialised access; `initial_size` is a hint.
Heap* CreateHeap(std::size_t initial_size);
// Blocks are not cleared. Null on failure.
void* HeapAllocate(Heap* heap, std::size_t size);
bool HeapRelease(Heap* heap, void* block);
// Frees the heap together with every block still allocated from it.
void DestroyHeap(Heap* heap);

// Committed read-write pages, aligned to the page size. Null on failure.
void* AllocatePages(std::size_t size);
void FreePages(void* pages, std::size_t size);

}  // namespace os
