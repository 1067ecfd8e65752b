// A pool of records with stable addresses, grown in large chunks so a big
// document costs few allocations. Records are freed all at once, without
// recursion, however they point at each other.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

template <typename T>
class ChunkedPool {
 public:
  // A default-valued record.
  T& Add() {
    if (size_ == chunks_.size() * kChunk) chunks_.push_back(std::make_unique<T[]>(kChunk));
    T& slot = chunks_[size_ / kChunk][size_ % kChunk];
    slot = T{};  // the slot may have been used before a Truncate
    ++size_;
    return slot;
  }
  std::size_t Size() const { return size_; }
  // Drops the records from `size` on; their slots are reused by Add.
  void Truncate(std::size_t size) {
    if (size < size_) size_ = size;
  }
  void Clear() {
    chunks_.clear();
    size_ = 0;
  }

 private:
  static constexpr std::size_t kChunk = 1024;
  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t size_ = 0;
};
