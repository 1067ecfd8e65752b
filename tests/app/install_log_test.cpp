#include <gtest/gtest.h>

#include "app/text_line_list.h"
#include "file/confined_tree.h"
#include "os/file.h"
#include "os/folders.h"
#include "support/fence.h"
#include "support/links.h"
#include "base/private_heap.h"
#include "test_support.h"

namespace {

using qvtest::ScratchDir;
using qvtest::U16;

class InstallLogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CreatePrivateHeap(1 << 20); }
  void SetUp() override { ASSERT_EQ(tree_.Open(dir_.Path().c_str(), {}), confine::Rule::kOk); }

  std::vector<std::u16string> Loaded(const std::string& bytes) {
    dir_.WriteFile(u"install.log", bytes);
    TextLineList list;
    EXPECT_EQ(list.Load(tree_, u"install.log"), 1);
    return list.Lines();
  }

  ScratchDir dir_;
  confine::Tree tree_;
};

TEST_F(InstallLogTest, MergeKeepsTheOldFormOfEqualLines) {
  dir_.WriteFile(u"install.log", "\"C:\\G\\b\"\r\n\"c:\\g\\A\"\r\n");
  TextLineList list;
  ASSERT_EQ(list.Load(tree_, u"install.log"), 1);
  list.Append(u"\"C:\\G\\a\"");
  list.Append(u"\"C:\\G\\c\"");
  list.SortUnique();
  ASSERT_EQ(list.Save(tree_, u"install.log"), 1);
  EXPECT_EQ(dir_.ReadFile(u"install.log"), "\"c:\\g\\A\"\r\n\"C:\\G\\b\"\r\n\"C:\\G\\c\"\r\n");
}

TEST_F(InstallLogTest, SortsAndMergesAsTheSystemComparesTexts) {
  // Accented and full-width letters fold too (the first form stays), an
  // accent counts after the letters, and a hyphen only when everything
  // else is equal, so "a-c" sorts after "ab". The order lstrcmpiW gives.
  TextLineList list;
  for (const char16_t* line : {u"\"a-c\"", u"\"\u00C4\"", u"\"\uFF41\"", u"\"ab\"", u"\"\u00E4\"",
                               u"\"\uFF21\""})
    list.Append(line);
  list.SortUnique();
  const std::vector<std::u16string> expected = {u"\"\uFF41\"", u"\"\u00C4\"", u"\"ab\"",
                                                u"\"a-c\""};
  EXPECT_EQ(list.Lines(), expected);
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
  ASSERT_EQ(list.Save(tree_, u"copy.log"), 1);
  EXPECT_EQ(dir_.ReadFile(u"copy.log"), long_line + "\r\n");
}

TEST_F(InstallLogTest, MissingFileAddsNothingAndUnwritablePlacesFail) {
  TextLineList list;
  EXPECT_EQ(list.Load(tree_, u"absent.log"), 0);
  EXPECT_TRUE(list.Lines().empty());
  list.Append(u"x");
  dir_.WriteFile(u"blocker", "a file where a folder should be");
  EXPECT_EQ(list.Save(tree_, u"blocker\\install.log"), 0);
  dir_.WriteFile(u"locked.log", "old");
  ASSERT_TRUE(os::SetFileAttributes(dir_.Path(u"locked.log").c_str(), os::kAttrReadOnly));
  EXPECT_EQ(list.Save(tree_, u"locked.log"), 0);
  EXPECT_EQ(dir_.ReadFile(u"locked.log"), "old");
}

TEST_F(InstallLogTest, ALinkNamedLikeTheLogIsReplacedNotWrittenThrough) {
  qvtest::Fence fence(dir_.Native(u"outside"));
  const std::string before = fence.Digest();
  if (!qvtest::MakeLink(dir_.Native(u"game.log"), fence.File(), false))
    GTEST_SKIP() << "this system makes no links";
  TextLineList list;
  if (!qvtest::RunningUnderWine()) {  // Wine shows the link as a plain file
    EXPECT_EQ(list.Load(tree_, u"game.log"), 0);
  }
  list.Append(u"\"new\"");
  ASSERT_EQ(list.Save(tree_, u"game.log"), 1);
  EXPECT_EQ(dir_.ReadFile(u"game.log"), "\"new\"\r\n");
  EXPECT_EQ(fence.Digest(), before);
}

}  // namespace
