#include "util/text_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

TEST(Find, BytesTextAndCharacters) {
  EXPECT_EQ(FindBytes("<x><path>C:\\g</path>", "</path>"), 13);
  EXPECT_EQ(FindBytes("aaab", "aab"), 1);
  EXPECT_EQ(FindBytes("abc", ""), 0);
  EXPECT_EQ(FindBytes("", ""), -1);
  EXPECT_EQ(FindBytes("ab", "abc"), -1);
  EXPECT_EQ(FindText(u"\u65E5\u672C\u8A9E", u"\u8A9E"), 2);
  EXPECT_EQ(FindText(nullptr, u"a"), -1);
  EXPECT_EQ(FindChar(u"a\\b", u'\\'), 1);
  EXPECT_EQ(FindChar(u"", u'a'), -1);
  EXPECT_EQ(FindChar(nullptr, u'a'), -1);
  EXPECT_EQ(FindChar(u"abc", 0), -1);  // the end is not a character of the text
  // A pair code is searched as its two bytes at any byte position; single
  // bytes from 0x80 up never match.
  EXPECT_EQ(FindCharA("\xA0\x82\xA0", 0x82A0), 1);
  EXPECT_EQ(FindCharA("x\x83\x41", 0x8341), 1);
  EXPECT_EQ(FindCharA("a\x82", 0x82A0), -1);
  EXPECT_EQ(FindCharA("\0\x82\xA0", 0x82A0), -1);  // the text ends at its first zero
  EXPECT_EQ(FindCharA("ab/", '/'), 2);
  EXPECT_EQ(FindCharA("a\xA0", 0xA0), -1);
}

TEST(ReplaceText, Cases) {
  struct Case {
    const char16_t *source, *find, *replacement, *expected;
  } cases[] = {
      {u"%s and %s", u"%s", u"x", u"x and x"},
      {u"aaa", u"aa", u"b", u"ba"},
      {u"aaa", u"a", u"aa", u"aaaaaa"},
      {u"abc", u"b", nullptr, u"ac"},
      {u"abc", u"", u"y", u"abc"},
      {nullptr, u"a", u"b", u""},
  };
  for (const auto& c : cases) {
    char16_t out[64];
    EXPECT_EQ(ReplaceText(out, 64, c.source, c.find, c.replacement),
              std::u16string(c.expected).size());
    EXPECT_EQ(std::u16string(out), c.expected);
  }
  char16_t out[8];
  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_EQ(ReplaceText(out, 5, u"abab", u"b", u"xyz"), 4u);
  EXPECT_EQ(out[5], u'#');
  // The cut never leaves half a pair behind.
  EXPECT_EQ(ReplaceText(out, 4, u"ab", u"b", u"x\U0001F600"), 2u);
}

TEST(ChangeCase, DoubleByteWalk) {
  const char16_t* cases[][3] = {
      // text, upper, lower
      {u"aB", u"AB", u"ab"},
      {u"\u65E5ab", u"\u65E5aB", u"\u65E5ab"},
      {u"x\u65E5AB\u00E9e", u"X\u65E5AB\u00E9E", u"x\u65E5Ab\u00E9e"},
  };
  for (const auto& c : cases) {
    std::u16string upper = c[0], lower = c[0];
    EXPECT_EQ(ToUpperText(upper.data()), static_cast<int>(upper.size()));
    EXPECT_EQ(upper, c[1]);
    EXPECT_EQ(ToLowerText(lower.data()), static_cast<int>(lower.size()));
    EXPECT_EQ(lower, c[2]);
  }
  // A wide unit last: the two-unit step must stop at the zero.
  char16_t text[] = {u'a', 0x65E5, 0, u'b', 0};
  EXPECT_EQ(ToUpperText(text), 2);
  EXPECT_EQ(text[3], u'b');
}

using Lines = std::vector<std::pair<int, std::string>>;

Lines ReadAll(const char* text, std::size_t capacity = 64) {
  Lines lines;
  for (int used = 1; used > 0 && lines.size() < 10; text += used) {
    char line[64];
    used = ReadTextLine(text, line, capacity);
    lines.emplace_back(used, line);
  }
  return lines;
}

TEST(ReadTextLine, LineEnds) {
  EXPECT_EQ(ReadAll("ab\r\ncd"), (Lines{{4, "ab"}, {2, "cd"}, {0, ""}}));
  EXPECT_EQ(ReadAll("ab\n\ncd\n"), (Lines{{3, "ab"}, {1, ""}, {3, "cd"}, {0, ""}}));
  EXPECT_EQ(ReadAll("ab\rcd\r"), (Lines{{6, "ab\rcd\r"}, {0, ""}}));
  // A long line is cut in the destination but consumed whole.
  EXPECT_EQ(ReadAll("abcdefgh\r\nz", 5), (Lines{{10, "abc"}, {1, "z"}, {0, ""}}));
  char line[4] = {'#', '#', '#', '#'};
  ReadTextLine("abcdef", line, 3);
  EXPECT_EQ(std::string(line, 4), std::string("a\0\0#", 4));
  ReadTextLine(nullptr, line, 0);  // no room: not even the terminator
  EXPECT_EQ(line[0], 'a');
}

}  // namespace
