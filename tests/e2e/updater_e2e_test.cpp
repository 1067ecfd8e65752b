// The updater end to end: the executable runs with the script front end on
// a generated patch against a sandbox game, and the transcript and the
// files afterwards are checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/picture_files.h"
#include "updater_run.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

const std::string kCopyError = "コピーに失敗しました。\\n";  // not converted

std::string LogLine(const std::string& path) { return "\"" + path + "\"\r\n"; }

// The install folder's destination for a relative path, as the updater
// joins it.
std::string Destination(const UpdaterSandbox& box, const std::string& relative) {
  return box.GameText() + "\\" + relative;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

TEST(UpdaterEndToEnd, InstallsTheDataTreeAndReportsSuccess) {
  UpdaterSandbox box;
  box.WriteDescription();
  box.WriteRecordForGame();
  box.WriteData("a.bin", "alpha");
  box.WriteData("sub/deeper/b.bin", "bravo");
  box.WriteData(".hidden", "hidden files are listed too");
  fs::create_directories(box.Patch() / "data" / "empty");
  box.WriteGame("a.bin", "the old alpha");

  std::vector<std::string> expected = {
      kWindowLine,
      Confirm(),
      kDialogLine,
      // Each file once, named below the install folder, then the sizes.
      "progress file=\".hidden\"",
      "progress file=\"a.bin\"",
      "progress file=\"sub\\\\deeper\\\\b.bin\"",
      "progress done=37 total=37",
      "dialog hide",
      kSuccessLine,
      "dialog end result=2",
      "exit code=0",
  };
  EXPECT_EQ(box.Run(), expected);
  EXPECT_EQ(box.ReadGame("a.bin"), "alpha");
  EXPECT_EQ(box.ReadGame("sub/deeper/b.bin"), "bravo");
  EXPECT_EQ(box.ReadGame(".hidden"), "hidden files are listed too");
  EXPECT_FALSE(box.GameHas("empty"));  // folders themselves are not reproduced

  // Sorted without regard to case: ".hidden" < "a.bin" < "sub\...".
  EXPECT_EQ(box.ReadGame("install.log"), LogLine(Destination(box, ".hidden")) +
                                             LogLine(Destination(box, "a.bin")) +
                                             LogLine(Destination(box, "sub\\deeper\\b.bin")));
}

// Each rule of the record's reading is pinned in-process; here a missing
// record ends with the box, and a cancel before it is looked up.
TEST(UpdaterEndToEnd, CancelOrAMissingInstallRecordTouchesNothing) {
  UpdaterSandbox box;
  box.WriteDescription({"keep.txt"});
  box.WriteData("a.bin", "alpha");
  box.WriteGame("keep.txt", "kept");
  std::vector<std::string> cancelled = {kWindowLine, Confirm("cancel"), "exit code=2"};
  EXPECT_EQ(box.Run("cancel\n"), cancelled);
  std::vector<std::string> missing = {
      kWindowLine, Confirm(), BoxLine("main", kTitle, "ゲームが見つかりません。", "ok"),
      "exit code=2"};
  EXPECT_EQ(box.Run(), missing);
  EXPECT_EQ(box.ReadGame("keep.txt"), "kept");
  EXPECT_FALSE(box.GameHas("install.log") || box.GameHas("a.bin"));
}

TEST(UpdaterEndToEnd, TheTerminalInstallsOnlyOnAClearOk) {
  UpdaterSandbox box;
  box.WriteDescription();
  box.WriteRecordForGame();
  box.WriteData("a.bin", "alpha");
  // The end of the input is no answer: nothing happens (each word is
  // judged in-process).
  box.Run("", "", "terminal");
  EXPECT_FALSE(box.GameHas("a.bin") || box.GameHas("install.log"));
  const std::vector<std::string> lines = box.Run("maybe\nyes\n", "", "terminal");
  EXPECT_EQ(box.ReadGame("a.bin"), "alpha");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) {
                            return line.find("Please answer") != std::string::npos;
                          }),
            1);
}

TEST(UpdaterEndToEnd, EmptyCopyListRewritesTheLogAndSucceeds) {
  UpdaterSandbox box;
  box.WriteDescription();
  box.WriteRecordForGame();
  // Old lines out of order, one repeated, one without a line end, one
  // longer than a path field.
  std::string long_line = "\"" + std::string(300, 'L') + "\"";
  box.WriteGame("install.log", "\"z\"\r\n\"y\"\n\"Z\"\r\n" + long_line + "\r\n\"x\"");
  std::vector<std::string> transcript = box.Run();
  ASSERT_EQ(transcript.size(), 7u);
  EXPECT_EQ(transcript[4], kSuccessLine);
  EXPECT_EQ(box.ReadGame("install.log"),
            long_line + "\r\n\"x\"\r\n\"y\"\r\n\"z\"\r\n");
}

