// The engine's form of a native path: backslashes between the names.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>

namespace bench {

inline std::u16string EnginePath(const std::filesystem::path& path) {
  std::u16string text = path.u16string();
  std::replace(text.begin(), text.end(), u'/', u'\\');
  return text;
}

}  // namespace bench
