// Attacks on the updater's confinement, each built as a real folder tree
// with real links: the updater runs with the script front end, ends with
// the expected box, and a fenced tree outside the install folder stays
// byte for byte as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "os/system_folders.h"
#include "support/fence.h"
#include "support/links.h"
#include "updater_run.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

const std::string kTitle = "テスト更新";
const std::string kWindowLine = "window title=\"テスト更新\" client=640x480 at=640,300";
const std::string kConfirm =
    BoxLine("main", kTitle, "更新しますか？\nOKで開始します。", "okcancel", "ok");
const std::string kSuccess = BoxLine("dialog", kTitle, "更新が完了しました。", "ok");
const std::vector<std::string> kInstallFolderRefused = {
    kWindowLine, kConfirm, BoxLine("main", kTitle, "ゲームが見つかりません。", "ok"),
    "exit code=2"};

// The built-in Japanese texts of the data folder's boxes.
const std::string kLinkText = "パッチの data フォルダにリンクがあるため、インストールできません。";
const std::string kNameText =
    "パッチの data フォルダに Windows で使えない名前があるため、インストールできません。";
const std::string kLengthText = "パッチのファイルのパスが長すぎるため、インストールできません。";
const std::string kCaseText =
    "パッチの data フォルダに大文字と小文字だけが異なる名前があるため、インストールできません。";

const std::string kAccessText =
    "次のファイルまたはフォルダに書き込めないため、アップデートできません。";

std::vector<std::string> DataRefused(const std::string& text, const std::string& path) {
  return {kWindowLine, kConfirm, BoxLine("main", kTitle, text + "\n" + path, "ok"), "exit code=2"};
}

class UpdaterAttack : public ::testing::Test {
 protected:
  void SetUp() override { before_ = fence_.Digest(); }
  void TearDown() override { EXPECT_EQ(fence_.Digest(), before_) << "the outside tree changed"; }

  // Links that the test needs; it is skipped where the system makes none.
  bool Link(const fs::path& link, const fs::path& target, bool folder) {
    return box_.Link(link, target, folder);
  }
  bool Ended(const std::vector<std::string>& transcript, const std::string& box) {
    return std::find(transcript.begin(), transcript.end(), box) != transcript.end() &&
           !transcript.empty() && transcript.back() == "exit code=0";
  }

  UpdaterSandbox box_;
  Fence fence_{box_.Root() / "outside"};
  std::string before_;
};

#define LINK_OR_SKIP(link, target, folder) \
  if (!Link(link, target, folder)) GTEST_SKIP() << "this system makes no links"

// --- links in the game folder ------------------------------------------------------

TEST_F(UpdaterAttack, DeleteEntriesNeverReachThroughLinks) {
  LINK_OR_SKIP(box_.Game() / "linked", fence_.Root(), true);
  ASSERT_TRUE(Link(box_.Game() / "via", fence_.Root(), true));
  ASSERT_TRUE(Link(box_.Game() / "cache" / "out", fence_.Root(), true));
  ASSERT_TRUE(Link(box_.Game() / "cache" / "out-empty", fence_.EmptyFolder(), true));
  ASSERT_TRUE(Link(box_.Game() / "old.txt", fence_.File(), false));
  box_.WriteGame("cache/a.bin", "cached");
  box_.WriteDescription({"linked", "via\\secret.txt", "via\\inner", "cache", "old.txt",
                         "via\\empty"});
  box_.WriteRecordForGame();
  box_.WriteData("a.bin", "alpha");
  EXPECT_TRUE(Ended(box_.Run(), kSuccess));
  EXPECT_EQ(box_.ReadGame("a.bin"), "alpha");
  EXPECT_FALSE(box_.GameHas("cache/a.bin"));
  if (!RunningUnderWine()) {  // Wine can remove no link to a folder
    EXPECT_FALSE(fs::exists(fs::symlink_status(box_.Game() / "linked")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(box_.Game() / "cache")));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(box_.Game() / "old.txt")));
}

// --- writes through links ----------------------------------------------------------

