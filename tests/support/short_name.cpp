#include "support/short_name.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace qvtest {

#ifdef _WIN32
std::u16string ShortNameOf(const std::filesystem::path& path) {
  const std::wstring long_path = path.wstring();
  DWORD needed = ::GetShortPathNameW(long_path.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::wstring short_path(needed, L'\0');
  DWORD length = ::GetShortPathNameW(long_path.c_str(), short_path.data(), needed);
  if (length == 0 || length >= needed) return {};
  short_path.resize(length);
  const std::u16string short_name = std::filesystem::path(short_path).filename().u16string();
  return short_name == path.filename().u16string() ? std::u16string() : short_name;
}
#else
std::u16string ShortNameOf(const std::filesystem::path&) { return {}; }
#endif

}  // namespace qvtest
