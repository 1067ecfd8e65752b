// The order of an NTFS listing, which the POSIX listings reproduce so that
// they do not depend on the file system's own order.
#pragma once

#include <algorithm>
#include <string_view>

namespace os::posix {

// Names compared unit by unit with ASCII letters folded to upper case.
inline bool NtfsNameLess(std::u16string_view a, std::u16string_view b) {
  auto fold = [](char16_t c) -> char16_t { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

}  // namespace os::posix