TEST_F(UpdaterAttack, ADestinationThatIsALinkIsReplacedNotWrittenThrough) {
  LINK_OR_SKIP(box_.Game() / "readme.txt", fence_.File(), false);
  ASSERT_TRUE(Link(box_.Game() / "install.log", fence_.File(), false));
  box_.WriteDescription();
  box_.WriteRecordForGame();
  box_.WriteData("readme.txt", "new readme");
  EXPECT_TRUE(Ended(box_.Run(), kSuccess));
  EXPECT_EQ(box_.ReadGame("readme.txt"), "new readme");
  const std::string line = "\"" + box_.GameText() + "\\readme.txt\"\r\n";
  // Wine shows a link to a file as a file and reads the old log through it.
  if (RunningUnderWine()) {
    EXPECT_NE(box_.ReadGame("install.log").find(line), std::string::npos);
  } else {
    EXPECT_EQ(box_.ReadGame("install.log"), line);
  }
}

TEST_F(UpdaterAttack, ADestinationBehindALinkedFolderRefusesTheRunAndWritesNothingThere) {
  LINK_OR_SKIP(box_.Game() / "system", fence_.Root(), true);
  box_.WriteDescription();
  box_.WriteRecordForGame();
  box_.WriteData("system/secret.txt", "overwritten");
  box_.WriteData("system/new.dll", "created outside");
  box_.WriteData("system/inner/deep.txt", "overwritten");
  EXPECT_EQ(box_.Run(), DataRefused(kAccessText, box_.GameText() + "\\system"));
  EXPECT_FALSE(box_.GameHas("install.log"));
}

// --- the install folder itself -------------------------------------------------------

// Every rule is judged in-process by the confinement tests; here one folder
// of each kind shows that the updater asks, and that nothing is touched.
TEST_F(UpdaterAttack, FoldersTheRulesRefuseAreNoInstallFolder) {
  const std::vector<std::u16string> profiles = os::GetSystemFolders().profiles;
  ASSERT_FALSE(profiles.empty());
#ifdef _WIN32
  const std::string root = "C:\\";
#else
  const std::string root = "/";
#endif
  box_.WriteGame("keep.txt", "kept");
  box_.WriteDescription({"a.bin", "keep.txt", "data", "updateinfo.xml", "secret.txt", "inner"});
  box_.WriteData("a.bin", "alpha");
  for (const std::string& folder :
       {root, U8(profiles.front()), Native8(box_.Root() / "appdata"), std::string("."),
        box_.GameText() + "\\..\\outside", Native8(box_.Patch() / "data")}) {
    SCOPED_TRACE(folder);
    box_.WriteRecord("<path>" + folder + "</path>");
    EXPECT_EQ(box_.Run(), kInstallFolderRefused);
  }
  EXPECT_TRUE(fs::exists(box_.Patch() / "data" / "a.bin"));
  EXPECT_TRUE(fs::exists(box_.Patch() / "updateinfo.xml"));
  EXPECT_EQ(box_.ReadGame("keep.txt"), "kept");
  LINK_OR_SKIP(box_.Root() / "linked-game", fence_.Root(), true);
  box_.WriteRecord("<path>" + Native8(box_.Root() / "linked-game") + "</path>");
  EXPECT_EQ(box_.Run(), kInstallFolderRefused);
}

TEST_F(UpdaterAttack, BrandAndAppCannotLeadToAnotherRecord) {
  // A record of the patch's own making that names the outside tree.
  std::ofstream(box_.Patch() / "evil.xml") << "<path>" + Native8(fence_.Root()) + "</path>";
  box_.WriteData("a.bin", "alpha");
  // Each rule of the names is judged in-process; one of each side here.
  const std::vector<std::pair<std::string, std::string>> names = {
      {"..\\patch", "evil"}, {"QvTest", "..\\..\\patch\\evil"}};
  for (const auto& [brand, app] : names) {
    SCOPED_TRACE(brand + " " + app);
    box_.WriteDescription({"secret.txt", "inner"}, {}, brand, app);
    EXPECT_EQ(box_.Run(), kInstallFolderRefused);
  }
}

TEST(UpdaterPatchInsideTheGame, DeleteEntriesNeverReachThePatch) {
  UpdaterSandbox box("patches/MyPatch");
  box.WriteGame("patches/other.txt", "other patch file");
  box.WriteDescription({"patches", "patches\\MyPatch", "patches\\MyPatch\\data",
                        "patches\\MyPatch\\updateinfo.xml", "patches\\other.txt"});
  box.WriteRecordForGame();
  box.WriteData("a.bin", "alpha");
  std::vector<std::string> transcript = box.Run();
  ASSERT_EQ(transcript.size(), 7u) << ::testing::PrintToString(transcript);
  EXPECT_EQ(transcript[4], kSuccess);
  EXPECT_EQ(box.ReadGame("a.bin"), "alpha");
  EXPECT_TRUE(fs::exists(box.Patch() / "updateinfo.xml"));
  EXPECT_TRUE(fs::exists(box.Patch() / "data" / "a.bin"));
  EXPECT_FALSE(box.GameHas("patches/other.txt"));
}

