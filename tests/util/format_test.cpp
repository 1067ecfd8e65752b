#include "util/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

template <typename... Args>
std::u16string Format(const char16_t* format, Args... args) {
  char16_t out[512];
  const int length = FormatWide(out, 512, format, args...);
  EXPECT_EQ(length, static_cast<int>(std::u16string(out).size()));
  return out;
}

TEST(FormatWide, StringsAndCharacters) {
  EXPECT_EQ(Format(u"plain"), u"plain");
  EXPECT_EQ(Format(u"%s : %s", u"qvFile", u"\u958B\u3051\u307E\u305B\u3093"),
            u"qvFile : \u958B\u3051\u307E\u305B\u3093");
  EXPECT_EQ(Format(u"[%5s|%-5s]", u"ab", u"cd"), u"[   ab|cd   ]");
  EXPECT_EQ(Format(u"[%.2s]", u"abcd"), u"[ab]");
  EXPECT_EQ(Format(u"[%*.*s]", 4, 1, u"xyz"), u"[   x]");
  EXPECT_EQ(Format(u"[%*s]", -3, u"x"), u"[x  ]");
  EXPECT_EQ(Format(u"%ls", u"long"), u"long");
  EXPECT_EQ(Format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  EXPECT_EQ(Format(u"%c%c%3c", u'a', u'\u3042', u'z'), u"a\u3042  z");
  // A precision does not split a pair.
  EXPECT_EQ(Format(u"[%.2s]", u"a\U0001F600"), u"[a]");
  EXPECT_EQ(Format(u"100%%"), u"100%");
}

TEST(FormatWide, Integers) {
  EXPECT_EQ(Format(u"%d %i %u", -5, 7, 4000000000u), u"-5 7 4000000000");
  EXPECT_EQ(Format(u"%x %X %o %#x", 255u, 255u, 8u, 255u), u"ff FF 10 0xff");
  EXPECT_EQ(Format(u"[%5d|%-5d|%05d|%+d|% d]", 42, 42, -42, 42, 42),
            u"[   42|42   |-0042|+42| 42]");
  EXPECT_EQ(Format(u"%.3d", 7), u"007");
  EXPECT_EQ(Format(u"%hd %hhd %hu", 70000, 200, 70000), u"4464 -56 4464");
  EXPECT_EQ(Format(u"%ld %lu", -123456789L, 123456789UL), u"-123456789 123456789");
  EXPECT_EQ(Format(u"%lld %llx", -9000000000LL, 0x123456789ULL), u"-9000000000 123456789");
  EXPECT_EQ(Format(u"%I64d %I64u", -9000000000LL, 18000000000ULL), u"-9000000000 18000000000");
  EXPECT_EQ(Format(u"%zu", static_cast<std::size_t>(1) << 40), u"1099511627776");
}

TEST(FormatWide, FloatingPoint) {
  EXPECT_EQ(Format(u"%f", 1.5), u"1.500000");
  EXPECT_EQ(Format(u"%.2f|%8.3f|%-8.1f|", 3.14159, 2.5, 2.5), u"3.14|   2.500|2.5     |");
  EXPECT_EQ(Format(u"%e", 12345.0), u"1.234500e+04");
  EXPECT_EQ(Format(u"%g %g", 0.0001, 1e20), u"0.0001 1e+20");
  EXPECT_EQ(Format(u"%E %G", 1.0, 1e-10), u"1.000000E+00 1E-10");
}

TEST(FormatWide, Pointers) {
  int object = 0;
  const std::u16string text = Format(u"%p", static_cast<void*>(&object));
  EXPECT_EQ(text.size(), 2 * sizeof(void*));
  EXPECT_EQ(Format(u"%p", static_cast<void*>(nullptr)), std::u16string(2 * sizeof(void*), u'0'));
}

TEST(FormatWide, UnknownDirectivesStayAsText) {
  EXPECT_EQ(Format(u"%q %d", 3), u"%q 3");
  EXPECT_EQ(Format(u"50%"), u"50%");
  EXPECT_EQ(Format(u"%I32d", 3), u"%I32d");
  EXPECT_EQ(Format(u"%n"), u"%n");
}

TEST(FormatWide, CutsAtCapacity) {
  char16_t out[8];
  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_EQ(FormatWide(out, 5, u"%s-%d", u"abc", 12345), 4);
  EXPECT_EQ(std::u16string(out), u"abc-");
  EXPECT_EQ(out[5], u'#');
  // The cut takes back the first half of a pair whose second half is lost.
  EXPECT_EQ(FormatWide(out, 4, u"ab\U0001F600"), 2);
  EXPECT_EQ(std::u16string(out), u"ab");
  EXPECT_EQ(FormatWide(out, 1, u"abc"), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(FormatWide(nullptr, 8, u"abc"), 0);
  EXPECT_EQ(FormatWide(out, 8, nullptr), 0);
  EXPECT_EQ(out[0], 0);
}

TEST(FormatWide, HugeWidthsAndPrecisionsKeepTheirVisiblePart) {
  char16_t out[8];
  EXPECT_EQ(FormatWide(out, 8, u"%1000000000d", 5), 7);
  EXPECT_EQ(std::u16string(out), u"       ");
  EXPECT_EQ(FormatWide(out, 8, u"%-1000000000d", 5), 7);
  EXPECT_EQ(std::u16string(out), u"5      ");
  EXPECT_EQ(FormatWide(out, 8, u"%.1000000000f", 0.5), 7);
  EXPECT_EQ(std::u16string(out), u"0.50000");
  EXPECT_EQ(FormatWide(out, 8, u"%.100g", 1e50), 7);
  EXPECT_EQ(std::u16string(out), u"1000000");
  EXPECT_EQ(FormatWide(out, 8, u"%*d", 2147483647, 5), 7);
}

}  // namespace
