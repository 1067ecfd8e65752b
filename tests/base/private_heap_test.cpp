#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "base/private_heap.h"

namespace {

std::uint32_t& UseCount(void* block) {
  return *reinterpret_cast<std::uint32_t*>(static_cast<unsigned char*>(block) - 4);
}

class PrivateHeapTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CreatePrivateHeap(1 << 20), 1); }
  void TearDown() override { EXPECT_EQ(DestroyPrivateHeap(), 1); }
};

TEST_F(PrivateHeapTest, SecondCreateKeepsTheFirstHeap) {
  void* before = PrivateAlloc(0, 32);
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(CreatePrivateHeap(1 << 20), 0);
  void* after = PrivateAlloc(0, 32);
  EXPECT_NE(after, nullptr);
  PrivateFree(before);
  PrivateFree(after);
}

TEST_F(PrivateHeapTest, BlocksCarryAUseCountOfOneAndSizesThatOverflowAreRefused) {
  for (std::size_t size : {0u, 1u, 100u, 4096u}) {
    void* block = PrivateAlloc(0, size);
    ASSERT_NE(block, nullptr) << size;
    EXPECT_EQ(UseCount(block), 1u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
    std::memset(block, 0xAB, size);  // every usable byte may be written
    PrivateFree(block);
  }
  for (std::size_t size : {SIZE_MAX, SIZE_MAX - 3, SIZE_MAX - 4}) {
    EXPECT_EQ(PrivateAlloc(0, size), nullptr) << size;
  }
}

TEST_F(PrivateHeapTest, FreeLowersAHigherCountFirst) {
  auto* block = static_cast<unsigned char*>(PrivateAlloc(0, 8));
  ASSERT_NE(block, nullptr);
  UseCount(block) = 2;
  PrivateFree(block);
  EXPECT_EQ(UseCount(block), 1u);
  block[7] = 1;  // still alive
  PrivateFree(block);
}

TEST_F(PrivateHeapTest, NoBlocksWithoutAHeap) {
  ASSERT_EQ(DestroyPrivateHeap(), 1);
  EXPECT_EQ(PrivateAlloc(0, 16), nullptr);
  PrivateFree(nullptr);
  EXPECT_EQ(DestroyPrivateHeap(), 1);
  ASSERT_EQ(CreatePrivateHeap(4096), 1);  // a heap can be created again
  void* block = PrivateAlloc(0, 16);
  EXPECT_NE(block, nullptr);
  PrivateFree(block);
}

TEST_F(PrivateHeapTest, ThreadsAllocateAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < kRounds; ++i) {
        const std::size_t size = 1 + (i * 37 + t) % 700;
        auto* block = static_cast<unsigned char*>(PrivateAlloc(t, size));
        if (block == nullptr) {
          ++failures[t];
          continue;
        }
        std::memset(block, t, size);
        if (block[size - 1] != t || UseCount(block) != 1) ++failures[t];
        PrivateFree(block);
      }
    });
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << t;
}

}  // namespace
