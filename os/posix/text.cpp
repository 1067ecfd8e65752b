// Code-page conversions and the case-insensitive comparison.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "os/file.h"
#include "os/posix/errno_map.h"
#include "os/posix/shift_jis.h"
#include "os/text.h"

namespace os {

// WideToMultiByte / MultiByteToWide with the contract of the Windows
// converters: -1 lengths include the terminator, capacity 0 asks for the
// size, and a destination that is too small gets nothing beyond its
// capacity and fails with kErrorInsufficientBuffer.
namespace {

int Fail(std::uint32_t code) {
  SetLastError(code);
  return 0;
}

template <typename Unit>
int Deliver(const std::basic_string<Unit>& result, Unit* out, int capacity) {
  if (result.size() > static_cast<std::size_t>(INT_MAX)) return Fail(kErrorInvalidParameter);
  int size = static_cast<int>(result.size());
  if (capacity == 0) return size;
  if (size > capacity) return Fail(kErrorInsufficientBuffer);
  std::memcpy(out, result.data(), result.size() * sizeof(Unit));
  return size;
}

template <typename Unit>
bool ValidArguments(const Unit* source, int length, const void* out, int capacity) {
  if (!source || length == 0 || length < -1 || capacity < 0 || (capacity > 0 && !out))
    return false;
  // Windows also refuses a destination that overlaps the source.
  return out != static_cast<const void*>(source);
}

template <typename Unit>
std::basic_string_view<Unit> SourceView(const Unit* source, int length) {
  if (length >= 0) return {source, static_cast<std::size_t>(length)};
  // -1: up to and including the terminator.
  return {source, std::char_traits<Unit>::length(source) + 1};
}

}  // namespace

int WideToMultiByte(std::uint32_t code_page, const char16_t* source, int length, char* out,
                    int capacity) {
  if (!ValidArguments(source, length, out, capacity)) return Fail(kErrorInvalidParameter);
  std::u16string_view text = SourceView(source, length);
  std::string result;
  if (code_page == kCodePageUtf8) {
    ::AppendUtf8(text, result);
  } else if (code_page != kCodePageShiftJis || !posix::WideToShiftJis(text, result)) {
    return Fail(kErrorInvalidParameter);
  }
  return Deliver(result, out, capacity);
}

int MultiByteToWide(std::uint32_t code_page, std::uint32_t flags, const char* source, int length,
                    char16_t* out, int capacity) {
  if (!ValidArguments(source, length, out, capacity)) return Fail(kErrorInvalidParameter);
  std::string_view bytes = SourceView(source, length);
  std::u16string result;
  if (code_page == kCodePageUtf8) {
    // Windows accepts no conversion flags for UTF-8.
    if (flags != 0) return Fail(posix::kErrorInvalidFlags);
    ::AppendUtf16(bytes, result);
  } else if (code_page != kCodePageShiftJis || !posix::ShiftJisToWide(bytes, result)) {
    return Fail(kErrorInvalidParameter);
  }
  return Deliver(result, out, capacity);
}

// The case-insensitive comparison, ordered as lstrcmpiW orders text.
//
// Windows compares in levels: first the characters' primary weights (the
// letter itself, case, accents and width aside), then their secondary
// (accent) weights, then their tertiary weights (width, kana type; case
// does not count here), and last the characters without a primary weight
// (hyphens, apostrophes, controls), where an earlier one weighs more. The
// weights come from collation_table.inc, measured from lstrcmpiW by
// tools/collation for the characters paths use: Latin, Greek, Cyrillic,
// general punctuation, kana and CJK symbols, full- and half-width forms;
// CJK ideographs follow by code point. Other characters sort after all of
// these by code point. Two Windows rules are kept as well: a few letters
// count as two ("ss" for "ß", "ae" for "æ"), and a prolonged sound mark
// ("ー") repeats the character before it, or that kana's vowel.
namespace {

enum CollationKind : std::uint8_t { kPrimary, kSpecial, kIgnored };

struct CollationRun {
  char16_t first;
  char16_t last;
  std::uint16_t primary;  // of `first`; the others add `step` per code point
  std::uint8_t secondary;
  std::uint8_t tertiary;
  std::uint8_t step;
  std::uint16_t special;
  CollationKind kind;
  char16_t prolong;  // what a following prolonged sound mark stands for
};

struct CollationExpansion {
  char16_t code;
  char first;
  char second;
};

#include "os/posix/collation_table.inc"

constexpr std::uint32_t kUnlistedPrimary = 0x10000;
// A prolonged mark after a kana sorts after the vowel it repeats written
// out, the half-width mark before the full-width one.
constexpr std::uint16_t kProlongedTertiary = 0xFF00;

bool IsProlongedMark(char16_t c) { return c == u'\u30FC' || c == u'\uFF70'; }

struct Weights {
  CollationKind kind = kPrimary;
  std::uint32_t primary = 0;
  std::uint16_t secondary = 0;
  std::uint16_t tertiary = 0;
  std::uint16_t special = 0;
  char16_t prolong = 0;
};

Weights FromRun(const CollationRun& run, char16_t c) {
  Weights w;
  w.kind = run.kind;
  w.primary = run.primary + run.step * static_cast<std::uint32_t>(c - run.first);
  w.secondary = run.secondary;
  w.tertiary = run.tertiary;
  w.special = run.special;
  w.prolong = run.prolong;
  return w;
}

Weights WeightsOf(char16_t c) {
  const CollationRun* begin = std::begin(kCollationRuns);
  const CollationRun* end = std::end(kCollationRuns);
  const CollationRun* run = std::upper_bound(
      begin, end, c, [](char16_t code, const CollationRun& r) { return code < r.first; });
  if (run != begin && c <= (run - 1)->last) return FromRun(*(run - 1), c);
  if (c >= kIdeographs.first && c <= kIdeographs.last) return FromRun(kIdeographs, c);
  Weights w;
  w.primary = kUnlistedPrimary + c;
  return w;
}

struct Element {
  std::uint32_t primary;
  std::uint16_t secondary;
  std::uint16_t tertiary;
};

struct Special {
  std::uint32_t position;
  std::uint16_t weight;
};

struct Key {
  std::vector<Element> elements;
  std::vector<Special> specials;
};

Key KeyOf(const char16_t* text) {
  Key key;
  Weights previous;
  bool has_previous = false;
  for (std::uint32_t i = 0; text[i] != 0; ++i) {
    const char16_t c = text[i];
    Weights w = WeightsOf(c);
    if (IsProlongedMark(c) && has_previous) {
      if (previous.kind == kSpecial) {
        // Behind a hyphen it weighs less than any character.
        w = Weights{};
      } else if (previous.prolong != 0) {
        w = WeightsOf(previous.prolong);
        w.tertiary = static_cast<std::uint16_t>(kProlongedTertiary + (c == u'\u30FC'));
      } else {
        w = previous;
      }
    }
    for (const CollationExpansion& expansion : kCollationExpansions) {
      if (expansion.code != c) continue;
      const Weights first = WeightsOf(static_cast<char16_t>(expansion.first));
      key.elements.push_back({first.primary, first.secondary, first.tertiary});
      w = WeightsOf(static_cast<char16_t>(expansion.second));
      break;
    }
    if (w.kind == kPrimary) {
      key.elements.push_back({w.primary, w.secondary, w.tertiary});
    } else if (w.kind == kSpecial) {
      key.specials.push_back({i, w.special});
    }
    if (w.kind != kIgnored) {
      previous = w;
      has_previous = true;
    }
  }
  return key;
}

template <typename T, typename Field>
int CompareSequences(const std::vector<T>& a, const std::vector<T>& b, Field field) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = field(a[i]);
    const auto y = field(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

int CompareKeys(const Key& x, const Key& y) {
  if (int r = CompareSequences(x.elements, y.elements, [](const Element& e) { return e.primary; }))
    return r;
  if (int r = CompareSequences(x.elements, y.elements, [](const Element& e) { return e.secondary; }))
    return r;
  if (int r = CompareSequences(x.elements, y.elements, [](const Element& e) { return e.tertiary; }))
    return r;
  // An earlier special character weighs more.
  return CompareSequences(x.specials, y.specials, [](const Special& s) {
    return (std::uint64_t{0xFFFFFFFFu - s.position} << 16) | s.weight;
  });
}

}  // namespace

int CompareTextNoCase(const char16_t* a, const char16_t* b) {
  return CompareKeys(KeyOf(a ? a : u""), KeyOf(b ? b : u""));
}

void SortUniqueNoCase(std::vector<std::u16string>* texts) {
  struct Keyed {
    Key key;
    std::u16string text;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(texts->size());
  for (std::u16string& text : *texts) keyed.push_back({KeyOf(text.c_str()), std::move(text)});
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const Keyed& a, const Keyed& b) { return CompareKeys(a.key, b.key) < 0; });
  texts->clear();
  for (std::size_t i = 0; i < keyed.size(); ++i)
    if (i == 0 || CompareKeys(keyed[i - 1].key, keyed[i].key) != 0)
      texts->push_back(std::move(keyed[i].text));
}

}  // namespace os
