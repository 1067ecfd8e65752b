// The one private heap of the process.
//
// A block is laid out as [padding][32-bit use count][caller's bytes]. The
// padding keeps the caller's bytes at the system heap's own alignment, so
// blocks may hold pointers and doubles on 64-bit builds; the count always
// sits in the 4 bytes right in front of the caller's address.

#include "base/private_heap.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "base/debug_log.h"
#include "os/memory.h"

namespace {

constexpr std::size_t kBlockHeader = alignof(std::max_align_t);
static_assert(kBlockHeader >= sizeof(std::uint32_t));

std::atomic<os::Heap*> g_heap{nullptr};

std::uint32_t* UseCountOf(void* block) {
  return reinterpret_cast<std::uint32_t*>(static_cast<unsigned char*>(block) -
                                          sizeof(std::uint32_t));
}

void LogAllocationFailure(int id, std::size_t total) {
  DebugLogW(u"メモリが確保出来ませんでした  id = %d  size = %zu(0x%zx)", id, total, total);
}

}  // namespace

int CreatePrivateHeap(std::size_t initial_size) {
  if (g_heap.load(std::memory_order_acquire) != nullptr) return 0;
  os::Heap* heap = os::CreateHeap(initial_size);
  if (heap == nullptr) {
    DebugLogW(u"ヒープ領域の作成に失敗しました");
    return 0;
  }
  os::Heap* expected = nullptr;
  if (!g_heap.compare_exchange_strong(expected, heap, std::memory_order_acq_rel)) {
    // Another thread created the heap first.
    os::DestroyHeap(heap);
    return 0;
  }
  DebugLogW(u"ヒープを作成しました。 size = %zu (0x%zx) byte (%fMB)", initial_size,
            initial_size, static_cast<double>(initial_size) / 1024 / 1024);
  return 1;
}

void* PrivateAlloc(int id, std::size_t size) {
  if (size > SIZE_MAX - kBlockHeader) {
    LogAllocationFailure(id, SIZE_MAX);
    return nullptr;
  }
  const std::size_t total = size + kBlockHeader;
  os::Heap* heap = g_heap.load(std::memory_order_acquire);
  void* base = heap != nullptr ? os::HeapAllocate(heap, total) : nullptr;
  if (base == nullptr) {
    LogAllocationFailure(id, total);
    return nullptr;
  }
  void* block = static_cast<unsigned char*>(base) + kBlockHeader;
  *UseCountOf(block) = 1;
  return block;
}

void PrivateFree(void* block) {
  if (block == nullptr) return;
  // Without a heap every block is already gone; touching it would read
  // freed memory.
  os::Heap* heap = g_heap.load(std::memory_order_acquire);
  if (heap == nullptr) return;
  std::uint32_t* count = UseCountOf(block);
  if (*count > 1) {
    --*count;
    return;
  }
  os::HeapRelease(heap, static_cast<unsigned char*>(block) - kBlockHeader);
}

int DestroyPrivateHeap() {
  if (os::Heap* heap = g_heap.exchange(nullptr, std::memory_order_acq_rel)) {
    os::DestroyHeap(heap);
  }
  DebugLogW(u"ヒープを破棄しました。");
  return 1;
}

HeapBuffer AllocateHeapBuffer(std::uint64_t size) {
  if (size > SIZE_MAX) return nullptr;
  return HeapBuffer(static_cast<std::uint8_t*>(PrivateAlloc(0, static_cast<std::size_t>(size))));
}
