#include "util/integer.h"

#include <type_traits>

namespace {

int HexDigit(unsigned unit) {
  if (unit >= '0' && unit <= '9') return static_cast<int>(unit - '0');
  if (unit >= 'a' && unit <= 'f') return static_cast<int>(unit - 'a' + 10);
  if (unit >= 'A' && unit <= 'F') return static_cast<int>(unit - 'A' + 10);
  return -1;
}

bool IsDecimal(unsigned unit) { return unit >= '0' && unit <= '9'; }

// Optional sign, then decimal digits or "0x" and hexadecimal digits; the
// value wraps in 32 bits. A "0x" that no hexadecimal digit follows is the
// number 0 ending at the "x", which is not used. A '.' right behind decimal
// digits fails the parse but still reports the digits' value and the index
// of the '.'.
template <typename Char>
int Parse(const Char* text, int* end_index, std::int32_t* value) {
  if (!text) return 0;
  using Unit = std::make_unsigned_t<Char>;
  auto at = [text](int i) { return static_cast<unsigned>(static_cast<Unit>(text[i])); };

  int i = 0;
  const bool negative = at(0) == '-';
  if (negative || at(0) == '+') ++i;
  if (!IsDecimal(at(i))) return 0;

  std::uint32_t magnitude = 0;
  bool fraction = false;
  if (at(i) == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X') && HexDigit(at(i + 2)) >= 0) {
    for (i += 2; HexDigit(at(i)) >= 0; ++i) magnitude = magnitude * 16 + HexDigit(at(i));
  } else {
    for (; IsDecimal(at(i)); ++i) magnitude = magnitude * 10 + (at(i) - '0');
    fraction = at(i) == '.';
  }

  if (negative) magnitude = 0u - magnitude;
  if (end_index) *end_index = i;
  if (value) *value = static_cast<std::int32_t>(magnitude);
  return fraction ? 0 : 1;
}

}  // namespace

std::int32_t ParseInteger(const char* text) {
  std::int32_t value = 0;
  return Parse(text, nullptr, &value) ? value : 0;
}

int ParseIntegerA(const char* text, int* end_index, std::int32_t* value) {
  return Parse(text, end_index, value);
}

int ParseIntegerW(const char16_t* text, int* end_index, std::int32_t* value) {
  return Parse(text, end_index, value);
}
