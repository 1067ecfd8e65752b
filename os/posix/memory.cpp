// Heaps: every block carries a header that links it into its heap, so
// that destroying the heap frees what is still allocated. Pages come
// straight from mmap.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

#include "os/memory.h"

namespace os {
namespace {

constexpr std::uintptr_t kLiveMark = 0x51564850;  // "QVHP"

struct alignas(alignof(std::max_align_t)) BlockHeader {
  BlockHeader* previous;
  BlockHeader* next;
  std::uintptr_t mark;  // kLiveMark mixed with the owning heap
};

}  // namespace

struct Heap {
  std::mutex mutex;
  BlockHeader* first = nullptr;
};

namespace {

std::uintptr_t MarkFor(const Heap* heap) {
  return kLiveMark ^ reinterpret_cast<std::uintptr_t>(heap);
}

}  // namespace

Heap* CreateHeap(std::size_t initial_size) { return new (std::nothrow) Heap; }

void* HeapAllocate(Heap* heap, std::size_t size) {
  if (!heap || size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (!header) return nullptr;
  std::lock_guard<std::mutex> guard(heap->mutex);
  header->previous = nullptr;
  header->next = heap->first;
  header->mark = MarkFor(heap);
  if (heap->first) heap->first->previous = header;
  heap->first = header;
  return header + 1;
}

bool HeapRelease(Heap* heap, void* block) {
  if (!heap) return false;
  if (!block) return true;
  auto* header = static_cast<BlockHeader*>(block) - 1;
  std::lock_guard<std::mutex> guard(heap->mutex);
  // Refuses a block of another heap.
  if (header->mark != MarkFor(heap)) return false;
  header->mark = 0;
  if (header->previous) header->previous->next = header->next;
  else heap->first = header->next;
  if (header->next) header->next->previous = header->previous;
  std::free(header);
  return true;
}

void DestroyHeap(Heap* heap) {
  if (!heap) return;
  for (BlockHeader* header = heap->first; header;) {
    BlockHeader* next = header->next;
    std::free(header);
    header = next;
  }
  delete heap;
}

void* AllocatePages(std::size_t size) {
  if (size == 0) return nullptr;
  void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

void FreePages(void* pages, std::size_t size) {
  if (pages && size) munmap(pages, size);
}

}  // namespace os
