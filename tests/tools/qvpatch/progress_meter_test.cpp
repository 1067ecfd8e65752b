// The progress line of long runs, drawn into a file instead of a terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/common/progress_meter.h"

namespace qvtest {
namespace {

// Everything written to `stream` so far.
std::string Written(std::FILE* stream) {
  std::fflush(stream);
  const long size = std::ftell(stream);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::rewind(stream);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), stream), bytes.size());
  std::fseek(stream, 0, SEEK_END);  // a stream must be positioned between reading and writing
  return bytes;
}

TEST(ProgressMeter, DrawsOneLineRedrawnInPlaceAndClearsIt) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  {
    ProgressMeter meter(stream, true);
    meter.Begin("hashing", 2048);
    meter.Advance(1024, u"scenario\\a.txt");
    meter.Advance(512, u"scenario\\b.txt");  // within a tenth of a second: not drawn
    const std::string first = "\rhashing 50% 1.0 KB / 2.0 KB  scenario\\a.txt";
    EXPECT_EQ(Written(stream), first);

    // A new step draws at once; blanks cover the end of the longer line.
    meter.Begin("copying", 0);
    meter.Advance(0, u"x");
    const std::string second = "\rcopying 100% 0 B / 0 B  x";
    EXPECT_EQ(Written(stream), first + second + std::string(first.size() - second.size(), ' '));
  }
  // The meter's end leaves the line empty.
  const std::string all = Written(stream);
  const std::size_t width = std::string("\rcopying 100% 0 B / 0 B  x").size() - 1;
  EXPECT_TRUE(all.ends_with("\r" + std::string(width, ' ') + "\r")) << all;
  std::fclose(stream);
}

TEST(ProgressMeter, ALongPathIsShortenedToTheLine) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  std::string line;
  {
    ProgressMeter meter(stream, true);
    meter.Begin("verifying", 5ull << 30);
    meter.Advance(1ull << 30, std::u16string(30, u'd') + u"\\" + std::u16string(30, u'e') +
                                  u"\\" + std::u16string(40, u'f') + u".bin");
    line = Written(stream);
  }
  EXPECT_TRUE(line.starts_with("\rverifying 20% 1.0 GB / 5.0 GB  ")) << line;
  EXPECT_TRUE(line.ends_with(std::string(40, 'f') + ".bin")) << line;
  std::size_t columns = 0;  // characters after the "\r"
  for (const char byte : line.substr(1)) columns += (byte & 0xC0) != 0x80;
  EXPECT_EQ(columns, 79u) << line;
  std::fclose(stream);
}

TEST(ProgressMeter, ADisabledMeterWritesNothing) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  {
    ProgressMeter meter(stream, false);
    meter.Begin("hashing", 10);
    meter.Advance(5, u"a");
  }
  EXPECT_EQ(Written(stream), "");
  std::fclose(stream);
}

}  // namespace
}  // namespace qvtest
