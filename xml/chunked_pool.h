// A pool of records with stable addresses, grown in large chunks so a big
// document costs few allocations, each chunk charged to a budget. Records
// are freed all at once, without recursion.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "util/memory_budget.h"

template <typename T>
class ChunkedPool {
 public:
  // A default-valued record, or null when the budget refuses a new chunk.
  T* Add(MemoryBudget* budget) {
    if (size_ == chunks_.size() * kChunk) {
      if (!budget->Charge(kChunkBytes)) return nullptr;
      chunks_.push_back(std::make_unique<T[]>(kChunk));
    }
    T* slot = &chunks_[size_ / kChunk][size_ % kChunk];
    ++size_;
    return slot;
  }
  T& operator[](std::size_t index) { return chunks_[index / kChunk][index % kChunk]; }
  const T& operator[](std::size_t index) const { return chunks_[index / kChunk][index % kChunk]; }
  std::size_t Size() const { return size_; }
  void Clear(MemoryBudget* budget) {
    budget->Release(chunks_.size() * kChunkBytes);
    chunks_.clear();
    chunks_.shrink_to_fit();
    size_ = 0;
  }

 private:
  static constexpr std::size_t kChunk = 1024;
  static constexpr std::size_t kChunkBytes = kChunk * sizeof(T);
  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t size_ = 0;
};
