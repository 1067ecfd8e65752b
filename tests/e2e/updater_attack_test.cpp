// Attacks on the updater's confinement, each built as a real folder tree
// with real links: the updater runs with the script front end, ends with
// the expected box, and a fenced tree outside the install folder stays
// byte for byte as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/fence.h"
#include "support/links.h"
#include "updater_run.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kInstallFolderRefused = {
    kWindowLine, Confirm(), BoxLine("main", kTitle, "ゲームが見つかりません。", "ok"),
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
  return {kWindowLine, Confirm(), BoxLine("main", kTitle, text + "\n" + path, "ok"), "exit code=2"};
}

class UpdaterAttack : public ::testing::Test {
 protected:
  void SetUp() override { before_ = fence_.Digest(); }
  void TearDown() override { EXPECT_EQ(fence_.Digest(), before_) << "the outside tree changed"; }

  // Links that the test needs; it is skipped where the system makes none.
  bool Link(const fs::path& link, const fs::path& target, bool folder) {
    return box_.Link(link, target, folder);
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
  const std::vector<std::string> transcript = box_.Run();
  EXPECT_NE(std::find(transcript.begin(), transcript.end(), kSuccessLine), transcript.end());
  EXPECT_EQ(transcript.back(), "exit code=0");
  EXPECT_EQ(box_.ReadGame("a.bin"), "alpha");
  EXPECT_FALSE(box_.GameHas("cache/a.bin"));
  if (!RunningUnderWine()) {  // Wine can remove no link to a folder
    EXPECT_FALSE(fs::exists(fs::symlink_status(box_.Game() / "linked")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(box_.Game() / "cache")));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(box_.Game() / "old.txt")));
}

// --- writes through links ----------------------------------------------------------

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

// Every rule is judged in-process by the confinement tests; here a system
// folder shows that the updater asks, the patch's own folder that it names
// the patch, and that nothing is touched.
TEST_F(UpdaterAttack, FoldersTheRulesRefuseAreNoInstallFolder) {
#ifdef _WIN32
  const std::string root = "C:\\";
#else
  const std::string root = "/";
#endif
  box_.WriteGame("keep.txt", "kept");
  box_.WriteDescription({"a.bin", "keep.txt", "data", "updateinfo.xml", "secret.txt", "inner"});
  box_.WriteData("a.bin", "alpha");
  for (const std::string& folder : {root, Native8(box_.Patch() / "data")}) {
    SCOPED_TRACE(folder);
    box_.WriteRecord("<path>" + folder + "</path>");
    EXPECT_EQ(box_.Run(), kInstallFolderRefused);
  }
  EXPECT_TRUE(fs::exists(box_.Patch() / "data" / "a.bin"));
  EXPECT_TRUE(fs::exists(box_.Patch() / "updateinfo.xml"));
  EXPECT_EQ(box_.ReadGame("keep.txt"), "kept");
}

// --- names in data/ ---------------------------------------------------------------

// Every kind of link is found in-process; here a language's own text is
// shown.
TEST_F(UpdaterAttack, ALinkInTheDataFolderRefusesTheRunBeforeAnythingIsTouched) {
  box_.WriteGame("keep.txt", "kept");
  box_.WriteDescription({"keep.txt"}, "リンク禁止");
  box_.WriteRecordForGame();
  box_.WriteData("a.bin", "alpha");
  LINK_OR_SKIP(box_.Patch() / "data" / "linked", fence_.Root(), true);
  EXPECT_EQ(box_.Run(), DataRefused("リンク禁止", "data\\linked"));
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
