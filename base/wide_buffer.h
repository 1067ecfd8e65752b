// Internal helpers for writing UTF-16 into fixed buffers.
#pragma once

#include <cstddef>

inline bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Appends to a buffer of `capacity` units, keeping room for the terminator.
// Once a unit does not fit, everything after it is dropped, and the first
// half of a surrogate pair whose second half was dropped is taken back.
class WideBufferWriter {
 public:
  // `destination` must be non-null and `capacity` at least 1.
  WideBufferWriter(char16_t* destination, std::size_t capacity)
      : destination_(destination), capacity_(capacity) {}

  bool Put(char16_t unit) {
    if (full_) return false;
    if (length_ + 1 >= capacity_) {
      full_ = true;
      if (length_ > 0 && IsHighSurrogate(destination_[length_ - 1]) && IsLowSurrogate(unit))
        --length_;
      return false;
    }
    destination_[length_++] = unit;
    return true;
  }

  void Append(const char16_t* text, std::size_t count) {
    for (std::size_t i = 0; i < count && Put(text[i]); ++i) {
    }
  }

  void Repeat(char16_t unit, std::size_t count) {
    for (std::size_t i = 0; i < count && Put(unit); ++i) {
    }
  }

  // Terminates the text and returns its length.
  std::size_t Finish() {
    destination_[length_] = 0;
    return length_;
  }

 private:
  char16_t* destination_;
  std::size_t capacity_;
  std::size_t length_ = 0;
  bool full_ = false;
};
