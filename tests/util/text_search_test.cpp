#include "util/text_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(FindBytes, Cases) {
  EXPECT_EQ(FindBytes("<x><path>C:\\g</path>", "<path>"), 3);
  EXPECT_EQ(FindBytes("<x><path>C:\\g</path>", "</path>"), 13);
  EXPECT_EQ(FindBytes("aaab", "aab"), 1);
  EXPECT_EQ(FindBytes("abc", "abcd"), -1);
  EXPECT_EQ(FindBytes("abc", ""), 0);
  EXPECT_EQ(FindBytes("", ""), -1);
  EXPECT_EQ(FindBytes("", "a"), -1);
  EXPECT_EQ(FindBytes(nullptr, "a"), -1);
  EXPECT_EQ(FindBytes("a", nullptr), -1);
  // Bytes are bytes: a trail byte of a double-byte character still matches.
  EXPECT_EQ(FindBytes("\x82\x5C", "\\"), 1);
}

TEST(FindText, Cases) {
  EXPECT_EQ(FindText(u"\u65E5\u672C\u8A9E", u"\u8A9E"), 2);
  EXPECT_EQ(FindText(u"abcabc", u"ca"), 2);
  EXPECT_EQ(FindText(u"abc", u"x"), -1);
  EXPECT_EQ(FindText(u"abc", u""), 0);
  EXPECT_EQ(FindText(u"", u"a"), -1);
  EXPECT_EQ(FindText(nullptr, u"a"), -1);
}

TEST(FindChar, WideAndShiftJis) {
  EXPECT_EQ(FindChar(u"a\\b\\c", u'\\'), 1);
  EXPECT_EQ(FindChar(u"abc", u'x'), -1);
  EXPECT_EQ(FindChar(u"", u'a'), -1);
  EXPECT_EQ(FindChar(nullptr, u'a'), -1);

  EXPECT_EQ(FindCharA("ab/c", '/'), 2);
  EXPECT_EQ(FindCharA("abc", 'x'), -1);
  // A pair code is searched as its two bytes at any byte position.
  EXPECT_EQ(FindCharA("a\x82\xA0z", 0x82A0), 1);
  EXPECT_EQ(FindCharA("\xA0\x82\xA0", 0x82A0), 1);
  EXPECT_EQ(FindCharA("a\x82", 0x82A0), -1);
  // Single bytes from 0x80 up never match.
  EXPECT_EQ(FindCharA("a\xA0", 0xA0), -1);
  EXPECT_EQ(FindCharA("", 'a'), -1);
  EXPECT_EQ(FindCharA(nullptr, 'a'), -1);
}

TEST(ReplaceText, Cases) {
  struct Case {
    const char16_t* source;
    const char16_t* find;
    const char16_t* replacement;
    const char16_t* expected;
  } cases[] = {
      {u"a/b/c", u"/", u"\\", u"a\\b\\c"},
      {u"%s and %s", u"%s", u"x", u"x and x"},
      {u"aaa", u"aa", u"b", u"ba"},
      {u"aaa", u"a", u"aa", u"aaaaaa"},
      {u"abc", u"x", u"y", u"abc"},
      {u"abc", u"b", u"", u"ac"},
      {u"abc", u"", u"y", u"abc"},
      {u"abc", nullptr, u"y", u"abc"},
      {u"abc", u"b", nullptr, u"ac"},
      {u"", u"a", u"b", u""},
      {nullptr, u"a", u"b", u""},
  };
  for (const auto& c : cases) {
    char16_t out[64] = {u'?'};
    const std::size_t length = ReplaceText(out, 64, c.source, c.find, c.replacement);
    EXPECT_EQ(std::u16string(out), c.expected);
    EXPECT_EQ(length, std::u16string(c.expected).size());
  }
}

