#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "util/memory.h"
#include "base/wide_string.h"

namespace {

TEST(CopyWide, CutsOnWholeCharacters) {
  char16_t out[6];
  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_TRUE(CopyWide(out, 4, u"abc"));
  EXPECT_FALSE(CopyWide(out, 4, u"abcd"));
  EXPECT_EQ(std::u16string(out), u"abc");
  EXPECT_EQ(out[4], u'#');
  EXPECT_FALSE(CopyWide(out, 4, u"ab\U0001F600"));
  EXPECT_EQ(std::u16string(out), u"ab");
  EXPECT_TRUE(CopyWide(out, 5, u"ab\U0001F600"));
  EXPECT_EQ(std::u16string(out), u"ab\U0001F600");
}

TEST(CompareWide, OrdinalAndAsciiNoCase) {
  EXPECT_LT(CompareWide(u"ab", u"abc"), 0);
  EXPECT_LT(CompareWide(u"Z", u"a"), 0);
  EXPECT_GT(CompareWide(u"\uFF21", u"z"), 0);
  EXPECT_LT(CompareWide(nullptr, u""), 0);
  EXPECT_EQ(CompareWideNoCase(u"Data\\A.BIN", u"data\\a.bin"), 0);
  EXPECT_LT(CompareWideNoCase(u"ABC", u"abd"), 0);
  EXPECT_NE(CompareWideNoCase(u"\u00C9", u"\u00E9"), 0);
  // Letters fold to lower case, so '_' sorts before them.
  EXPECT_LT(CompareWideNoCase(u"_", u"A"), 0);
}

TEST(Memory, CopyZeroCompare) {
  unsigned char a[16], b[16];
  for (int i = 0; i < 16; ++i) a[i] = static_cast<unsigned char>(0x80 + i);
  ZeroBytes(b, sizeof b);
  EXPECT_EQ(std::count(std::begin(b), std::end(b), 0), 16);
  CopyBytes(b, a, 12);
  EXPECT_EQ(CompareBytes(a, b, 12), 0);
  // Unsigned difference of the first unequal pair.
  EXPECT_EQ(CompareBytes(a, b, 13), 0x8C);
  EXPECT_EQ(CompareBytes(b, a, 13), -0x8C);
  EXPECT_EQ(CompareBytes(a + 12, b + 12, 1), 0x8C);
  EXPECT_EQ(CompareBytes(nullptr, nullptr, 4), 0);
  EXPECT_NE(CompareBytes(nullptr, a, 4), 0);
  CopyBytes(nullptr, a, 4);
  ZeroBytes(nullptr, 4);
}

}  // namespace
