#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "ui/progress_text.h"

namespace {

constexpr std::uint64_t kKB = 1024;
constexpr std::uint64_t kMB = kKB * 1024;
constexpr std::uint64_t kGB = kMB * 1024;
constexpr std::uint64_t kTB = kGB * 1024;

ui::Progress At(std::uint64_t done, std::uint64_t total, const char16_t* file = nullptr) {
  ui::Progress progress;
  progress.total_done = done;
  progress.total_size = total;
  progress.file = file;
  return progress;
}

TEST(ProgressTextTest, SizesInBinaryMultiplesRoundedToTenths) {
  EXPECT_EQ(ui::FormatSize(0), u"0 B");
  EXPECT_EQ(ui::FormatSize(1023), u"1023 B");
  EXPECT_EQ(ui::FormatSize(kKB), u"1.0 KB");
  EXPECT_EQ(ui::FormatSize(1536), u"1.5 KB");
  // 1.25 KB is 1280 bytes: halves round up.
  EXPECT_EQ(ui::FormatSize(1280), u"1.3 KB");
  EXPECT_EQ(ui::FormatSize(1279), u"1.2 KB");
  // Just below a unit rounds up into the next one, never "1024.0 KB".
  EXPECT_EQ(ui::FormatSize(kMB - 1), u"1.0 MB");
  EXPECT_EQ(ui::FormatSize(kMB - 52), u"1023.9 KB");
  EXPECT_EQ(ui::FormatSize(1288490189), u"1.2 GB");  // 1.2 GB
  EXPECT_EQ(ui::FormatSize(3650722202), u"3.4 GB");
  EXPECT_EQ(ui::FormatSize(5 * kTB / 2), u"2.5 TB");
  // Beyond the last unit the number grows; nothing overflows.
  EXPECT_EQ(ui::FormatSize(std::numeric_limits<std::uint64_t>::max()), u"16777216.0 TB");
}

TEST(ProgressTextTest, LongPathsGiveUpTheirMiddleFirst) {
  EXPECT_EQ(ui::ShortenPath(u"scenario\\chapter07.txt", 22), u"scenario\\chapter07.txt");
  EXPECT_EQ(ui::ShortenPath(u"scenario\\deep\\er\\chapter07.txt", 24), u"scenario\\…\\chapter07.txt");
  EXPECT_EQ(ui::ShortenPath(u"scenario\\deep\\er\\chapter07.txt", 15), u"…\\chapter07.txt");
  EXPECT_EQ(ui::ShortenPath(u"a/b/c/d.txt", 9), u"a/…/d.txt");
  // A name that does not fit keeps its end, with or without folders.
  EXPECT_EQ(ui::ShortenPath(u"scenario\\chapter07.txt", 8), u"…r07.txt");
  EXPECT_EQ(ui::ShortenPath(u"chapter07.txt", 5), u"….txt");
  EXPECT_EQ(ui::ShortenPath(u"chapter07.txt", 1), u"…");
  EXPECT_EQ(ui::ShortenPath(u"chapter07.txt", 0), u"");
  for (std::size_t limit = 0; limit < 40; ++limit)
    EXPECT_LE(ui::ShortenPath(u"scenario\\deep\\er\\chapter07.txt", limit).size(), limit);
}

TEST(ProgressTextTest, ShortenedPathsNeverSplitASurrogatePair) {
  // U+20B9F is the pair D842 DF9F.
  const std::u16string folders = u"ab\U00020B9F\\x\\";
  // The head would end between the two units of the pair: the pair goes.
  EXPECT_EQ(ui::ShortenPath(folders + u"name", 9), u"ab…\\name");
  EXPECT_EQ(ui::ShortenPath(folders + u"name", 10), u"ab\U00020B9F…\\name");
  // The tail would start between them: the pair goes.
  EXPECT_EQ(ui::ShortenPath(u"a\U00020B9Fxyz", 5), u"…xyz");
  EXPECT_EQ(ui::ShortenPath(u"ab\U00020B9Fxyz", 6), u"…\U00020B9Fxyz");
}

TEST(ProgressTextTest, LineNamesTheFileAndTheBytesDoneOfTheTotal) {
  EXPECT_EQ(ui::FormatProgressLine(At(1288490189, 3650722202, u"scenario\\chapter07.txt"), 40),
            u"scenario\\chapter07.txt — 1.2 GB / 3.4 GB");
  EXPECT_EQ(ui::FormatProgressLine(At(0, 3 * kMB, u"scenario\\chapter07.txt"), 14),
            u"…chapter07.txt — 0 B / 3.0 MB");
  EXPECT_EQ(ui::FormatProgressLine(At(0, 3 * kMB, u"scenario\\chapter07.txt"), 0), u"0 B / 3.0 MB");
  EXPECT_EQ(ui::FormatProgressLine(At(0, 3 * kMB), 40), u"0 B / 3.0 MB");
  EXPECT_EQ(ui::FormatProgressLine(At(0, 3 * kMB, u""), 40), u"0 B / 3.0 MB");
  // A file that grew while it was copied never shows more done than there is.
  EXPECT_EQ(ui::FormatProgressLine(At(5 * kMB, 3 * kMB, u"a"), 40), u"a — 3.0 MB / 3.0 MB");
}

TEST(ProgressTextTest, BarAndPercentStayInRangeForAnySize) {
  EXPECT_EQ(ui::ProgressPercent(At(0, 0)), 100);
  EXPECT_EQ(ui::ScaleForBar(At(0, 0)).position, ui::ScaleForBar(At(0, 0)).range);
  EXPECT_EQ(ui::ProgressPercent(At(1, 3)), 33);
  EXPECT_EQ(ui::ProgressPercent(At(7, 3)), 100);

  ui::BarPosition small = ui::ScaleForBar(At(1000, 4000));
  EXPECT_EQ(small.range, 4000);
  EXPECT_EQ(small.position, 1000);

  // 4 GB and more do not fit a 32-bit range: both halve alike.
  ui::BarPosition large = ui::ScaleForBar(At(kGB, 4 * kGB));
  EXPECT_EQ(large.range, static_cast<std::int32_t>(kGB));
  EXPECT_EQ(large.position, static_cast<std::int32_t>(kGB / 4));
  EXPECT_EQ(ui::ProgressPercent(At(kGB, 4 * kGB)), 25);

  const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  ui::BarPosition huge = ui::ScaleForBar(At(max, max));
  EXPECT_GT(huge.range, 0);
  EXPECT_EQ(huge.position, huge.range);
  EXPECT_EQ(ui::ProgressPercent(At(max / 2, max)), 49);
}

}  // namespace
