#include "base/format.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "base/wide_buffer.h"

namespace {

enum class Size { kDefault, kChar, kShort, kLong, kLongLong, kSize, kMax, kPtrDiff, kLongDouble };

struct Directive {
  char flags[6] = {};  // subset of "-+ #0", as written
  int width = 0;
  int precision = -1;  // -1: none given
  Size size = Size::kDefault;
  char conversion = 0;
};

bool HasFlag(const Directive& d, char flag) {
  for (const char* f = d.flags; *f; ++f)
    if (*f == flag) return true;
  return false;
}

void AddFlag(Directive& d, char flag) {
  if (HasFlag(d, flag)) return;
  std::size_t n = 0;
  while (d.flags[n]) ++n;
  d.flags[n] = flag;
}

bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

// Reads digits, saturating at `limit`.
int ReadNumber(const char16_t*& p, int limit) {
  int value = 0;
  for (; IsDigit(*p); ++p) value = value >= limit ? limit : value * 10 + (*p - u'0');
  return value < limit ? value : limit;
}

// Parses the directive behind a '%'. Returns false (leaving the text to be
// copied as it stands) when the conversion is missing or unknown.
bool ParseDirective(const char16_t*& p, Directive& d, va_list* arguments, int limit) {
  for (;; ++p) {
    if (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0')
      AddFlag(d, static_cast<char>(*p));
    else
      break;
  }
  if (*p == u'*') {
    ++p;
    const int width = va_arg(*arguments, int);
    if (width < 0) AddFlag(d, '-');
    d.width = width == INT_MIN ? limit : (width < 0 ? -width : width);
  } else {
    d.width = ReadNumber(p, limit);
  }
  if (d.width > limit) d.width = limit;
  if (*p == u'.') {
    ++p;
    if (*p == u'*') {
      ++p;
      const int precision = va_arg(*arguments, int);
      d.precision = precision < 0 ? -1 : precision;
    } else {
      d.precision = ReadNumber(p, limit);
    }
    if (d.precision > limit) d.precision = limit;
  }

  if (p[0] == u'h' && p[1] == u'h') {
    d.size = Size::kChar;
    p += 2;
  } else if (p[0] == u'l' && p[1] == u'l') {
    d.size = Size::kLongLong;
    p += 2;
  } else if (p[0] == u'I') {
    if (p[1] != u'6' || p[2] != u'4') return false;
    d.size = Size::kLongLong;
    p += 3;
  } else {
    switch (*p) {
      case u'h': d.size = Size::kShort; break;
      case u'l': d.size = Size::kLong; break;
      case u'z': d.size = Size::kSize; break;
      case u'j': d.size = Size::kMax; break;
      case u't': d.size = Size::kPtrDiff; break;
      case u'L': d.size = Size::kLongDouble; break;
      default: break;
    }
    if (d.size != Size::kDefault) ++p;
  }

  switch (*p) {
    case u'd': case u'i': case u'u': case u'x': case u'X': case u'o':
    case u'f': case u'F': case u'e': case u'E': case u'g': case u'G': case u'a': case u'A':
    case u'c': case u's': case u'p': case u'%':
      d.conversion = static_cast<char>(*p++);
      return true;
    default:
      return false;
  }
}

long long SignedArgument(Size size, va_list* arguments) {
  switch (size) {
    case Size::kChar: return static_cast<signed char>(va_arg(*arguments, int));
    case Size::kShort: return static_cast<short>(va_arg(*arguments, int));
    case Size::kLong: return va_arg(*arguments, long);
    case Size::kLongLong: case Size::kLongDouble: return va_arg(*arguments, long long);
    case Size::kSize: case Size::kPtrDiff: return va_arg(*arguments, std::ptrdiff_t);
    case Size::kMax: return static_cast<long long>(va_arg(*arguments, std::intmax_t));
    case Size::kDefault: break;
  }
  return va_arg(*arguments, int);
}

unsigned long long UnsignedArgument(Size size, va_list* arguments) {
  switch (size) {
    case Size::kChar: return static_cast<unsigned char>(va_arg(*arguments, unsigned));
    case Size::kShort: return static_cast<unsigned short>(va_arg(*arguments, unsigned));
    case Size::kLong: return va_arg(*arguments, unsigned long);
    case Size::kLongLong: case Size::kLongDouble: return va_arg(*arguments, unsigned long long);
    case Size::kSize: case Size::kPtrDiff: return va_arg(*arguments, std::size_t);
    case Size::kMax: return static_cast<unsigned long long>(va_arg(*arguments, std::uintmax_t));
    case Size::kDefault: break;
  }
  return va_arg(*arguments, unsigned);
}

// Formats one number with the C library into `out`; the text is ASCII.
template <typename T>
void PutNumber(WideBufferWriter& out, const Directive& d, const char* length_modifier,
               char conversion, T value) {
  char narrow_format[24];
  std::snprintf(narrow_format, sizeof narrow_format, "%%%s*%s%s%c", d.flags, d.precision >= 0 ? ".*" : "",
                length_modifier, conversion);
  auto print = [&](char* buffer, std::size_t size) {
    return d.precision >= 0 ? std::snprintf(buffer, size, narrow_format, d.width, d.precision, value)
                            : std::snprintf(buffer, size, narrow_format, d.width, value);
  };

  char small[256];
  int length = print(small, sizeof small);
  if (length < 0) return;
  const char* text = small;
  std::unique_ptr<char[]> large;
  if (static_cast<std::size_t>(length) >= sizeof small) {
    large.reset(new (std::nothrow) char[static_cast<std::size_t>(length) + 1]);
    if (!large) return;
    length = print(large.get(), static_cast<std::size_t>(length) + 1);
    text = large.get();
  }
  for (int i = 0; i < length && out.Put(static_cast<unsigned char>(text[i])); ++i) {
  }
}

void PutPadded(WideBufferWriter& out, const Directive& d, const char16_t* text,
               std::size_t length) {
  const std::size_t width = static_cast<std::size_t>(d.width);
  const std::size_t padding = width > length ? width - length : 0;
  const bool left = HasFlag(d, '-');
  if (!left) out.Repeat(u' ', padding);
  out.Append(text, length);
  if (left) out.Repeat(u' ', padding);
}

void PutString(WideBufferWriter& out, const Directive& d, const char16_t* text) {
  if (!text) text = u"(null)";
  std::size_t length = 0;
  const std::size_t limit = d.precision >= 0 ? static_cast<std::size_t>(d.precision) : SIZE_MAX;
  while (length < limit && text[length]) ++length;
  // A precision never ends the text between the halves of a pair.
  if (length > 0 && text[length] && IsHighSurrogate(text[length - 1]) &&
      IsLowSurrogate(text[length]))
    --length;
  PutPadded(out, d, text, length);
}

void PutDirective(WideBufferWriter& out, const Directive& d, va_list* arguments) {
  switch (d.conversion) {
    case '%':
      out.Put(u'%');
      return;
    case 'c': {
      const auto unit = static_cast<char16_t>(va_arg(*arguments, int));
      PutPadded(out, d, &unit, 1);
      return;
    }
    case 's':
      PutString(out, d, va_arg(*arguments, const char16_t*));
      return;
    case 'p': {
      Directive pointer = d;
      if (pointer.precision < 0) pointer.precision = static_cast<int>(2 * sizeof(void*));
      const auto value = reinterpret_cast<std::uintptr_t>(va_arg(*arguments, void*));
      PutNumber(out, pointer, "ll", 'X', static_cast<unsigned long long>(value));
      return;
    }
    case 'd': case 'i':
      PutNumber(out, d, "ll", d.conversion, SignedArgument(d.size, arguments));
      return;
    case 'u': case 'x': case 'X': case 'o':
      PutNumber(out, d, "ll", d.conversion, UnsignedArgument(d.size, arguments));
      return;
    default: {
      const double value = d.size == Size::kLongDouble
                               ? static_cast<double>(va_arg(*arguments, long double))
                               : va_arg(*arguments, double);
      PutNumber(out, d, "", d.conversion, value);
      return;
    }
  }
}

}  // namespace

int FormatWideV(char16_t* destination, std::size_t capacity, const char16_t* format,
                va_list arguments) {
  if (!destination || capacity == 0) return 0;
  WideBufferWriter out(destination, capacity);
  if (!format) return static_cast<int>(out.Finish());

  // Widths and precisions this far beyond the buffer cannot change what is
  // kept (numbers are at most a few hundred characters long without their
  // padding), so they are capped and the C library never makes huge texts.
  constexpr int kMaxLimit = INT_MAX / 16;
  const int limit = capacity > (kMaxLimit - 1024) / 2 ? kMaxLimit
                                                      : static_cast<int>(2 * capacity + 1024);
  va_list remaining;
  va_copy(remaining, arguments);
  for (const char16_t* p = format; *p;) {
    if (*p != u'%') {
      out.Put(*p++);
      continue;
    }
    const char16_t* start = p++;
    Directive directive;
    if (ParseDirective(p, directive, &remaining, limit))
      PutDirective(out, directive, &remaining);
    else
      out.Append(start, static_cast<std::size_t>(p - start));
  }
  va_end(remaining);
  return static_cast<int>(out.Finish());
}

int FormatWide(char16_t* destination, std::size_t capacity, const char16_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int written = FormatWideV(destination, capacity, format, arguments);
  va_end(arguments);
  return written;
}
