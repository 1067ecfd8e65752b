#include "util/text_convert.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

std::u16string ToWide(const std::string& bytes, std::size_t capacity = 64) {
  std::u16string out(capacity, u'#');
  const std::size_t length = Utf8ToWide(bytes.c_str(), out.data(), capacity);
  EXPECT_EQ(out[length], 0);
  return out.substr(0, length);
}

std::string ToUtf8(const std::u16string& text, std::size_t capacity = 64) {
  std::string out(capacity, '#');
  const std::size_t length = WideToUtf8(text.c_str(), out.data(), capacity);
  EXPECT_EQ(out[length], 0);
  return out.substr(0, length);
}

TEST(Utf8ToWide, OneUnitPerSequence) {
  struct Case {
    std::string bytes;
    std::u16string expected;
  } cases[] = {
      {"abc", u"abc"},
      {"", u""},
      {"\xE3\x81\x82", u"\u3042"},
      {"\xC3\xA9x", u"\u00E9x"},
      {"\xFF\xFF", u"\uFFFF"},
      {"a\xFF\xFF" "b", u"a\uFFFFb"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"a\xF0\x9F\x98\x80z", u"a\U0001F600z"},
      // A stray continuation byte or a broken sequence ends the text.
      {"\x81" "abc", u""},
      {"ab\x81" "cd", u"ab"},
      {"ab\xE3\x81" "cd", u"ab"},
      {"ab\xE3\x81", u"ab"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ToWide(c.bytes), c.expected) << c.bytes;
}

TEST(Utf8ToWide, StopsAtCapacityWithoutSplittingAPair) {
  EXPECT_EQ(ToWide("abcdef", 4), u"abc");
  // Room for one more unit only: the pair is left out entirely.
  EXPECT_EQ(ToWide("ab\xF0\x9F\x98\x80", 4), u"ab");
  EXPECT_EQ(ToWide("ab\xF0\x9F\x98\x80", 5), u"ab\U0001F600");
  EXPECT_EQ(ToWide("abc", 1), u"");
  char16_t out[2] = {u'#', u'#'};
  EXPECT_EQ(Utf8ToWide("abc", out, 0), 0u);
  EXPECT_EQ(out[0], u'#');
  EXPECT_EQ(Utf8ToWide(nullptr, out, 2), 0u);
  EXPECT_EQ(out[0], 0);
}

TEST(WideToUtf8, UnitsAndPairs) {
  struct Case {
    std::u16string text;
    std::string expected;
  } cases[] = {
      {u"abc", "abc"},
      {u"", ""},
      {u"\u3042", "\xE3\x81\x82"},
      {u"\uFFFF", "\xFF\xFF"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      // Lone halves become the replacement character, one for each.
      {std::u16string(1, char16_t(0xD83D)) + u"a", "\xEF\xBF\xBD" "a"},
      {std::u16string(1, char16_t(0xDE00)) + u"a", "\xEF\xBF\xBD" "a"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ToUtf8(c.text), c.expected) << qvtest::U8(c.text);
}

TEST(WideToUtf8, WholeSequencesOnlyAtTheCut) {
  EXPECT_EQ(ToUtf8(u"abcd", 3), "ab");
  EXPECT_EQ(ToUtf8(u"a\u3042", 4), "a");
  EXPECT_EQ(ToUtf8(u"a\u3042", 5), "a\xE3\x81\x82");
  EXPECT_EQ(ToUtf8(u"a\U0001F600", 5), "a");
  EXPECT_EQ(ToUtf8(u"a\U0001F600", 6), "a\xF0\x9F\x98\x80");
  char out[1] = {'#'};
  EXPECT_EQ(WideToUtf8(nullptr, out, 1), 0u);
  EXPECT_EQ(out[0], 0);
}

TEST(Utf8, RoundTripsEveryPlane) {
  const std::u16string text = u"path\\\u65E5\u672C\u8A9E\\\U00020B9F\uFFFF\u00E9.bin";
  EXPECT_EQ(ToWide(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(text), qvtest::U8(u"path\\\u65E5\u672C\u8A9E\\\U00020B9F") + "\xFF\xFF" +
                              qvtest::U8(u"\u00E9.bin"));
}

TEST(Utf8SequenceLength, LeadingBits) {
  struct Case {
    const char* bytes;
    int expected;
  } cases[] = {
      {"a", 1},
      {"", 1},
      {"\x80", -2},
      {"\xBF", -2},
      {"\xC3\xA9", 2},
      {"\xC3", -3},
      {"\xC3" "a", -3},
      {"\xE3\x81\x82", 3},
      {"\xE3\x81", -3},
      {"\xF0\x9F\x98\x80", 4},
      {"\xF8\x80\x80\x80\x80", 5},
      {"\xF8\x80\x80\x80", -3},
      {"\xFC", 1},
      {"\xFF", 1},
      {nullptr, -3},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Utf8SequenceLength(c.bytes), c.expected) << (c.bytes ? c.bytes : "(null)");
}

TEST(FirstUtf8Character, CopiesOneSequence) {
  char out[7];
  FirstUtf8Character("\xE3\x81\x82z", out);
  EXPECT_STREQ(out, "\xE3\x81\x82");
  FirstUtf8Character("az", out);
  EXPECT_STREQ(out, "a");
  FirstUtf8Character("\x81z", out);
  EXPECT_STREQ(out, "");
  FirstUtf8Character("", out);
  EXPECT_STREQ(out, "");
  FirstUtf8Character(nullptr, out);
  EXPECT_STREQ(out, "");
}

TEST(ShiftJis, PairsAndCharacterCodes) {
  struct Case {
    const char* bytes;
    int pair;
    std::uint32_t code;
  } cases[] = {
      {"\x82\xA0", 1, 0x82A0},
      {"\x93\xFA\x96\x7B", 1, 0x93FA},
      {"\x81\x40", 1, 0x8140},
      {"\x9F\xFC", 1, 0x9FFC},
      {"\xE0\x7E", 1, 0xE07E},
      {"\xEF\x80", 1, 0xEF80},
      {"\x81\x7F", 0, 0x81},
      {"\x81\xFD", 0, 0x81},
      {"\x81\x3F", 0, 0x81},
      {"\x81", 0, 0x81},
      {"\xA0\x40", 0, 0xA0},
      {"\xF0\x40", 0, 0xF0},
      {"\x80\x40", 0, 0x80},
      {"A", 0, 'A'},
      {"", 0, 0},
      {nullptr, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsShiftJisPair(c.bytes), c.pair);
    EXPECT_EQ(FirstCharacterCode(c.bytes), c.code);
  }
}

TEST(ShiftJis, ConvertsBothWays) {
  char bytes[16];
  EXPECT_GT(WideToShiftJis(bytes, sizeof bytes, u"\u65E5\u672CA"), 0);
  EXPECT_STREQ(bytes, "\x93\xFA\x96\x7B" "A");
  char16_t text[16];
  EXPECT_GT(ShiftJisToWide(text, 16, "\x93\xFA\x96\x7B" "A"), 0);
  EXPECT_EQ(std::u16string(text), u"\u65E5\u672CA");
}

TEST(ShiftJis, NeverOverrunsAndStaysTerminated) {
  char bytes[6];
  std::fill(std::begin(bytes), std::end(bytes), '#');
  EXPECT_EQ(WideToShiftJis(bytes, 4, u"\u65E5\u672CA"), 0);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[4], '#');
  char16_t text[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(ShiftJisToWide(text, 2, "abc"), 0);
  EXPECT_EQ(text[0], 0);
  EXPECT_EQ(text[2], u'#');
  EXPECT_EQ(ShiftJisToWide(text, 4, nullptr), 0);
  EXPECT_EQ(text[0], 0);
}

}  // namespace
