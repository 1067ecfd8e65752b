// Zero-terminated strings copied into large blocks, each block charged to a
// budget; they keep their addresses until the arena is cleared.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "util/memory_budget.h"

class StringArena {
 public:
  // A copy of the pieces joined, with a zero byte after it; null when the
  // budget refuses the room. An empty result shares one empty string.
  const char* Join(const std::string_view* pieces, std::size_t count, std::size_t length,
                   MemoryBudget* budget);
  const char* Copy(std::string_view text, MemoryBudget* budget) {
    return Join(&text, 1, text.size(), budget);
  }
  void Clear(MemoryBudget* budget);

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t size;
  };
  char* Room(std::size_t bytes, MemoryBudget* budget);

  std::vector<Block> blocks_;
  std::size_t used_ = 0;  // bytes taken in the last block
};
