// The system's case-insensitive comparison against a table of pairs whose
// results lstrcmpiW gives under Wine 8: the Windows build checks the system
// call itself, the POSIX build its own ordering.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "os/text.h"
#include "test_support.h"

namespace {

struct Pair {
  const char16_t* a;
  const char16_t* b;
  int expected;
};

const Pair kPairs[] = {
    {u"\u00C4", u"\u00E4", 0}, {u"\uFF21", u"\uFF41", 0}, {u"a-c", u"ab", 1}, {u"ab", u"a-c", -1},
    {u"abc", u"ABC", 0}, {u"C:\\Games\\Data", u"c:\\games\\data", 0},
    {u"\u0391\u03B2", u"\u03B1\u0392", 0}, {u"\u0416\u0438", u"\u0436\u0418", 0},
    {u"\u00C9", u"\u00E9", 0}, {u"e", u"\u00E9", -1}, {u"\u00E9b", u"ec", -1},
    {u"u", u"\u00FC", -1}, {u"\u00FCb", u"uc", -1}, {u"\u00F8", u"o", 1}, {u"\u00F8b", u"oc", -1},
    {u"\u0142", u"l", 1}, {u"\u0131", u"i", 1}, {u"\u00DF", u"ss", 0}, {u"\u00E6", u"ae", 0},
    {u"\u00C6b", u"aeb", 0}, {u"\u00FE", u"th", 0}, {u"\uFF21", u"A", 1}, {u"\uFF10", u"0", 1},
    {u"\uFF3F", u"_", 1}, {u"a b", u"a_b", -1}, {u"a.b", u"a_b", -1}, {u"a\\b", u"a.b", 1},
    {u"a\\b", u"a/b", 1}, {u"a b", u"a.b", -1}, {u"a(b", u"a)b", -1}, {u"a!b", u"a#b", -1},
    {u"a$b", u"a%b", -1}, {u"a&b", u"a(b", -1}, {u"a,b", u"a;b", -1}, {u"a:b", u"a\\b", -1},
    {u"a@b", u"a[b", -1}, {u"a]b", u"a^b", -1}, {u"a`b", u"a{b", -1}, {u"a}b", u"a~b", -1},
    {u"a+b", u"a=b", -1}, {u"a~b", u"a+b", -1}, {u"a_b", u"a0b", -1}, {u"a9b", u"aab", -1},
    {u"a1", u"a01", 1}, {u"file10", u"file9", -1}, {u"data.bin", u"data-1.bin", -1},
    {u"a-b", u"ab-", 1}, {u"a-b", u"a'b", 1}, {u"-ab", u"a-b", 1}, {u"ab", u"a-b", -1},
    {u"a--b", u"a-b", 1}, {u"ab-", u"ab", 1}, {u"a-b", u"a\u2010b", -1}, {u"'a", u"a", 1},
    {u"\u3042", u"\u30A2", 1}, {u"\uFF71", u"\u30A2", -1}, {u"\u3041", u"\u3042", -1},
    {u"\u304B", u"\u304C", -1}, {u"\u30AB", u"\u304C", -1}, {u"\u30AB\u30FC", u"\u30AB\u30A2", 1},
    {u"\u30AB\u30FC", u"\u30AB\u30A4", -1}, {u"\u30AB\uFF70", u"\u30AB\u30FC", -1},
    {u"b\u30FC", u"bb", 0}, {u"a-\u30FCb", u"a-b", -1}, {u"\u30FC", u"\u30A2", 1},
    {u"\u65E5\u672C", u"\u65E5\u672B", 1}, {u"\u4E00", u"\u9FA0", -1}, {u"\u30F3", u"\u4E00", -1},
    {u"z", u"\u3042", -1}, {u"\u03C9", u"\u0430", -1}, {u"\u0430", u"\u3042", -1}, {u"9", u"a", -1},
    {u"\u3000", u"a", -1}, {u"\u3001", u"\u3002", -1}, {u"\"C:\\G\\b\"", u"\"c:\\g\\A\"", 1},
    {u"\"C:\\G\\a\"", u"\"c:\\g\\A\"", 0}, {u"\"C:\\G\\c\"", u"\"C:\\G\\b\"", 1},
    {u"\"D:\\\u30B2\u30FC\u30E0\\save\\slot01.dat\"", u"\"D:\\\u3052\u30FC\u3080\\save\\slot01.dat\"", -1},
    {u"\"D:\\\u30B2\u30FC\u30E0\\data\\ch-2.txt\"", u"\"D:\\\u30B2\u30FC\u30E0\\data\\ch1.txt\"", 1},
    {u"\"E:\\Spiele\\\u00DCbung\\a.txt\"", u"\"E:\\spiele\\\u00FCbung\\A.TXT\"", 0},
    {u"\"E:\\\u0418\u0433\u0440\u044B\\\u0444\u0430\u0439\u043B.txt\"", u"\"E:\\\u0438\u0433\u0440\u044B\\\u0424\u0410\u0419\u041B.TXT\"", 0},
    {u"", u"", 0}, {u"", u"a", -1}, {u"a\x01", u"a", 1},
};

TEST(CompareTextNoCase, OrdersLikeTheSystemOnTheTable) {
  for (const Pair& pair : kPairs) {
    SCOPED_TRACE(qvtest::U8(pair.a) + " | " + qvtest::U8(pair.b));
    EXPECT_EQ(os::CompareTextNoCase(pair.a, pair.b), pair.expected);
    EXPECT_EQ(os::CompareTextNoCase(pair.b, pair.a), -pair.expected);
  }
}

TEST(SortUniqueNoCase, SortsAndDropsLikeTheComparison) {
  std::vector<std::u16string> texts;
  for (const Pair& pair : kPairs) texts.insert(texts.end(), {pair.b, pair.a, pair.a});
  std::vector<std::u16string> expected = texts;
  auto compare = [](const std::u16string& a, const std::u16string& b) {
    return os::CompareTextNoCase(a.c_str(), b.c_str());
  };
  std::stable_sort(expected.begin(), expected.end(),
                   [&](const auto& a, const auto& b) { return compare(a, b) < 0; });
  expected.erase(std::unique(expected.begin(), expected.end(),
                             [&](const auto& a, const auto& b) { return compare(a, b) == 0; }),
                 expected.end());
  os::SortUniqueNoCase(&texts);
  EXPECT_EQ(texts, expected);
}

}  // namespace
