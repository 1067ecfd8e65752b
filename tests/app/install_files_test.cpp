#include <gtest/gtest.h>

#include <filesystem>

#include "app/install_files.h"
#include "app/update_info.h"
#include "base/wide_string.h"
#include "base/private_heap.h"
#include "support/debug_log_capture.h"
#include "test_support.h"

namespace {

using qvtest::ScratchDir;
using qvtest::U16;

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
  EXPECT_EQ(Read("<p>"), u"<failed>");  // shorter than either tag
  EXPECT_EQ(Read("</path>C:\\a<path>"), u"<failed>");
  EXPECT_EQ(Read("<path>" + std::string(259, 'a') + "</path>"), U16(std::string(259, 'a')));
  EXPECT_EQ(Read("<path>" + std::string(260, 'a') + "</path>"), u"<failed>");
  // 173 three-byte characters: 519 bytes, 173 units, accepted; one more
  // byte than 519 is refused whatever it converts to.
  std::string kana;
  for (int i = 0; i < 173; ++i) kana += "あ";
  EXPECT_EQ(Read("<path>" + kana + "</path>").size(), 173u);
  EXPECT_EQ(Read("<path>" + kana + "a</path>"), u"<failed>");
  char16_t folder[kInstallPathCapacity] = u"dirty";
  EXPECT_EQ(ReadInstallFolder(dir_.Path(u"absent.xml").c_str(), folder, kInstallPathCapacity), 0);
  EXPECT_EQ(folder[0], 0);
}

TEST(DeleteListTest, DeletesWhatTheRulesAcceptBelowTheInstallFolder) {
  ScratchDir dir;
  dir.WriteFile(u"game\\a.txt", "a");
  dir.WriteFile(u"game\\b.log", "b");
  dir.WriteFile(u"game\\sub\\deep\\c.txt", "c");
  confine::Tree tree;
  ASSERT_EQ(tree.Open(dir.Path(u"game").c_str(), {}), confine::Rule::kOk);
  qvtest::DebugLogCapture capture;
  DeleteListedPaths(tree, {u"*.txt", u"sub", u"..\\game\\b.log", u"a.txt"});
  EXPECT_NE(capture.Contents().find("\tdelete list: entry refused [..\\game\\b.log]\r\n"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.Native(u"game/a.txt")));
  EXPECT_FALSE(std::filesystem::exists(dir.Native(u"game/sub")));
  EXPECT_TRUE(std::filesystem::exists(dir.Native(u"game/b.log")));
}

TEST(RecordPathTest, BrandAndAppMustBePlainNames) {
  UpdateInfo info;
  char16_t path[kWorkingPathCapacity];
  for (const char16_t* bad : {u"..", u".", u"..\\..\\..", u"a/b", u"C:", u"x:y", u"", u"a\tb"}) {
    CopyWide(info.brand, kInfoNameCapacity, bad);
    CopyWide(info.app, kInfoNameCapacity, u"Game");
    EXPECT_EQ(FormRecordPath(info, path, kWorkingPathCapacity), 0) << qvtest::U8(bad);
    CopyWide(info.brand, kInfoNameCapacity, u"Brand");
    CopyWide(info.app, kInfoNameCapacity, bad);
    EXPECT_EQ(FormRecordPath(info, path, kWorkingPathCapacity), 0) << qvtest::U8(bad);
  }
  CopyWide(info.brand, kInfoNameCapacity, u"QvDemo");
  CopyWide(info.app, kInfoNameCapacity, u"空灯籠");
  ASSERT_EQ(FormRecordPath(info, path, kWorkingPathCapacity), 1);
  EXPECT_TRUE(std::u16string(path).ends_with(u"QvDemo\\空灯籠.xml")) << qvtest::U8(path);
}

}  // namespace
