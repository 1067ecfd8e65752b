// Small helpers for zero-terminated UTF-16 strings.
#pragma once

#include <cstddef>

std::size_t WideLength(const char16_t* text);
// Copies `source` into `destination` of `capacity` units, always
// terminated; returns false when the text had to be cut (it is cut on a
// unit boundary that never splits a surrogate pair).
bool CopyWide(char16_t* destination, std::size_t capacity, const char16_t* source);
// Ordinal comparison of two strings (unit by unit, unsigned).
int CompareWide(const char16_t* a, const char16_t* b);
// ASCII case-insensitive comparison.
int CompareWideNoCase(const char16_t* a, const char16_t* b);
