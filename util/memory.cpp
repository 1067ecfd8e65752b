#include "util/memory.h"

#include <cstring>

void CopyBytes(void* destination, const void* source, std::size_t count) {
  if (!destination || !source || count == 0) return;
  std::memmove(destination, source, count);
}

void ZeroBytes(void* destination, std::size_t count) {
  if (!destination || count == 0) return;
  std::memset(destination, 0, count);
}

int CompareBytes(const void* a, const void* b, std::size_t count) {
  if (count == 0 || a == b) return 0;
  if (!a || !b) return a ? 1 : -1;
  const auto* left = static_cast<const unsigned char*>(a);
  const auto* right = static_cast<const unsigned char*>(b);
  for (std::size_t i = 0; i < count; ++i)
    if (left[i] != right[i]) return static_cast<int>(left[i]) - static_cast<int>(right[i]);
  return 0;
}
