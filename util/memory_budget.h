// A count of the bytes that one piece of work holds, against a limit. What
// a hostile input makes a reader allocate is charged here before it is
// allocated, so that the input is refused instead of exhausting memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class MemoryBudget {
 public:
  MemoryBudget() = default;
  explicit MemoryBudget(std::size_t limit) : limit_(limit) {}

  // False, charging nothing, when the bytes would go beyond the limit.
  bool Charge(std::size_t bytes) {
    if (bytes > limit_ - used_) return false;
    used_ += bytes;
    return true;
  }
  void Release(std::size_t bytes) { used_ -= bytes < used_ ? bytes : used_; }

  std::size_t Used() const { return used_; }
  std::size_t Left() const { return limit_ - used_; }

  // Appends to a vector, charging its growth: while the elements move, the
  // old and the new storage are both held.
  template <typename T, typename V>
  bool Append(std::vector<T>* vector, V&& value) {
    if (vector->size() == vector->capacity()) {
      const std::size_t old_capacity = vector->capacity();
      const std::size_t new_capacity = old_capacity < 8 ? 8 : old_capacity * 2;
      if (!Charge(new_capacity * sizeof(T))) return false;
      vector->reserve(new_capacity);
      Release(old_capacity * sizeof(T));
    }
    vector->push_back(static_cast<V&&>(value));
    return true;
  }
  // Gives a vector's storage back and its charge with it.
  template <typename T>
  void Free(std::vector<T>* vector) {
    Release(vector->capacity() * sizeof(T));
    std::vector<T>().swap(*vector);
  }

 private:
  std::size_t limit_ = SIZE_MAX;
  std::size_t used_ = 0;
};
