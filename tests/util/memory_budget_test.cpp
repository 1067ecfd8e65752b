#include "util/memory_budget.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(MemoryBudget, GrowthIsChargedAndFreeingGivesItBack) {
  MemoryBudget budget(64);
  std::vector<std::uint32_t> values;
  for (std::uint32_t i = 0; i < 8; ++i) EXPECT_TRUE(budget.Append(&values, i));
  EXPECT_EQ(budget.Used(), 32u);
  // Growing to 16 values would hold 32 + 64 bytes at once.
  EXPECT_FALSE(budget.Append(&values, 8u));
  EXPECT_EQ(values.size(), 8u);
  budget.Free(&values);
  EXPECT_EQ(budget.Used(), 0u);
  EXPECT_EQ(values.capacity(), 0u);
}

}  // namespace
