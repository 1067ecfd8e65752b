// Code-page conversions and the case-insensitive order.
#include <algorithm>

#include "os/text.h"
#include "os/win32/windows_fwd.h"

namespace os {

namespace {

bool CheckArguments(const void* source, const void* out, int capacity) {
  if (source && capacity >= 0 && (out || capacity == 0)) return true;
  ::SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

// The system refuses MB_PRECOMPOSED for the Unicode code pages.
DWORD SystemFlags(std::uint32_t code_page, std::uint32_t flags) {
  if (code_page == CP_UTF8 || code_page == CP_UTF7) return 0;
  return (flags & kPrecomposed) ? MB_PRECOMPOSED : 0;
}

}  // namespace

int WideToMultiByte(std::uint32_t code_page, const char16_t* source, int length,
                    char* out, int capacity) {
  if (!CheckArguments(source, out, capacity)) return 0;
  return ::WideCharToMultiByte(code_page, 0, win32::Wide(source), length, out,
                               capacity, nullptr, nullptr);
}

int MultiByteToWide(std::uint32_t code_page, std::uint32_t flags,
                    const char* source, int length, char16_t* out, int capacity) {
  if (!CheckArguments(source, out, capacity)) return 0;
  return ::MultiByteToWideChar(code_page, SystemFlags(code_page, flags), source,
                               length, reinterpret_cast<LPWSTR>(out), capacity);
}

int CompareTextNoCase(const char16_t* a, const char16_t* b) {
  const int result = ::lstrcmpiW(win32::Wide(a ? a : u""), win32::Wide(b ? b : u""));
  return result < 0 ? -1 : result > 0 ? 1 : 0;
}

void SortUniqueNoCase(std::vector<std::u16string>* texts) {
  auto compare = [](const std::u16string& a, const std::u16string& b) {
    return CompareTextNoCase(a.c_str(), b.c_str());
  };
  std::stable_sort(texts->begin(), texts->end(),
                   [&](const auto& a, const auto& b) { return compare(a, b) < 0; });
  texts->erase(std::unique(texts->begin(), texts->end(),
                           [&](const auto& a, const auto& b) { return compare(a, b) == 0; }),
               texts->end());
}

}  // namespace os
