// Code-page conversions with Windows semantics.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace os {

inline constexpr std::uint32_t kCodePageShiftJis = 932;
inline constexpr std::uint32_t kCodePageUtf8 = 65001;
// MultiByteToWide flag: prefer precomposed characters.
inline constexpr std::uint32_t kPrecomposed = 0x1;

// Converts `length` units (-1: up to and including the terminator) of
// `source` to the code page. With `capacity` 0 returns the bytes needed;
// otherwise returns the bytes written, or 0 when they do not fit (nothing
// beyond `capacity` is ever written). A lone surrogate becomes the code
// page's replacement (U+FFFD in UTF-8, '?' in Shift-JIS).
int WideToMultiByte(std::uint32_t code_page, const char16_t* source, int length,
                    char* out, int capacity);
// The reverse. Invalid input becomes U+FFFD in UTF-8 and the code page's
// default character otherwise.
int MultiByteToWide(std::uint32_t code_page, std::uint32_t flags,
                    const char* source, int length, char16_t* out, int capacity);

// The system's case-insensitive comparison of two texts (lstrcmpiW):
// -1, 0 or 1. Beyond letter case it ignores width and accents at first,
// and hyphens and apostrophes until all else is equal. On POSIX the same
// order for the characters paths use (see os/posix/text.cpp).
int CompareTextNoCase(const char16_t* a, const char16_t* b);
// Sorts `texts` stably in CompareTextNoCase's order, then drops every text
// equal to the one before it, so that the earliest form stays. On POSIX
// each text's weights are worked out once, not once per comparison.
void SortUniqueNoCase(std::vector<std::u16string>* texts);

}  // namespace os
