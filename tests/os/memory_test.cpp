#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "os/memory.h"

namespace {

// Run under AddressSanitizer, the leak checker proves that DestroyHeap
// frees the blocks that were never released.
TEST(Heap, DestroyFreesEverything) {
  os::Heap* heap = os::CreateHeap(1 << 20);
  ASSERT_NE(nullptr, heap);
  std::vector<void*> blocks;
  for (std::size_t i = 0; i < 200; ++i) {
    void* block = os::HeapAllocate(heap, i * 37);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t));
    std::memset(block, 0xAB, i * 37);
    blocks.push_back(block);
  }
  for (std::size_t i = 0; i < blocks.size(); i += 3) EXPECT_TRUE(os::HeapRelease(heap, blocks[i]));
  EXPECT_TRUE(os::HeapRelease(heap, nullptr));
  os::DestroyHeap(heap);
}

#ifndef _WIN32
// The POSIX heap checks the owner of a block.
TEST(Heap, BlockOfAnotherHeapIsRefused) {
  os::Heap* first = os::CreateHeap(0);
  os::Heap* second = os::CreateHeap(0);
  void* block = os::HeapAllocate(first, 16);
  EXPECT_FALSE(os::HeapRelease(second, block));
  EXPECT_TRUE(os::HeapRelease(first, block));
  os::DestroyHeap(first);
  os::DestroyHeap(second);
}
#endif

TEST(Pages, AlignedAndWritable) {
  const std::size_t size = 3 * 65536;
  auto* pages = static_cast<unsigned char*>(os::AllocatePages(size));
  ASSERT_NE(nullptr, pages);
  EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(pages) % 4096);
  pages[0] = 1;
  pages[size - 1] = 2;
  EXPECT_EQ(2, pages[size - 1]);
  os::FreePages(pages, size);
  EXPECT_EQ(nullptr, os::AllocatePages(0));
}

}  // namespace
