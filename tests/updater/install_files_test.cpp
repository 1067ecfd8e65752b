#include <gtest/gtest.h>

#include "app/install_files.h"
#include "system/private_heap.h"
#include "test_support.h"

namespace {

using qvtest::ScratchDir;
using qvtest::U16;

TEST(DeleteEntryTest, OnlyEntriesInsideTheInstallFolderAreSafe) {
  for (const char16_t* safe : {u"old.txt", u"cache", u"a\\b\\c.dat", u"a/b", u"..x", u"x..",
                               u"*.tmp", u"dir\\"}) {
    EXPECT_TRUE(IsSafeDeleteEntry(safe)) << qvtest::U8(safe);
  }
  for (const char16_t* unsafe :
       {u"", u"..", u"..\\x", u"a\\..\\..\\x", u"a/../b", u"a\\..", u".", u".\\", u"\\x",
        u"/etc/passwd", u"\\\\server\\share\\x", u"//server/share", u"C:\\Windows", u"C:x",
        u"file.txt:stream"}) {
    EXPECT_FALSE(IsSafeDeleteEntry(unsafe)) << qvtest::U8(unsafe);
  }
}

class InstallRecordTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CreatePrivateHeap(1 << 20); }

  // The install folder read from a record holding `bytes`, or "<failed>".
  std::u16string Read(const std::string& bytes) {
    dir_.WriteFile(u"record.xml", bytes);
    char16_t folder[kInstallPathCapacity] = u"dirty";
    if (ReadInstallFolder(dir_.Path(u"record.xml").c_str(), folder, kInstallPathCapacity))
      return folder;
    EXPECT_EQ(folder[0], 0);
    return u"<failed>";
  }

  ScratchDir dir_;
};

TEST_F(InstallRecordTest, FirstTagsAnywhereInTheBytes) {
  EXPECT_EQ(Read("<r><path>C:\\ゲーム\\空</path><path>D:\\x</path></r>"), u"C:\\ゲーム\\空");
  EXPECT_EQ(Read("<!-- <path>C:\\a</path> --><path>C:\\b</path>"), u"C:\\a");
  EXPECT_EQ(Read("<path>C:\\a"), u"<failed>");
  EXPECT_EQ(Read("C:\\a</path>"), u"<failed>");
  // A bad UTF-8 sequence would cut the path short: refused.
  EXPECT_EQ(Read("<path>C:\\Games\\\xFF\xFE" "x</path>"), u"<failed>");
  // The search ends at the first zero byte.
  EXPECT_EQ(Read(std::string("<path>C:\\a\0</path>", 17)), u"<failed>");
}

TEST_F(InstallRecordTest, EmptyOrOversizedPathsAreRefused) {
  EXPECT_EQ(Read("<path></path>"), u"<failed>");
  EXPECT_EQ(Read("</path>C:\\a<path>"), u"<failed>");
  EXPECT_EQ(Read("<path>" + std::string(259, 'a') + "</path>"), U16(std::string(259, 'a')));
  EXPECT_EQ(Read("<path>" + std::string(260, 'a') + "</path>"), u"<failed>");
  // 173 three-byte characters: 519 bytes, 173 units, accepted; one more
  // byte than 519 is refused whatever it converts to.
  std::string kana;
  for (int i = 0; i < 173; ++i) kana += "あ";
  EXPECT_EQ(Read("<path>" + kana + "</path>").size(), 173u);
  EXPECT_EQ(Read("<path>" + kana + "a</path>"), u"<failed>");
  char16_t folder[kInstallPathCapacity];
  EXPECT_EQ(ReadInstallFolder(dir_.Path(u"absent.xml").c_str(), folder, kInstallPathCapacity), 0);
}

TEST(DeleteTreeTest, DeletesFilesAndFoldersThatMatch) {
  ScratchDir dir;
  dir.WriteFile(u"game\\a.txt", "a");
  dir.WriteFile(u"game\\b.log", "b");
  dir.WriteFile(u"game\\sub\\deep\\c.txt", "c");
  DeleteTree(dir.Path(u"game\\*.txt").c_str());
  EXPECT_FALSE(std::filesystem::exists(dir.Native(u"game/a.txt")));
  EXPECT_TRUE(std::filesystem::exists(dir.Native(u"game/b.log")));
  DeleteListedPaths(dir.Path(u"game").c_str(), {u"sub", u"..\\game\\b.log"});
  EXPECT_FALSE(std::filesystem::exists(dir.Native(u"game/sub")));
  EXPECT_TRUE(std::filesystem::exists(dir.Native(u"game/b.log")));
}

}  // namespace
