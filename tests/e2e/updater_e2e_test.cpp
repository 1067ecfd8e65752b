// The updater end to end: the executable runs with the script front end on
// a generated patch against a sandbox game, and the transcript and the
// files afterwards are checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "image/hg3_writer.h"
#include "image/image.h"
#include "image/image_qvf.h"
#include "base/private_heap.h"
#include "updater_run.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

const PatchTexts kTexts;
const std::string kTitle = "テスト更新";
const std::string kIntoro = "更新しますか？\nOKで開始します。";
const std::string kCopyError = "コピーに失敗しました。\\n";  // not converted
const std::string kWindowLine = "window title=\"テスト更新\" client=640x480 at=640,300";

std::string Confirm(const std::string& answer = "ok") {
  return BoxLine("main", kTitle, kIntoro, "okcancel", answer);
}

std::string LogLine(const std::string& path) { return "\"" + path + "\"\r\n"; }

// The install folder's destination for a relative path, as the updater
// joins it.
std::string Destination(const UpdaterSandbox& box, const std::string& relative) {
  return box.GameText() + "\\" + relative;
}

// Pictures are made in the private heap.
void EnsureHeap() {
  static const int heap = CreatePrivateHeap(1 << 20);
  (void)heap;
}

// A 24-bit HG-3 picture of the given size with an alpha ramp.
void WriteBackground(const fs::path& path, std::uint32_t width, std::uint32_t height) {
  EnsureHeap();
  auto* image = new qvImage();
  ASSERT_TRUE(image->CreateBlank(width, height, 4));
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* pixel = image->GetPixelAddress(x, y);
      pixel[0] = static_cast<std::uint8_t>(x);
      pixel[1] = static_cast<std::uint8_t>(y);
      pixel[2] = 0x80;
      pixel[3] = static_cast<std::uint8_t>(x + y);
    }
  Hg3FrameSource frame;
  frame.image = image;
  qvMemBlock block;
  ASSERT_TRUE(WriteHg3(&frame, 1, &block));
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(block.data), block.size);
  block.Release();
  image->Release();
}

// A QVF picture of `bpp` bytes per pixel, 1 or 2.
void WriteNarrowQvf(const fs::path& path, std::uint32_t width, std::uint32_t height,
                    std::uint32_t bpp) {
  EnsureHeap();
  auto* image = new qvImageQvf();
  ASSERT_TRUE(image->CreateBlank(width, height, bpp));
  qvMemBlock block;
  ASSERT_TRUE(image->Save(&block, 0, 0, 0, 0));
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(block.data), block.size);
  block.Release();
  image->Release();
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
      "dialog text=\"ファイルをコピーしています\"",
      "dialog hide",
      BoxLine("dialog", kTitle, "更新が完了しました。", "ok"),
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

TEST(UpdaterEndToEnd, CancelAtTheConfirmationTouchesNothing) {
  UpdaterSandbox box;
  box.WriteDescription({"keep.txt"});
  box.WriteData("a.bin", "alpha");
  box.WriteGame("keep.txt", "kept");
  // No record at all: a lookup would show the install-folder error.
  std::vector<std::string> expected = {kWindowLine, Confirm("cancel"), "exit code=2"};
  EXPECT_EQ(box.Run("cancel\n"), expected);
  EXPECT_EQ(box.ReadGame("keep.txt"), "kept");
  EXPECT_FALSE(box.GameHas("install.log"));
  EXPECT_FALSE(box.GameHas("a.bin"));
}

TEST(UpdaterEndToEnd, TheTerminalInstallsOnlyOnAClearOk) {
  UpdaterSandbox box;
  box.WriteDescription();
  box.WriteRecordForGame();
  box.WriteData("a.bin", "alpha");
  // The end of the input, a no, or an unclear answer left without a clear
  // one: nothing happens (each word is judged in-process).
  for (const char* answers : {"", "n\n", "maybe\n"}) {
    box.Run(answers, "", "terminal");
    EXPECT_FALSE(box.GameHas("a.bin")) << answers;
    EXPECT_FALSE(box.GameHas("install.log")) << answers;
  }
  const std::vector<std::string> lines = box.Run("maybe\nyes\n", "", "terminal");
  EXPECT_EQ(box.ReadGame("a.bin"), "alpha");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) {
                            return line.find("Please answer") != std::string::npos;
                          }),
            1);
}

