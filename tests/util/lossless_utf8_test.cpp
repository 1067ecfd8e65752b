#include "util/lossless_utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LosslessUtf8, CharactersAndEscapedBytes) {
  struct Case {
    std::string bytes;
    std::u16string units;
  } cases[] = {
      // One to four bytes; past U+FFFF a surrogate pair.
      {"A\xC3\xA9\xE3\x81\x82\xEF\xBC\xA1\xF0\x90\x90\xB7",
       u"A\u00E9\u3042\uFF21\U00010437"},
      // Just below the surrogates, then a stray byte; the first pair and the
      // last character.
      {"\xED\x9F\xBF\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\uD7FF\xDC80\U00010000\U0010FFFF"},
      // The last surrogate is escaped; U+E000 and U+FFFF, just after it and
      // at the end of the three-byte forms, are characters.
      {"\xED\xBF\xBF\xEE\x80\x80\xEF\xBF\xBF", u"\xDCED\xDCBF\xDCBF\uE000\uFFFF"},
      // Overlong, a surrogate, past U+10FFFF, a lone continuation, a zero,
      // a byte that never starts a sequence, a cut sequence: byte by byte.
      {std::string("\xC1\xBF\xED\xA0\x80\xF4\x90\x80\x80\x80\0\xFF\xE3\x81", 14),
       u"\xDCC1\xDCBF\xDCED\xDCA0\xDC80\xDCF4\xDC90\xDC80\xDC80\xDC80\xDC00\xDCFF\xDCE3\xDC81"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeUtf8Lossless(c.bytes), c.units);
    EXPECT_EQ(EncodeUtf8Lossless(c.units), c.bytes);
  }
}

}  // namespace
