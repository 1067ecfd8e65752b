#include <gtest/gtest.h>

#include "ui/emulated/transcript_text.h"

namespace {

TEST(TranscriptTextTest, EscapesQuotesBackslashesAndControls) {
  EXPECT_EQ(ui::EscapeForTranscript(u"C:\\ゲーム \"x\"\n\r\t\x1F\x7F end"),
            "C:\\\\ゲーム \\\"x\\\"\\n\\r\\x09\\x1F\\x7F end");
  EXPECT_EQ(ui::EscapeForTranscript(u""), "");
  // A pair stays one character; a lone surrogate becomes the replacement.
  EXPECT_EQ(ui::EscapeForTranscript(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ui::EscapeForTranscript(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(TranscriptTextTest, ScreenSizeIsTwoPositiveNumbers) {
  std::int32_t width = 1, height = 2;
  EXPECT_TRUE(ui::ParseScreenSize("1024x768", &width, &height));
  EXPECT_EQ(width, 1024);
  EXPECT_EQ(height, 768);
  for (const char* bad : {"", "1024", "1024x", "x768", "0x768", "1024x768 ", "99999x1", "-5x5",
                          "12a4x768"}) {
    EXPECT_FALSE(ui::ParseScreenSize(bad, &width, &height)) << bad;
  }
  EXPECT_FALSE(ui::ParseScreenSize(nullptr, &width, &height));
  EXPECT_EQ(width, 1024);
}

}  // namespace