TEST(UpdaterEndToEnd, CopyFailureShowsEachBoxOnceAndLeavesTheGameUnchanged) {
  UpdaterSandbox box;
  box.WriteDescription({"old.txt"});
  box.WriteRecordForGame();
  box.WriteData("a.bin", "alpha");
  box.WriteData("new/b.bin", "bravo");
  box.WriteGame("a.bin", "the old alpha");
  box.WriteGame("old.txt", "to be deleted");
  box.WriteGame("install.log", "\"old line\"\r\n");
  // a.bin is the first file written: a full disk.
  box.SetFault("write:1:112");
  std::vector<std::string> transcript = box.Run();
  ASSERT_EQ(transcript.size(), 9u) << ::testing::PrintToString(transcript);
  // The worker's box gives the system's own text for a full disk.
  EXPECT_EQ(transcript[3].rfind("box owner=dialog caption=\"エラー\" text=\"", 0), 0u) << transcript[3];
  transcript.erase(transcript.begin() + 3);
  const std::vector<std::string> expected = {
      kWindowLine, Confirm(), kDialogLine, "dialog hide", BoxLine("dialog", "エラー", kCopyError, "ok"),
      BoxLine("dialog", "エラー", "ゲームは更新前の状態のままです。", "ok"), "dialog end result=2",
      "exit code=1"};
  EXPECT_EQ(transcript, expected);
  EXPECT_EQ(box.ReadGame("a.bin"), "the old alpha");
  EXPECT_EQ(box.ReadGame("old.txt"), "to be deleted");
  EXPECT_FALSE(box.GameHas("new"));
  EXPECT_FALSE(box.GameHas("~qvupdate"));
  EXPECT_EQ(box.ReadGame("install.log"), "\"old line\"\r\n");
}

TEST(UpdaterEndToEnd, ReadOnlyTargetRefusesTheRunNamingIt) {
  UpdaterSandbox box;
  box.WriteDescription();
  box.WriteRecordForGame();
  box.WriteData("a.bin", "alpha");
  box.WriteData("b.bin", "bravo");
  box.WriteGame("b.bin", "the old bravo");
  fs::permissions(box.Game() / "b.bin", fs::perms::owner_write | fs::perms::group_write |
                                            fs::perms::others_write, fs::perm_options::remove);
  std::vector<std::string> expected = {
      kWindowLine, Confirm(),
      BoxLine("main", kTitle,
              "次のファイルまたはフォルダに書き込めないため、アップデートできません。\n" +
                  Destination(box, "b.bin"),
              "ok"),
      "exit code=2"};
  EXPECT_EQ(box.Run(), expected);
  EXPECT_FALSE(box.GameHas("a.bin"));
  EXPECT_EQ(box.ReadGame("b.bin"), "the old bravo");
  EXPECT_FALSE(box.GameHas("install.log"));
  fs::permissions(box.Game() / "b.bin", fs::perms::owner_write, fs::perm_options::add);
}

class UpdaterWindow : public ImageTest {};

TEST_F(UpdaterWindow, IsCentredOnTheScreenAtThePictureSize) {
  UpdaterSandbox box;
  box.WriteDescription();
  const fs::path background = box.Patch() / "updatebg.hg3";
  WriteFile(background, SaveHg3(*MakePicture(320, 200, 4, Pattern::kGradient)));
  EXPECT_EQ(box.Run("cancel\n", "1024x768").front(),
            "window title=\"テスト更新\" client=320x200 at=352,284 paint=320x200");

  // Without a decodable picture, or with 2-byte pixels, which have no
  // colours to paint: a white 640 x 480 window all the same.
  std::ofstream(background, std::ios::binary) << "HG-3 but nothing else";
  EXPECT_EQ(box.Run("cancel\n").front(), kWindowLine);
  const Bytes narrow = SaveQvf(*MakePicture(320, 200, 2, Pattern::kGradient));
  ASSERT_FALSE(narrow.empty());
  WriteFile(background, narrow);
  EXPECT_EQ(box.Run("cancel\n").front(), kWindowLine);
}

TEST(UpdaterEndToEnd, MissingDescriptionOrLanguageEndsWithABox) {
  UpdaterSandbox box;
  std::vector<std::string> missing = {
      BoxLine("none", "error", "updateinfo.xml was not found.", "ok"), "exit code=2"};
  EXPECT_EQ(box.Run(), missing);

  std::ofstream(box.Patch() / "updateinfo.xml", std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><document><brand>b</brand></document>";
  std::vector<std::string> no_language = {BoxLine("none", "error", "", "ok"), "exit code=2"};
  EXPECT_EQ(box.Run(), no_language);
}

}  // namespace
}  // namespace qvtest
