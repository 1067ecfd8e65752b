// The names the tree operations of os/tree.h accept, shared by both
// backends so that they refuse the same ones.
#pragma once

#include <string_view>

namespace os {

// One component: not empty, not "." or "..", without a separator, a
// drive or stream colon, or a zero unit.
inline bool IsEntryName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  return name.find_first_of(std::u16string_view(u"\\/:\0", 4)) == std::u16string_view::npos;
}

// Calls `visit(component)` for each component of `relative` ('\' or '/'
// separated, empty ones skipped) until it returns false; returns whether
// every visit returned true.
template <typename Visit>
bool ForEachComponent(std::u16string_view relative, Visit visit) {
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = relative.size();
    if (end > start && !visit(relative.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace os
