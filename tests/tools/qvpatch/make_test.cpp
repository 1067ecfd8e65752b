// qvpatch make on trees built here: what is shipped, what is deleted, what
// the author is told, and that a failed run leaves nothing behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/update_info.h"
#include "os/file.h"
#include "os/fault.h"
#include "qvpatch_fixture.h"
#include "support/links.h"
#include "support/pe_writer.h"
#include "support/picture_files.h"
#include "base/private_heap.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// The delete list as the updater reads it.
Strings DeleteList(const PatchTrees& trees, const std::string& patch = "patch") {
  CreatePrivateHeap(1 << 20);
  auto info = std::make_unique<UpdateInfo>();
  EXPECT_TRUE(LoadUpdateInfoFrom(U16(trees.Arg(patch + "/updateinfo.xml")).c_str(), info.get(), nullptr));
  Strings list;
  for (const std::u16string& entry : info->delete_list) list.push_back(U8(entry));
  return list;
}

bool HasLine(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The first name in which the patch folders `a` and `b` differ (their
// lists, a file's bytes, a data file's time), or "" when they are the same.
std::string FirstDifference(const PatchTrees& trees, const std::string& a, const std::string& b) {
  if (trees.List(a) != trees.List(b)) return "the list of names";
  for (const std::string& name : trees.List(a)) {
    if (name.back() == '/') continue;
    if (trees.Read(a + "/" + name) != trees.Read(b + "/" + name)) return name;
    if (name.starts_with("data/") && fs::last_write_time(trees.At(a + "/" + name)) !=
                                         fs::last_write_time(trees.At(b + "/" + name)))
      return name + " (time)";
  }
  return "";
}

TEST(QvpatchMake, ShipsNewAndChangedFilesAndDeletesWhatIsGone) {
  PatchTrees trees;
  trees.Write("old/same.txt", "unchanged");
  trees.Write("new/same.txt", "unchanged");
  trees.Write("old/edited.txt", "abc");  // same size, other bytes
  trees.Write("new/edited.txt", "abd");
  trees.Write("old/grown.txt", "a");
  trees.Write("new/grown.txt", "a longer text");
  trees.Write("old/gone/deep/x.txt", "x");  // a whole folder goes: one entry
  trees.Write("old/gone/y.txt", "y");
  trees.MakeFolder("old/empty_gone");
  trees.Write("old/keep/old.txt", "o");
  trees.Write("new/keep/new.txt", "n");
  trees.Write("old/swap", "a file becomes a folder");
  trees.Write("new/swap/inside.txt", "i");
  trees.Write("new/新しい/深い/ファイル.txt", "ja");

  const ToolRun run = trees.Make();
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(trees.List("patch/data"),
            (Strings{"edited.txt", "grown.txt", "keep/", "keep/new.txt", "swap/", "swap/inside.txt",
                     "新しい/", "新しい/深い/", "新しい/深い/ファイル.txt"}));
  EXPECT_EQ(trees.Read("patch/data/edited.txt"), "abd");
  EXPECT_EQ(trees.Read("patch/data/新しい/深い/ファイル.txt"), "ja");
  EXPECT_EQ(DeleteList(trees), (Strings{"empty_gone", "gone", "keep\\old.txt", "swap"}));
  EXPECT_TRUE(HasLine(run.out, "files added:     3\n")) << run.out;
  EXPECT_TRUE(HasLine(run.out, "files changed:   2\n"));
  EXPECT_TRUE(HasLine(run.out, "files unchanged: 1\n"));
  EXPECT_TRUE(HasLine(run.out, "delete entries:  4\n"));
  EXPECT_TRUE(HasLine(run.out, "bytes to ship:   20 (20 B)\n"));
  // The template's comment and texts stay.
  EXPECT_TRUE(HasLine(trees.Read("patch/updateinfo.xml"), "<!-- the game's install record -->"));
  const std::string manifest = trees.Read("patch/patch-manifest.json");
  EXPECT_TRUE(HasLine(manifest, "{\"path\": \"same.txt\", \"size\": 9, \"sha256\": "));
  EXPECT_TRUE(HasLine(manifest, "\"delete\": [\n    \"empty_gone\",\n    \"gone\",\n    \"keep\\\\old.txt\",\n    \"swap\"\n  ]"));
}

TEST(QvpatchMake, ReplacesTheTemplatesListAndCopiesNewFileTimes) {
  PatchTrees trees;
  trees.WriteTemplate("template.xml", {"stale_entry", "another"});
  trees.Write("new/a.bin", "a");
  const auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(trees.At("new/a.bin"), when);
  ASSERT_EQ(trees.Make().status, 0);
  EXPECT_TRUE(DeleteList(trees).empty());
  EXPECT_FALSE(HasLine(trees.Read("patch/updateinfo.xml"), "stale_entry"));
  const auto copied = fs::last_write_time(trees.At("patch/data/a.bin"));
  EXPECT_LT(std::chrono::abs(copied - when), std::chrono::seconds(2));
}

TEST(QvpatchMake, RefusesAFullFolderWithoutForceAndReplacesItWithForce) {
  PatchTrees trees;
  trees.Write("new/a.txt", "a");
  trees.Write("patch/precious.txt", "mine");
  const Strings before = trees.List("");
  ToolRun run = trees.Make();
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(HasLine(run.err, "is not empty (--force replaces it)")) << run.err;
  EXPECT_EQ(trees.List(""), before);  // no staging folder left either

  run = trees.Make("patch", {"--force"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::exists(trees.At("patch/precious.txt")));
  EXPECT_EQ(trees.Read("patch/data/a.txt"), "a");
  EXPECT_TRUE(fs::exists(trees.At("patch/patch-manifest.json")));
}

// Windows cannot make the names that the check refuses.
#ifndef _WIN32
TEST(QvpatchMake, AFailedCheckLeavesNothingBehind) {
  PatchTrees trees;
  trees.Write("new/ok.txt", "fine");
  trees.Write("patch/old.txt", "the last patch");
  trees.Write("new/aux.txt", "a device name on Windows: the updater would refuse the patch");
  const Strings before = trees.List("");
  const ToolRun run = trees.Make("patch", {"--force"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(HasLine(run.err, "does not pass patchcheck's checks")) << run.err;
  EXPECT_EQ(trees.List(""), before);
  EXPECT_EQ(trees.Read("patch/old.txt"), "the last patch");
}
#endif

// Every file operation of a run fails once in turn, as on a full disk or a
// file in use: the run either fails and leaves the old patch folder as it
// was with nothing beside it, or makes the very patch an undisturbed run
// makes.
TEST(QvpatchMake, AFailureAnywhereLeavesTheOldPatchOrMakesTheSameOne) {
  PatchTrees trees;
  trees.Write("old/same.txt", "same");
  trees.Write("new/same.txt", "same");
  trees.Write("old/a.txt", "old a");
  trees.Write("new/a.txt", "new a");
  trees.Write("old/gone/x.txt", "x");
  trees.Write("new/sub/b.txt", "b");
  trees.Write("updater.exe", "MZ");
  const Strings updater = {"--updater", trees.Arg("updater.exe"), "--force"};
  ASSERT_EQ(trees.Make("reference", updater).status, 0);
  const auto reset = [&] {
    for (const auto& entry : fs::directory_iterator(trees.At("")))
      if (entry.path().filename().string().starts_with(".patch.")) fs::remove_all(entry.path());
    fs::remove_all(trees.At("patch"));
    trees.Write("patch/precious.txt", "the last patch");
  };
  reset();
  const Strings before = trees.List("");

  for (const os::FileOp kind :
       {os::FileOp::kOpen, os::FileOp::kRead, os::FileOp::kWrite, os::FileOp::kFlush,
        os::FileOp::kSetTimes, os::FileOp::kSetAttributes, os::FileOp::kRename,
        os::FileOp::kCreateFolder, os::FileOp::kFind, os::FileOp::kQuery}) {
    os::ArmFaults({});  // count only
    ASSERT_EQ(trees.Make("patch", updater).status, 0);
    const std::uint64_t calls = os::FaultCallCount(kind);
    os::DisarmFaults();
    // Under Wine, where every file operation costs about a millisecond, the
    // kinds that only read are sampled; those that change the disk are
    // swept whole everywhere.
    const bool reads = kind == os::FileOp::kOpen || kind == os::FileOp::kRead ||
                       kind == os::FileOp::kFind || kind == os::FileOp::kQuery;
    const std::uint64_t step = RunningUnderWine() && reads ? 8 : 1;
    for (std::uint64_t n = 1; n <= calls; n += step) {
      SCOPED_TRACE(std::string(os::FileOpName(kind)) + " " + std::to_string(n));
      reset();
      os::ArmFaults({kind, n, os::kErrorDiskFull});
      const ToolRun run = trees.Make("patch", updater);
      os::DisarmFaults();
      if (run.status == 0) {
        EXPECT_EQ(FirstDifference(trees, "patch", "reference"), "");
        // The one thing a late failure may leave: the old folder, renamed,
        // and the author is told.
        for (const std::string& name : trees.List(""))
          if (name.starts_with(".patch.") &&
              !(HasLine(name, ".old/") && HasLine(run.out, "the old patch folder was kept as")))
            ADD_FAILURE() << name << "\n" << run.out;
      } else {
        EXPECT_EQ(run.status, 1);
        EXPECT_FALSE(run.err.empty());
        EXPECT_EQ(trees.List(""), before) << run.err;
      }
    }
  }
}

#ifdef __linux__
// Descriptors open in this process.
std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"),
                                                fs::directory_iterator()));
}

// A tree of many folders leaves no folder open behind: a leak there would
// run out of descriptors on a real game.
TEST(QvpatchMake, MakeAndVerifyLeaveNothingOpen) {
  PatchTrees trees;
  for (int i = 0; i < 30; ++i) {
    const std::string file = "d" + std::to_string(i % 10) + "/e" + std::to_string(i % 3) + "/f" +
                             std::to_string(i);
    trees.Write("old/" + file, "old");
    trees.Write("new/" + file, i % 2 ? "old" : "new");
  }
  const std::size_t before = OpenDescriptors();
  ASSERT_EQ(trees.Make().status, 0);
  ASSERT_EQ(trees.Run({"verify", "--game", trees.Arg("new"), "--manifest",
                       trees.Arg("patch/patch-manifest.json")}).status, 0);
  EXPECT_EQ(OpenDescriptors(), before);
}
#endif

TEST(QvpatchMake, RefusesAPatchFolderInsideTheTrees) {
  PatchTrees trees;
  trees.Write("new/a.txt", "a");
  EXPECT_EQ(trees.Make("new/patch").status, 1);
  EXPECT_EQ(trees.Make("old", {"--force"}).status, 1);
  EXPECT_FALSE(fs::exists(trees.At("new/patch")));
  EXPECT_TRUE(fs::exists(trees.At("old")));
}

TEST(QvpatchMake, WarnsAboutOlderProgramsCaseChangesLinksAndEmptyFolders) {
  PatchTrees trees;
  PeVersionLayout layout;
  layout.dll = true;
  layout.strings = {{u"FileVersion", u"2, 0, 0, 0"}};
  trees.Write("old/engine.dll", MakePeFile(layout));
  trees.Write("old/newer.DLL", MakePeFile(layout));
  layout.strings = {{u"FileVersion", u"1, 5, 0, 0"}};
  trees.Write("new/engine.dll", MakePeFile(layout));
  layout.strings = {{u"FileVersion", u"3, 0, 0, 0"}};
  trees.Write("new/newer.DLL", MakePeFile(layout));
  trees.Write("old/same_version.exe", MakePeFile(layout));  // changed, version kept
  layout.strings.push_back({u"CompanyName", u"rebuilt"});
  trees.Write("new/same_version.exe", MakePeFile(layout));
  trees.Write("old/Readme.TXT", "r");
  trees.Write("new/readme.txt", "r");
  trees.MakeFolder("new/empty");
  const bool linked = MakeLink(trees.At("new/link.txt"), trees.At("new/readme.txt"), false);

  const ToolRun run = trees.Make();
  if (linked) RemoveLink(trees.At("new/link.txt"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(HasLine(run.out, "warning: \"engine.dll\" has version 1.5.0.0, lower than the old "
                               "tree's 2.0.0.0: the updater keeps the installed file\n"))
      << run.out;
  EXPECT_FALSE(HasLine(run.out, "\"newer.DLL\" has version"));
  EXPECT_FALSE(HasLine(run.out, "\"same_version.exe\" has version"));
  EXPECT_TRUE(HasLine(run.out, "\"Readme.TXT\" becomes \"readme.txt\", a change of letter case only"));
  EXPECT_TRUE(HasLine(run.out, "the empty folder \"empty\" is new"));
  EXPECT_EQ(DeleteList(trees), Strings{"Readme.TXT"});
  EXPECT_EQ(trees.Read("patch/data/readme.txt"), "r");
  // Wine shows a link to a file as the file itself.
  if (linked && !RunningUnderWine()) {
    EXPECT_TRUE(HasLine(run.out, "new tree: \"link.txt\" is a link or a special file: not followed, "
                                 "not shipped"));
    EXPECT_FALSE(fs::exists(trees.At("patch/data/link.txt")));
  }
}

TEST(QvpatchMake, AddsBackgroundIconAndUpdater) {
  PatchTrees trees;
  // A 24-bit bottom-up BMP of 2 x 2 pixels, rows padded to 8 bytes.
  const Bytes bmp = BuildBmp(2, 2, 24, {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0});
  trees.Write("bg.bmp", std::string(bmp.begin(), bmp.end()));
  trees.Write("tools/updater.exe", "MZ the updater");
  ToolRun run = trees.Make("patch", {"--background", trees.Arg("bg.bmp"), "--updater",
                                     trees.Arg("tools/updater.exe")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(trees.Read("patch/updatebg.hg3").substr(0, 4), "HG-3");
  EXPECT_EQ(trees.Read("patch/updater.exe"), "MZ the updater");
  EXPECT_FALSE(fs::exists(trees.At("patch/icon.ico")));

  // Without --background the template's own picture and icon go along.
  trees.Write("icon.ico", "icon");
  trees.Write("updatebg.hg3", "HG-3 beside the template");
  run = trees.Make("second", {"--updater", trees.Arg("tools/updater.exe")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(trees.Read("second/updatebg.hg3"), "HG-3 beside the template");
  EXPECT_EQ(trees.Read("second/icon.ico"), "icon");

  trees.Write("broken.png", "not a picture");
  run = trees.Make("third", {"--background", trees.Arg("broken.png")});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(HasLine(run.err, "the background cannot be converted")) << run.err;
  EXPECT_FALSE(fs::exists(trees.At("third")));
}

TEST(QvpatchMake, UsageAndHelp) {
  PatchTrees trees;
  for (const Strings& bad : {Strings{"make", "--to", "x", "--template", "t", "--out", "o"},
                             Strings{"make", "--bogus"}, Strings{"make", "stray"},
                             Strings{"frobnicate"}, Strings{}})
    EXPECT_EQ(trees.Run(bad).status, 2) << ::testing::PrintToString(bad);
  for (const Strings& help : {Strings{"--help"}, Strings{"make", "--help"}, Strings{"verify", "--help"},
                              Strings{"check", "--help"}}) {
    const ToolRun run = trees.Run(help);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(HasLine(run.out, "usage:")) << run.out;
  }
  const ToolRun missing = trees.Make("patch", {"--template", trees.Arg("nothing.xml")});
  EXPECT_EQ(missing.status, 2);  // --template twice
}

}  // namespace
}  // namespace qvtest
