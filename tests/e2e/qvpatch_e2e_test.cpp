// A patch made by qvpatch from two builds of a game, installed by the real
// updater on a copy of the old build: afterwards the game is the new build
// byte for byte, by qvpatch verify and by a comparison of its own here.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "support/pe_writer.h"
#include "tools/qvpatch/command.h"
#include "updater_run.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& folder, const std::string& relative, const std::string& bytes) {
  WriteBytes(folder / fs::path(std::u8string(relative.begin(), relative.end())), bytes);
}

std::string Content(int i, int version) {
  std::string text = "file " + std::to_string(i) + " of build " + std::to_string(version) + "\n";
  // Some files large enough for several of the updater's buffers' reads.
  if (i % 97 == 0) text.append(300000 + i, static_cast<char>('a' + i % 26));
  return text;
}

std::string Dll(const char16_t* version) {
  PeVersionLayout layout;
  layout.dll = true;
  layout.strings = {{u"FileVersion", version}};
  return MakePeFile(layout);
}

// Two builds of a game: 1,200 files in nested folders of which some
// change, some go and some are new; folders that go whole; Japanese
// names; a newer library; a name that changes only in letter case; empty
// folders that stay, go, and appear.
void WriteBuilds(const fs::path& old_build, const fs::path& new_build) {
  for (int i = 0; i < 1200; ++i) {
    const std::string path = "data" + std::to_string(i % 8) + "/part" + std::to_string(i % 3) +
                             "/file" + std::to_string(i) + ".bin";
    WriteFile(old_build, path, Content(i, 1));
    if (i % 11 == 0) continue;  // gone in the new build
    WriteFile(new_build, path, Content(i, i % 7 == 0 ? 2 : 1));
  }
  for (int i = 0; i < 60; ++i)
    WriteFile(new_build, "data9/new/file" + std::to_string(i) + ".bin", Content(i, 3));
  WriteFile(old_build, "obsolete/nested/deeper/a.txt", "a");
  WriteFile(old_build, "obsolete/b.txt", "b");
  WriteFile(old_build, "シナリオ/第一章.txt", "第一章 旧版");
  WriteFile(new_build, "シナリオ/第一章.txt", "第一章 新版、少し長い");
  WriteFile(old_build, "シナリオ/削除.txt", "消える");
  WriteFile(new_build, "音声/声０１.ogg", "声");
  WriteFile(old_build, "engine.dll", Dll(u"1, 0, 0, 0"));
  WriteFile(new_build, "engine.dll", Dll(u"1, 1, 0, 0"));
  WriteFile(old_build, "Readme.TXT", "read me");
  WriteFile(new_build, "readme.txt", "read me");
  fs::create_directories(old_build / "empty_gone");
  fs::create_directories(old_build / "empty_kept");
  fs::create_directories(new_build / "empty_kept");
  fs::create_directories(new_build / "empty_new");
}

// Every file with its bytes, and every folder (its name ends with '/').
std::map<std::string, std::string> ReadTree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::u8string relative = entry.path().lexically_relative(root).generic_u8string();
    const bool folder = entry.is_directory();
    tree[std::string(relative.begin(), relative.end()) + (folder ? "/" : "")] =
        folder ? "" : ReadBytes(entry.path());
  }
  return tree;
}

TEST(QvpatchEndToEnd, TheInstalledPatchTurnsTheOldBuildIntoTheNewOne) {
  UpdaterSandbox box;
  const fs::path old_build = box.Root() / "old";
  const fs::path new_build = box.Root() / "new";
  WriteBuilds(old_build, new_build);
  fs::remove(box.Game());
  fs::copy(old_build, box.Game(), fs::copy_options::recursive);
  WriteFile(box.Root(), "template.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<document>\n"
            "  <brand>QvTest</brand>\n  <app>Game</app>\n"
            "  <language><lang00><code>1041</code><prifix>jp</prifix></lang00></language>\n"
            "  <jp><message><wndtitle>テスト更新</wndtitle><intoro>更新しますか？</intoro>"
            "<success>完了</success><error_copy>失敗</error_copy></message>\n"
            "  <message_error><title>エラー</title></message_error></jp>\n</document>\n");
  box.WriteRecordForGame();

  std::string out, err;
  const int made = RunQvpatch({"make", "--from", Native8(old_build), "--to", Native8(new_build),
                               "--template", Native8(box.Root() / "template.xml"), "--out",
                               Native8(box.Patch()), "--force"},
                              &out, &err);
  ASSERT_EQ(made, 0) << err;

  const std::vector<std::string> transcript = box.Run();
  ASSERT_FALSE(transcript.empty());
  EXPECT_EQ(transcript.back(), "exit code=0");

  // The comparison of this test: every file of the new build with its
  // bytes, nothing of the old build's besides, the updater's install.log.
  std::map<std::string, std::string> expected = ReadTree(new_build);
  expected.erase("empty_new/");  // the updater makes no empty folders
  std::map<std::string, std::string> game = ReadTree(box.Game());
  ASSERT_EQ(game.erase("install.log"), 1u);
  EXPECT_EQ(game.size(), expected.size());
  for (const auto& [name, bytes] : expected)
    EXPECT_TRUE(game.count(name) && game[name] == bytes) << name;
  const auto files = std::count_if(expected.begin(), expected.end(),
                                   [](const auto& entry) { return !entry.first.ends_with('/'); });

  out.clear();
  const int verified = RunQvpatch({"verify", "--game", Native8(box.Game()), "--manifest",
                                   Native8(box.Patch() / "patch-manifest.json")},
                                  &out, &err);
  EXPECT_EQ(verified, 0) << out;
  EXPECT_EQ(out, "the game matches the manifest: " + std::to_string(files) + " files\n");
}

}  // namespace
}  // namespace qvtest
