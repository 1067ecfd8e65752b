#include "util/text_search.h"

#include "base/wide_buffer.h"
#include "base/wide_string.h"

namespace {

// Offset of the first occurrence of `needle` in `haystack`, both
// zero-terminated, or -1.
template <typename Char>
int FindSequence(const Char* haystack, const Char* needle) {
  if (!haystack || !needle || !haystack[0]) return -1;
  for (int start = 0; haystack[start]; ++start) {
    int i = 0;
    while (needle[i] && haystack[start + i] == needle[i]) ++i;
    if (!needle[i]) return start;
  }
  return -1;
}

// ASCII-only case mapping with a walk that steps over the unit following
// any unit with a non-zero high byte, as a double-byte walk would.
template <char16_t kFrom, char16_t kTo>
int ChangeCase(char16_t* text) {
  if (!text) return 0;
  int i = 0;
  while (text[i]) {
    if (text[i] >> 8) {
      if (!text[i + 1]) return i + 1;
      i += 2;
      continue;
    }
    if (text[i] >= kFrom && text[i] <= kFrom + 25)
      text[i] = static_cast<char16_t>(text[i] - kFrom + kTo);
    ++i;
  }
  return i;
}

}  // namespace

int FindBytes(const char* haystack, const char* needle) {
  return FindSequence(haystack, needle);
}

int FindText(const char16_t* haystack, const char16_t* needle) {
  return FindSequence(haystack, needle);
}

int FindChar(const char16_t* text, char16_t character) {
  if (!text || !character) return -1;
  for (int i = 0; text[i]; ++i)
    if (text[i] == character) return i;
  return -1;
}

int FindCharA(const char* text, std::uint32_t character) {
  if (!text || character == 0 || character > 0xFFFF) return -1;
  if (character > 0xFF) {
    const auto lead = static_cast<char>(character >> 8);
    const auto trail = static_cast<char>(character & 0xFF);
    if (!trail) return -1;
    for (int i = 0; text[i] && text[i + 1]; ++i)
      if (text[i] == lead && text[i + 1] == trail) return i;
    return -1;
  }
  // A single byte from 0x80 up compares as a negative char against a
  // positive code and never matches.
  if (character >= 0x80) return -1;
  for (int i = 0; text[i]; ++i)
    if (text[i] == static_cast<char>(character)) return i;
  return -1;
}

std::size_t ReplaceText(char16_t* destination, std::size_t capacity,
                        const char16_t* source, const char16_t* find,
                        const char16_t* replacement) {
  if (!destination || capacity == 0) return 0;
  WideBufferWriter out(destination, capacity);
  if (!source) return out.Finish();

  const std::size_t find_length = WideLength(find);
  if (find_length == 0) {
    out.Append(source, WideLength(source));
    return out.Finish();
  }
  const std::size_t replacement_length = WideLength(replacement);
  const char16_t* rest = source;
  for (int found; (found = FindText(rest, find)) >= 0;) {
    out.Append(rest, static_cast<std::size_t>(found));
    out.Append(replacement, replacement_length);
    rest += found + find_length;
  }
  out.Append(rest, WideLength(rest));
  return out.Finish();
}

int ToLowerText(char16_t* text) { return ChangeCase<u'A', u'a'>(text); }

int ToUpperText(char16_t* text) { return ChangeCase<u'a', u'A'>(text); }

int ReadTextLine(const char* buffer, char* destination, std::size_t capacity) {
  if (!buffer) {
    if (destination && capacity > 0) destination[0] = 0;
    return 0;
  }
  int length = 0;
  while (buffer[length] && buffer[length] != '\n') ++length;

  int consumed = length;
  int line_length = length;
  if (buffer[length] == '\n') {
    consumed = length + 1;
    if (length > 0 && buffer[length - 1] == '\r') --line_length;
  }

  if (destination && capacity > 0) {
    // Room for the line and its two zero bytes; with less, only zeros.
    std::size_t copied = capacity >= 2 ? capacity - 2 : 0;
    if (copied > static_cast<std::size_t>(line_length)) copied = static_cast<std::size_t>(line_length);
    for (std::size_t i = 0; i < copied; ++i) destination[i] = buffer[i];
    destination[copied] = 0;
    if (copied + 1 < capacity) destination[copied + 1] = 0;
  }
  return consumed;
}
