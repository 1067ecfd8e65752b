#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "util/memory.h"
#include "util/wide_string.h"

namespace {

TEST(WideString, LengthAndCopy) {
  EXPECT_EQ(WideLength(u"abc"), 3u);
  EXPECT_EQ(WideLength(u""), 0u);
  EXPECT_EQ(WideLength(nullptr), 0u);

  char16_t out[6];
  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_TRUE(CopyWide(out, 4, u"abc"));
  EXPECT_EQ(std::u16string(out), u"abc");
  EXPECT_FALSE(CopyWide(out, 4, u"abcd"));
  EXPECT_EQ(std::u16string(out), u"abc");
  EXPECT_EQ(out[4], u'#');
  // The cut falls between the halves of a pair: both are left out.
  EXPECT_FALSE(CopyWide(out, 4, u"ab\U0001F600"));
  EXPECT_EQ(std::u16string(out), u"ab");
  EXPECT_TRUE(CopyWide(out, 5, u"ab\U0001F600"));
  EXPECT_EQ(std::u16string(out), u"ab\U0001F600");
  EXPECT_TRUE(CopyWide(out, 4, nullptr));
  EXPECT_EQ(out[0], 0);
  EXPECT_FALSE(CopyWide(out, 0, u"a"));
}

TEST(WideString, Comparisons) {
  EXPECT_EQ(CompareWide(u"abc", u"abc"), 0);
  EXPECT_LT(CompareWide(u"ab", u"abc"), 0);
  EXPECT_GT(CompareWide(u"b", u"abc"), 0);
  EXPECT_LT(CompareWide(u"Z", u"a"), 0);
  // Ordinal and unsigned: a high unit sorts after ASCII.
  EXPECT_GT(CompareWide(u"\uFF21", u"z"), 0);
  EXPECT_LT(CompareWide(nullptr, u""), 0);
  EXPECT_EQ(CompareWide(nullptr, nullptr), 0);

  EXPECT_EQ(CompareWideNoCase(u"Data\\A.BIN", u"data\\a.bin"), 0);
  EXPECT_LT(CompareWideNoCase(u"ABC", u"abd"), 0);
  EXPECT_GT(CompareWideNoCase(u"abcd", u"ABC"), 0);
  // Only ASCII letters fold; the fold goes to lower case, so '_' sorts
  // before letters.
  EXPECT_NE(CompareWideNoCase(u"\u00C9", u"\u00E9"), 0);
  EXPECT_LT(CompareWideNoCase(u"_", u"A"), 0);
}

TEST(Memory, CopyZeroCompare) {
  unsigned char a[16], b[16];
  for (int i = 0; i < 16; ++i) a[i] = static_cast<unsigned char>(i + 1);
  ZeroBytes(b, sizeof b);
  for (unsigned char byte : b) EXPECT_EQ(byte, 0);
  CopyBytes(b, a, 12);
  EXPECT_EQ(CompareBytes(a, b, 12), 0);
  EXPECT_NE(CompareBytes(a, b, 13), 0);

  const unsigned char low[] = {1, 2, 0x10};
  const unsigned char high[] = {1, 2, 0xF0};
  EXPECT_EQ(CompareBytes(low, high, 3), 0x10 - 0xF0);
  EXPECT_EQ(CompareBytes(high, low, 3), 0xF0 - 0x10);
  EXPECT_EQ(CompareBytes(low, high, 0), 0);

  // Overlapping copies move the bytes as a whole.
  CopyBytes(a + 1, a, 8);
  EXPECT_EQ(a[1], 1);
  EXPECT_EQ(a[8], 8);

  // Null pointers and zero counts do nothing.
  CopyBytes(nullptr, a, 4);
  CopyBytes(b, nullptr, 4);
  ZeroBytes(nullptr, 4);
  EXPECT_NE(CompareBytes(nullptr, a, 4), 0);
  EXPECT_EQ(CompareBytes(nullptr, nullptr, 4), 0);
}

}  // namespace
