// The order of an NTFS listing, which the POSIX listings reproduce so that
// they do not depend on the file system's own order.
#pragma once

#include <algorithm>
#include <string_view>

namespace os::posix {

// Names compared unit by unit with ASCII letters folded to upper case;
// names that differ only in case (which NTFS cannot hold together) are
// ordered unit by unit, so that the order never depends on the sort.
inline bool NtfsNameLess(std::u16string_view a, std::u16string_view b) {
  auto fold = [](char16_t c) -> char16_t { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; };
  auto folded_less = [&](std::u16string_view x, std::u16string_view y) {
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
                                        [&](char16_t p, char16_t q) { return fold(p) < fold(q); });
  };
  if (folded_less(a, b)) return true;
  if (folded_less(b, a)) return false;
  return a < b;
}

}  // namespace os::posix