// Each rule of the record's reading is pinned in-process; here a missing
// record and a refused one end with the box.
TEST(UpdaterEndToEnd, UnusableInstallRecordShowsTheErrorAndTouchesNothing) {
  for (const std::string record : {"", "<install><path>C:\\Game</install>"}) {
    SCOPED_TRACE(record);
    UpdaterSandbox box;
    box.WriteDescription({"keep.txt"});
    if (!record.empty()) box.WriteRecord(record);
    box.WriteData("a.bin", "alpha");
    box.WriteGame("keep.txt", "kept");
    std::vector<std::string> expected = {
        kWindowLine, Confirm(), BoxLine("main", kTitle, "ゲームが見つかりません。", "ok"),
        "exit code=2"};
    EXPECT_EQ(box.Run(), expected);
    EXPECT_EQ(box.ReadGame("keep.txt"), "kept");
    EXPECT_FALSE(box.GameHas("install.log") || box.GameHas("a.bin"));
  }
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
  EXPECT_EQ(transcript[4], BoxLine("dialog", kTitle, "更新が完了しました。", "ok"));
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
  // The journal is the first file written, a.bin the second: a full disk.
  box.SetFault("write:2:112");
  std::vector<std::string> transcript = box.Run();
  ASSERT_EQ(transcript.size(), 9u) << ::testing::PrintToString(transcript);
  EXPECT_EQ(transcript[2], "dialog text=\"ファイルをコピーしています\"");
  const std::string worker_box = "box owner=dialog caption=\"エラー\" text=\"";
  EXPECT_EQ(transcript[3].rfind(worker_box, 0), 0u) << transcript[3];
  EXPECT_EQ(transcript[4], "dialog hide");
  EXPECT_EQ(transcript[5], BoxLine("dialog", "エラー", kCopyError, "ok"));
  EXPECT_EQ(transcript[6], BoxLine("dialog", "エラー", "ゲームは更新前の状態のままです。", "ok"));
  EXPECT_EQ(transcript[7], "dialog end result=2");
  EXPECT_EQ(transcript[8], "exit code=1");
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

TEST(UpdaterEndToEnd, DeleteListRemovesOnlyWhatIsInsideTheInstallFolder) {
  UpdaterSandbox box;
  std::string outside = Native8(box.Root() / "outside.txt");
  // A file, a folder with contents, nothing; then entries the rules refuse.
  box.WriteDescription({"old.txt", "olddir", "nothing-here", "*.tmp", "..\\outside.txt",
                        "sub\\..\\..\\outside.txt", outside, "\\\\server\\share\\x",
                        "C:outside.txt", "."});
  box.WriteRecordForGame();
  box.WriteGame("old.txt", "old");
  box.WriteGame("olddir/a.txt", "a");
  box.WriteGame("olddir/inner/b.txt", "b");
  box.WriteGame("keep.tmp", "kept");
  box.WriteGame("sub/keep.txt", "kept");
  std::ofstream(box.Root() / "outside.txt") << "outside";

  std::vector<std::string> transcript = box.Run();
  ASSERT_EQ(transcript.size(), 7u);
  EXPECT_FALSE(box.GameHas("old.txt"));
  EXPECT_FALSE(box.GameHas("olddir"));
  EXPECT_EQ(box.ReadGame("keep.tmp"), "kept");
  EXPECT_EQ(box.ReadGame("sub/keep.txt"), "kept");
  EXPECT_TRUE(fs::exists(box.Root() / "outside.txt"));
  EXPECT_TRUE(fs::exists(box.Patch() / "updateinfo.xml"));
}

TEST(UpdaterEndToEnd, WindowIsCentredOnTheScreenAtThePictureSize) {
  UpdaterSandbox box;
  box.WriteDescription();
  WriteBackground(box.Patch() / "updatebg.hg3", 640, 480);
  EXPECT_EQ(box.Run("cancel\n").front(), kWindowLine);

  WriteBackground(box.Patch() / "updatebg.hg3", 320, 200);
  EXPECT_EQ(box.Run("cancel\n", "1024x768").front(),
            "window title=\"テスト更新\" client=320x200 at=352,284");

  // Without a decodable picture: a 640 x 480 window all the same.
  std::ofstream(box.Patch() / "updatebg.hg3", std::ios::binary) << "HG-3 but nothing else";
  EXPECT_EQ(box.Run("cancel\n").front(), kWindowLine);

  // QVF keeps 1- and 2-byte pixels, which have no colours to paint.
  for (std::uint32_t bpp : {1u, 2u}) {
    WriteNarrowQvf(box.Patch() / "updatebg.hg3", 320, 200, bpp);
    EXPECT_EQ(box.Run("cancel\n").front(), kWindowLine) << bpp;
  }
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
