#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "os/file.h"
#include "os/text.h"

namespace {

std::string ToBytes(std::uint32_t code_page, const std::u16string& text) {
  const int length = static_cast<int>(text.size());
  const int size = os::WideToMultiByte(code_page, text.data(), length, nullptr, 0);
  std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
  if (size > 0) os::WideToMultiByte(code_page, text.data(), length, out.data(), size);
  return out;
}
std::string ToUtf8(const std::u16string& text) { return ToBytes(os::kCodePageUtf8, text); }
std::string ToShiftJis(const std::u16string& text) { return ToBytes(os::kCodePageShiftJis, text); }

std::u16string FromBytes(std::uint32_t code_page, std::uint32_t flags, const std::string& bytes) {
  const int length = static_cast<int>(bytes.size());
  const int size = os::MultiByteToWide(code_page, flags, bytes.data(), length, nullptr, 0);
  std::u16string out(static_cast<std::size_t>(std::max(size, 0)), u'\0');
  if (size > 0) os::MultiByteToWide(code_page, flags, bytes.data(), length, out.data(), size);
  return out;
}

TEST(Utf8, WideToBytesEdges) {
  EXPECT_EQ("A", ToUtf8(u"A"));
  EXPECT_EQ("\xE3\x81\x82", ToUtf8(u"\u3042"));
  EXPECT_EQ("\xEF\xBF\xBF", ToUtf8(u"\uFFFF"));
  EXPECT_EQ("\xF0\x9F\x98\x80", ToUtf8(u"\U0001F600"));
  EXPECT_EQ("A\xEF\xBF\xBD" "B", ToUtf8(std::u16string{u'A', 0xD800, u'B'}));  // lone high
  EXPECT_EQ("\xEF\xBF\xBD", ToUtf8(std::u16string{0xDC00}));                   // lone low
  EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD", ToUtf8(std::u16string{0xDC00, 0xD800}));  // reversed pair
}

TEST(Utf8, BytesToWideEdges) {
  EXPECT_EQ(u"\u3042", FromBytes(os::kCodePageUtf8, 0, "\xE3\x81\x82"));
  EXPECT_EQ(u"\U0001F600", FromBytes(os::kCodePageUtf8, 0, "\xF0\x9F\x98\x80"));
  EXPECT_EQ(u"\uFFFD" "a", FromBytes(os::kCodePageUtf8, 0, "\x80" "a"));  // lone continuation
  EXPECT_EQ(u"a\uFFFD", FromBytes(os::kCodePageUtf8, 0, "a\xE3\x81"));  // cut at the end
}

TEST(Utf8, SizeQueryAndInsufficientBuffer) {
  const char16_t* text = u"\u65e5\u672c";  // two three-byte characters
  EXPECT_EQ(7, os::WideToMultiByte(os::kCodePageUtf8, text, -1, nullptr, 0));  // with terminator
  char out[8];
  std::memset(out, 'x', sizeof(out));
  EXPECT_EQ(0, os::WideToMultiByte(os::kCodePageUtf8, text, -1, out, 6));
  EXPECT_EQ(os::kErrorInsufficientBuffer, os::GetLastError());
  EXPECT_EQ('x', out[6]);  // nothing beyond the capacity
  EXPECT_EQ(7, os::WideToMultiByte(os::kCodePageUtf8, text, -1, out, 7));
  EXPECT_STREQ("\xE6\x97\xA5\xE6\x9C\xAC", out);

  EXPECT_EQ(3, os::MultiByteToWide(os::kCodePageUtf8, 0, "ab", -1, nullptr, 0));
  char16_t wide[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(0, os::MultiByteToWide(os::kCodePageUtf8, 0, "abc", 3, wide, 2));
  EXPECT_EQ(os::kErrorInsufficientBuffer, os::GetLastError());
  EXPECT_EQ(u'x', wide[2]);

  EXPECT_EQ(0, os::WideToMultiByte(os::kCodePageUtf8, text, 0, out, 8));
  EXPECT_EQ(os::kErrorInvalidParameter, os::GetLastError());
  EXPECT_EQ(0, os::MultiByteToWide(os::kCodePageUtf8, 0, nullptr, -1, wide, 4));
  EXPECT_EQ(os::kErrorInvalidParameter, os::GetLastError());
  EXPECT_EQ(0, os::WideToMultiByte(12345, u"a", -1, out, 4));  // an unknown code page
  EXPECT_NE(os::kErrorSuccess, os::GetLastError());
}

TEST(ShiftJis, JapaneseHalfWidthKanaAndAsciiBothWays) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"\u65e5\u672c\u8a9e\u30c6\u30ad\u30b9\u30c8",  // 日本語テキスト
       "\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x4C\x83\x58\x83\x67"},
      {u"A\uFF71\uFF72\uFF73~\\", "A\xB1\xB2\xB3~\\"},  // A ｱｲｳ ~ backslash
  };
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(bytes, ToShiftJis(text));
    EXPECT_EQ(text, FromBytes(os::kCodePageShiftJis, os::kPrecomposed, bytes));
  }
  EXPECT_EQ("a?b", ToShiftJis(std::u16string{u'a', 0xD800, u'b'})) << "a lone surrogate";
}

#ifndef _WIN32
// Maximal subparts become one replacement each, flags are refused as on
// Windows, and a cut Shift-JIS pair becomes the default character.
TEST(Utf8, BadInputAndFlagsAsOnWindows) {
  EXPECT_EQ(u"\uFFFD\uFFFD", FromBytes(os::kCodePageUtf8, 0, "\xC0\xAF"));  // overlong
  EXPECT_EQ(u"\uFFFD\uFFFD\uFFFD", FromBytes(os::kCodePageUtf8, 0, "\xED\xA0\x80"));  // surrogate
  EXPECT_EQ(u"\uFFFD" "A", FromBytes(os::kCodePageUtf8, 0, "\xF0\x9F\x98" "A"));
  EXPECT_EQ(u"\uFFFD", FromBytes(os::kCodePageUtf8, 0, "\xFF"));
  EXPECT_EQ(u"\uFFFD\uFFFD", FromBytes(os::kCodePageUtf8, 0, "\xF4\x90"));  // above U+10FFFF
  char16_t out[4];
  EXPECT_EQ(0, os::MultiByteToWide(os::kCodePageUtf8, os::kPrecomposed, "a", -1, out, 4));
  EXPECT_EQ(1004u, os::GetLastError());  // ERROR_INVALID_FLAGS, as on Windows
  EXPECT_EQ(u"a\u30FB", FromBytes(os::kCodePageShiftJis, 0, "a\x81"));  // cut pair
}
#endif

}  // namespace