// --- names in data/ ---------------------------------------------------------------

TEST_F(UpdaterAttack, ALinkInTheDataFolderRefusesTheRunBeforeAnythingIsTouched) {
  box_.WriteGame("keep.txt", "kept");
  box_.WriteDescription({"keep.txt"});
  box_.WriteRecordForGame();
  box_.WriteData("a.bin", "alpha");
  LINK_OR_SKIP(box_.Patch() / "data" / "linked", fence_.Root(), true);
  EXPECT_EQ(box_.Run(), DataRefused(kLinkText, "data\\linked"));
  RemoveLink(box_.Patch() / "data" / "linked");

  // A loop ends the walk at once; a language's own text is shown.
  ASSERT_TRUE(Link(box_.Patch() / "data" / "sub" / "loop", box_.Patch() / "data", true));
  PatchTexts texts;
  texts.error_link = "リンク禁止";
  box_.WriteDescription({"keep.txt"}, texts);
  EXPECT_EQ(box_.Run(), DataRefused("リンク禁止", "data\\sub\\loop"));
  EXPECT_EQ(box_.ReadGame("keep.txt"), "kept");
  EXPECT_FALSE(box_.GameHas("a.bin"));
  EXPECT_FALSE(box_.GameHas("install.log"));
}

TEST_F(UpdaterAttack, TheDataFolderItselfMustNotBeALink) {
  box_.WriteDescription();
  box_.WriteRecordForGame();
  fs::remove_all(box_.Patch() / "data");
  LINK_OR_SKIP(box_.Patch() / "data", fence_.Root(), true);
  EXPECT_EQ(box_.Run(), DataRefused(kLinkText, "data"));
  EXPECT_FALSE(box_.GameHas("secret.txt"));
}

#ifndef _WIN32
// Only a system that allows these names can hold such a patch.
TEST_F(UpdaterAttack, NamesWindowsCannotHoldRefuseTheRun) {
  box_.WriteGame("keep.txt", "kept");
  box_.WriteRecordForGame();
  box_.WriteDescription({"keep.txt"});
  box_.WriteData("a.bin", "alpha");
  // One name whose backslashes would become steps up the tree.
  std::ofstream(box_.Patch() / "data" / "x\\..\\..\\evil.txt") << "evil";
  EXPECT_EQ(box_.Run(), DataRefused(kNameText, "data\\x\\..\\..\\evil.txt"));
  EXPECT_FALSE(fs::exists(box_.Root() / "evil.txt"));
  fs::remove(box_.Patch() / "data" / "x\\..\\..\\evil.txt");

  box_.WriteData("sub/CON", "device");
  EXPECT_EQ(box_.Run(), DataRefused(kNameText, "data\\sub\\CON"));
  fs::remove_all(box_.Patch() / "data" / "sub");

  box_.WriteData("Readme.txt", "one");
  box_.WriteData("README.TXT", "two");
  EXPECT_EQ(box_.Run(), DataRefused(kCaseText, "data\\Readme.txt"));
  EXPECT_EQ(box_.ReadGame("keep.txt"), "kept");
  EXPECT_FALSE(box_.GameHas("install.log"));
}
#endif

TEST_F(UpdaterAttack, APathThatCannotFitRefusesTheRun) {
  // An install folder deep enough that a path which fits below the data
  // folder does not fit below it: folder, separator and path reach 260.
  const std::string deep(100, 'i');
  box_.WriteGame(deep + "/keep.txt", "kept");
  box_.WriteRecord("<path>" + box_.GameText() + "\\" + deep + "</path>");
  box_.WriteDescription({"keep.txt"});
  const std::size_t folder_units = U16(box_.GameText()).size() + 1 + deep.size();
  const std::string name(259 - folder_units - 4, 'n');
  box_.WriteData("abc/" + name, "long");
  EXPECT_EQ(box_.Run(), DataRefused(kLengthText, "data\\abc\\" + name));
  EXPECT_EQ(box_.ReadGame(deep + "/keep.txt"), "kept");
}

}  // namespace
}  // namespace qvtest
