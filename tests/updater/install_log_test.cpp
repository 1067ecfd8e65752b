#include <gtest/gtest.h>

#include "app/text_line_list.h"
#include "system/private_heap.h"
#include "test_support.h"

namespace {

using qvtest::ScratchDir;
using qvtest::U16;

class InstallLogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CreatePrivateHeap(1 << 20); }

  std::vector<std::u16string> Loaded(const std::string& bytes) {
    dir_.WriteFile(u"install.log", bytes);
    TextLineList list;
    EXPECT_EQ(list.Load(dir_.Path(u"install.log").c_str()), 1);
    return list.Lines();
  }

  ScratchDir dir_;
};

TEST_F(InstallLogTest, MergeKeepsTheOldFormOfEqualLines) {
  dir_.WriteFile(u"install.log", "\"C:\\G\\b\"\r\n\"c:\\g\\A\"\r\n");
  TextLineList list;
  ASSERT_EQ(list.Load(dir_.Path(u"install.log").c_str()), 1);
  list.Append(u"\"C:\\G\\a\"");
  list.Append(u"\"C:\\G\\c\"");
  list.SortUnique();
  ASSERT_EQ(list.Save(dir_.Path(u"install.log").c_str()), 1);
  EXPECT_EQ(dir_.ReadFile(u"install.log"), "\"c:\\g\\A\"\r\n\"C:\\G\\b\"\r\n\"C:\\G\\c\"\r\n");
}

TEST_F(InstallLogTest, LineEndsAndEmptyLinesAsWritten) {
  // CR LF and a lone LF end lines; a lone CR stays; the last line needs no
  // end; an empty line stays an empty line.
  std::vector<std::u16string> expected = {u"a", u"b\rc", u"", u"d", u"末尾"};
  EXPECT_EQ(Loaded("a\r\nb\rc\n\r\nd\n末尾"), expected);
  EXPECT_TRUE(Loaded("").empty());
}

TEST_F(InstallLogTest, LongLinesAreKeptWhole) {
  std::string long_line = "\"" + std::string(1000, 'x') + "\\ファイル\"";
  std::vector<std::u16string> lines = Loaded(long_line + "\r\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], U16(long_line));

  TextLineList list;
  list.Append(lines[0].c_str());
  ASSERT_EQ(list.Save(dir_.Path(u"copy.log").c_str()), 1);
  EXPECT_EQ(dir_.ReadFile(u"copy.log"), long_line + "\r\n");
}

TEST_F(InstallLogTest, MissingFileAddsNothingAndUnwritablePathFails) {
  TextLineList list;
  EXPECT_EQ(list.Load(dir_.Path(u"absent.log").c_str()), 0);
  EXPECT_TRUE(list.Lines().empty());
  list.Append(u"x");
  EXPECT_EQ(list.Save(dir_.Path(u"no\\such\\folder\\install.log").c_str()), 0);
}

}  // namespace
