#include "base/text_convert.h"

#include <gtest/gtest.h>

#include <string>

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

const std::u16string kLoneHigh(1, char16_t(0xD83D));

TEST(Utf8ToWide, OneUnitPerSequenceAndPairsWhole) {
  EXPECT_EQ(ToWide("\xE3\x81\x82"), u"\u3042");
  EXPECT_EQ(ToWide("a\xFF\xFF" "b"), u"a\uFFFFb");
  EXPECT_EQ(ToWide("a\xF0\x9F\x98\x80z"), u"a\U0001F600z");
  // A stray continuation byte or a broken sequence ends the text.
  EXPECT_EQ(ToWide("\x81" "abc"), u"");
  EXPECT_EQ(ToWide("ab\xE3\x81" "cd"), u"ab");
  // Capacity: a pair that does not fit is left out entirely.
  EXPECT_EQ(ToWide("abcdef", 4), u"abc");
  EXPECT_EQ(ToWide("ab\xF0\x9F\x98\x80", 4), u"ab");
  EXPECT_EQ(ToWide("ab\xF0\x9F\x98\x80", 5), u"ab\U0001F600");
}

TEST(WideToUtf8, UnitsPairsCutsAndTheWayBack) {
  EXPECT_EQ(ToUtf8(u"\u3042"), "\xE3\x81\x82");
  EXPECT_EQ(ToUtf8(u"\uFFFF"), "\xFF\xFF");
  EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ToUtf8(kLoneHigh + u"a"), "\xEF\xBF\xBD" "a");
  // Only whole sequences are written.
  EXPECT_EQ(ToUtf8(u"a\u3042", 4), "a");
  EXPECT_EQ(ToUtf8(u"a\U0001F600", 5), "a");
  EXPECT_EQ(ToUtf8(u"a\U0001F600", 6), "a\xF0\x9F\x98\x80");
  const std::u16string text = u"p\\\u65E5\u672C\\\U00020B9F\uFFFF\u00E9.bin";
  EXPECT_EQ(ToWide(ToUtf8(text)), text);
}

TEST(Utf8SequenceLength, LeadingBits) {
  const std::pair<const char*, int> cases[] = {
      {"a", 1},      {"\x80", -2},           {"\xC3\xA9", 2},
      {"\xC3", -3},  {"\xE3\x81" "a", -3},   {"\xF0\x9F\x98\x80", 4},
      {"\xF8\x80\x80\x80\x80", 5},           {"\xFC", 1},
  };
  for (const auto& [bytes, length] : cases) EXPECT_EQ(Utf8SequenceLength(bytes), length);
  char out[7];
  FirstUtf8Character("\xE3\x81\x82z", out);
  EXPECT_STREQ(out, "\xE3\x81\x82");
  FirstUtf8Character("\x81z", out);
  EXPECT_STREQ(out, "");
}

TEST(ShiftJis, PairsAndCharacterCodes) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"\x82\xA0", 0x82A0}, {"\x9F\xFC", 0x9FFC}, {"\xE0\x40", 0xE040}, {"\xEF\x80", 0xEF80},
      {"\x81\x7F", 0x81},   {"\x81\xFD", 0x81},   {"\x81", 0x81},       {"\xA0\x40", 0xA0},
      {"\xF0\x40", 0xF0},   {"A", 'A'},           {"", 0},
  };
  for (const auto& [bytes, code] : cases) {
    EXPECT_EQ(FirstCharacterCode(bytes), code);
    EXPECT_EQ(IsShiftJisPair(bytes), code > 0xFF ? 1 : 0);
  }
}

TEST(ShiftJis, ConvertsBothWaysInsideTheBuffer) {
  char bytes[8];
  EXPECT_GT(WideToShiftJis(bytes, sizeof bytes, u"\u65E5\u672CA"), 0);
  EXPECT_STREQ(bytes, "\x93\xFA\x96\x7B" "A");
  char16_t text[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_GT(ShiftJisToWide(text, 4, "\x93\xFA\x96\x7B" "A"), 0);
  EXPECT_EQ(std::u16string(text), u"\u65E5\u672CA");

  bytes[4] = '#';
  EXPECT_EQ(WideToShiftJis(bytes, 4, u"\u65E5\u672CA"), 0);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[4], '#');
  text[2] = u'#';
  EXPECT_EQ(ShiftJisToWide(text, 2, "abc"), 0);
  EXPECT_EQ(text[0], 0);
  EXPECT_EQ(text[2], u'#');
}

}  // namespace