TEST(ReplaceText, CutsAtCapacity) {
  char16_t out[8];
  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_EQ(ReplaceText(out, 5, u"abab", u"b", u"xyz"), 4u);
  EXPECT_EQ(std::u16string(out), u"axyz");
  EXPECT_EQ(out[5], u'#');
  // The cut never leaves half a pair behind.
  EXPECT_EQ(ReplaceText(out, 4, u"ab", u"b", u"x\U0001F600"), 2u);
  EXPECT_EQ(std::u16string(out), u"ax");
}

TEST(ChangeCase, DoubleByteWalk) {
  struct Case {
    const char16_t* text;
    const char16_t* upper;
    const char16_t* lower;
  } cases[] = {
      {u"aB", u"AB", u"ab"},
      {u"\u65E5ab", u"\u65E5aB", u"\u65E5ab"},
      {u"\u65E5AB", u"\u65E5AB", u"\u65E5Ab"},
      {u"x\u65E5aB\u00E9e", u"X\u65E5aB\u00E9E", u"x\u65E5ab\u00E9e"},
      {u"\u00E9", u"\u00E9", u"\u00E9"},
      {u"\u0100", u"\u0100", u"\u0100"},
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    std::u16string upper = c.text;
    EXPECT_EQ(ToUpperText(upper.data()), static_cast<int>(upper.size()));
    EXPECT_EQ(upper, c.upper);
    std::u16string lower = c.text;
    EXPECT_EQ(ToLowerText(lower.data()), static_cast<int>(lower.size()));
    EXPECT_EQ(lower, c.lower);
  }
  EXPECT_EQ(ToUpperText(nullptr), 0);
}

TEST(ChangeCase, NeverStepsPastTheTerminator) {
  // A wide unit last: the walk's two-unit step must stop at the zero.
  char16_t text[] = {u'a', 0x65E5, 0, u'b', 0};
  EXPECT_EQ(ToUpperText(text), 2);
  EXPECT_EQ(text[0], u'A');
  EXPECT_EQ(text[3], u'b');
}

std::vector<std::pair<int, std::string>> ReadAllLines(const std::string& text) {
  std::vector<std::pair<int, std::string>> lines;
  const char* at = text.c_str();
  for (int guard = 0; guard < 100; ++guard) {
    char line[64];
    const int used = ReadTextLine(at, line, sizeof line);
    lines.emplace_back(used, line);
    if (used == 0) break;
    at += used;
  }
  return lines;
}

TEST(ReadTextLine, LineEnds) {
  using Lines = std::vector<std::pair<int, std::string>>;
  EXPECT_EQ(ReadAllLines("ab\r\ncd"), (Lines{{4, "ab"}, {2, "cd"}, {0, ""}}));
  EXPECT_EQ(ReadAllLines("ab\ncd\n"), (Lines{{3, "ab"}, {3, "cd"}, {0, ""}}));
  EXPECT_EQ(ReadAllLines("ab\rcd\r\n"), (Lines{{7, "ab\rcd"}, {0, ""}}));
  EXPECT_EQ(ReadAllLines("\r\n\n"), (Lines{{2, ""}, {1, ""}, {0, ""}}));
  EXPECT_EQ(ReadAllLines("ab\r"), (Lines{{3, "ab\r"}, {0, ""}}));
  EXPECT_EQ(ReadAllLines(""), (Lines{{0, ""}}));
}

TEST(ReadTextLine, LongLineIsCutButConsumed) {
  char line[6];
  std::fill(std::begin(line), std::end(line), '#');
  EXPECT_EQ(ReadTextLine("abcdefgh\r\nz", line, 5), 10);
  EXPECT_EQ(std::string(line, 5), std::string("abc\0\0", 5));
  EXPECT_EQ(line[5], '#');
  EXPECT_EQ(ReadTextLine("ab\n", line, 1), 3);
  EXPECT_EQ(line[0], 0);
  EXPECT_EQ(line[1], 'b');  // untouched from before
  EXPECT_EQ(ReadTextLine(nullptr, line, 5), 0);
}

}  // namespace
