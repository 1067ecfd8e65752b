// The system heap and committed pages.
#include "os/memory.h"
#include "os/win32/windows_fwd.h"

namespace os {

namespace {
HANDLE NativeHeap(Heap* heap) { return reinterpret_cast<HANDLE>(heap); }
}  // namespace

Heap* CreateHeap(std::size_t initial_size) {
  return reinterpret_cast<Heap*>(::HeapCreate(0, initial_size, 0));
}

void* HeapAllocate(Heap* heap, std::size_t size) {
  return heap ? ::HeapAlloc(NativeHeap(heap), 0, size) : nullptr;
}

bool HeapRelease(Heap* heap, void* block) {
  if (!heap) return false;
  return !block || ::HeapFree(NativeHeap(heap), 0, block);
}

void DestroyHeap(Heap* heap) {
  if (heap) ::HeapDestroy(NativeHeap(heap));
}

void* AllocatePages(std::size_t size) {
  if (size == 0) return nullptr;
  return ::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void FreePages(void* pages, std::size_t size) {
  if (pages) ::VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace os
