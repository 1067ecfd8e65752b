#include "base/wide_string.h"

#include "base/wide_buffer.h"

namespace {

char16_t FoldAscii(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + 0x20) : unit;
}

}  // namespace

std::size_t WideLength(const char16_t* text) {
  if (!text) return 0;
  std::size_t length = 0;
  while (text[length]) ++length;
  return length;
}

bool CopyWide(char16_t* destination, std::size_t capacity, const char16_t* source) {
  if (!destination || capacity == 0) return false;
  if (!source) {
    destination[0] = 0;
    return true;
  }
  WideBufferWriter out(destination, capacity);
  std::size_t i = 0;
  while (source[i] && out.Put(source[i])) ++i;
  out.Finish();
  return source[i] == 0;
}

int CompareWide(const char16_t* a, const char16_t* b) {
  if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
  while (*a && *a == *b) ++a, ++b;
  return static_cast<int>(*a) - static_cast<int>(*b);
}

int CompareWideNoCase(const char16_t* a, const char16_t* b) {
  if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
  while (*a && FoldAscii(*a) == FoldAscii(*b)) ++a, ++b;
  return static_cast<int>(FoldAscii(*a)) - static_cast<int>(FoldAscii(*b));
}
