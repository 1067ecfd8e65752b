#include "base/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace {

template <typename... Args>
std::u16string Format(std::size_t capacity, const char16_t* format, Args... args) {
  char16_t out[256];
  const int length = FormatWide(out, capacity, format, args...);
  EXPECT_EQ(length, static_cast<int>(std::u16string(out).size()));
  return out;
}

TEST(FormatWide, StringsAndCharacters) {
  EXPECT_EQ(Format(256, u"%s : %s", u"qvFile", u"\u958B\u3051\u307E\u305B\u3093"),
            u"qvFile : \u958B\u3051\u307E\u305B\u3093");
  EXPECT_EQ(Format(256, u"[%5s|%-5s|%.2s]", u"ab", u"cd", u"xyz"), u"[   ab|cd   |xy]");
  EXPECT_EQ(Format(256, u"[%*.*s|%*s]", 4, 1, u"xyz", -3, u"x"), u"[   x|x  ]");
  EXPECT_EQ(Format(256, u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  EXPECT_EQ(Format(256, u"%c%3c 100%%", u'\u3042', u'z'), u"\u3042  z 100%");
  // A precision does not split a pair.
  EXPECT_EQ(Format(256, u"[%.2s]", u"a\U0001F600"), u"[a]");
}

TEST(FormatWide, Numbers) {
  EXPECT_EQ(Format(256, u"%d %i %u", -5, 7, 4000000000u), u"-5 7 4000000000");
  EXPECT_EQ(Format(256, u"%x %X %o %#x %08x", 255u, 255u, 8u, 255u, 0x411u),
            u"ff FF 10 0xff 00000411");
  EXPECT_EQ(Format(256, u"[%-4d|%05d|%+d|% d|%.3d|lang%02d]", 4, -42, 4, 4, 7, 3),
            u"[4   |-0042|+4| 4|007|lang03]");
  EXPECT_EQ(Format(256, u"%hd %hhd", 70000, 200), u"4464 -56");
  EXPECT_EQ(Format(256, u"%ld %lld %I64u %zu", -7L, -9000000000LL, 18000000000ULL,
                   static_cast<std::size_t>(1) << 40),
            u"-7 -9000000000 18000000000 1099511627776");
  EXPECT_EQ(Format(256, u"%.2f|%8.3f|%e|%g|%G", 3.14159, 2.5, 12345.0, 0.0001, 1e-10),
            u"3.14|   2.500|1.234500e+04|0.0001|1E-10");
  EXPECT_EQ(Format(256, u"%p", static_cast<void*>(nullptr)),
            std::u16string(2 * sizeof(void*), u'0'));
  // Unknown directives stay as text.
  EXPECT_EQ(Format(256, u"%q %d %I32d %n 5%", 3), u"%q 3 %I32d %n 5%");
}

TEST(FormatWide, CutsAtCapacity) {
  char16_t out[8];
  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_EQ(FormatWide(out, 5, u"%s-%d", u"abc", 12345), 4);
  EXPECT_EQ(std::u16string(out), u"abc-");
  EXPECT_EQ(out[5], u'#');
  EXPECT_EQ(Format(4, u"ab\U0001F600"), u"ab");
  EXPECT_EQ(Format(1, u"abc"), u"");
  EXPECT_EQ(Format(8, nullptr), u"");
  // Huge widths and precisions keep exactly their visible part.
  EXPECT_EQ(Format(8, u"%1000000000d", 5), u"       ");
  EXPECT_EQ(Format(8, u"%-*d", 2147483647, 5), u"5      ");
  EXPECT_EQ(Format(8, u"%.1000000000f", 0.5), u"0.50000");
  EXPECT_EQ(Format(8, u"%.100g", 1e50), u"1000000");
}

}  // namespace
