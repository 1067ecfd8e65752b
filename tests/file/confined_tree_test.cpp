// The confined tree on real folders with real links: which folders it
// accepts, what a deletion reaches, how a file is written; a fenced
// outside tree must stay byte for byte as it was.
#include "file/confined_tree.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "file/confined_file.h"
#include "os/fault.h"
#include "os/folders.h"
#include "os/system_folders.h"
#include "support/fence.h"
#include "support/links.h"
#include "support/short_name.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using confine::DeleteResult;
using confine::Rule;
using qvtest::U16;
using qvtest::U8;

class ConfinedTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Game());
    before_ = fence_.Digest();
    const fs::path probe = dir_.Native(u"probe");
    links_work_ = qvtest::MakeLink(probe, fence_.Root(), true);
    if (links_work_) qvtest::RemoveLink(probe);
  }
  void TearDown() override {
    tree_.Close();
    EXPECT_EQ(fence_.Digest(), before_) << "the outside tree changed";
    for (const fs::path& link : links_) qvtest::RemoveLink(link);
  }

  fs::path Game(const char16_t* relative = u"") const {
    return dir_.Native(std::u16string(u"game\\") + relative);
  }
  std::u16string GamePath() const { return dir_.Path(u"game"); }
  void Write(const char16_t* relative, const std::string& bytes) const {
    dir_.WriteFile(std::u16string(u"game\\") + relative, bytes);
  }
  std::string Read(const char16_t* relative) const {
    return dir_.ReadFile(std::u16string(u"game\\") + relative);
  }
  bool Has(const char16_t* relative) const { return fs::exists(fs::symlink_status(Game(relative))); }
  void Link(const char16_t* relative, const fs::path& target, bool folder) {
    fs::path link = Game(relative);
    ASSERT_TRUE(qvtest::MakeLink(link, target, folder)) << link;
    links_.push_back(link);
  }
  void OpenGame(const std::u16string& guarded = {}) {
    ASSERT_EQ(tree_.Open(GamePath().c_str(), {guarded}), Rule::kOk);
  }
  // Everything that should be in the game folder and nothing else.
  std::vector<std::string> Listing() const {
    std::vector<std::string> out;
    for (fs::recursive_directory_iterator it(Game()), end; it != end; ++it)
      out.push_back(fs::relative(it->path(), Game()).generic_string());
    std::sort(out.begin(), out.end());
    return out;
  }

  qvtest::ScratchDir dir_;
  qvtest::Fence fence_{dir_.Native(u"outside")};
  std::string before_;
  bool links_work_ = false;
  std::vector<fs::path> links_;
  confine::Tree tree_;
};

#define REQUIRE_LINKS() \
  if (!links_work_) GTEST_SKIP() << "this system makes no links"

// --- which folders ---------------------------------------------------------------

TEST_F(ConfinedTreeTest, AcceptsAnOrdinaryFolderAndKeepsItsPath) {
  EXPECT_EQ(tree_.Open((GamePath() + u"\\").c_str(), {}), Rule::kOk);
  EXPECT_EQ(tree_.Path(), GamePath());
  std::u16string relative;
  EXPECT_TRUE(tree_.RelativeOf(GamePath() + u"\\a\\b.txt", &relative));
  EXPECT_EQ(relative, u"a\\b.txt");
  EXPECT_FALSE(tree_.RelativeOf(GamePath() + u"x\\b.txt", &relative));
  EXPECT_FALSE(tree_.RelativeOf(GamePath(), &relative));
  EXPECT_FALSE(tree_.RelativeOf(dir_.Path(u"outside\\x"), &relative));
}

TEST_F(ConfinedTreeTest, RefusesFoldersThatAreNotAnOrdinaryGameFolder) {
  Write(u"file.txt", "x");
  // Every form of path is judged by the rules' own tests; one of each here.
  const std::vector<std::pair<std::u16string, Rule>> cases = {
      {u"game", Rule::kNotAbsolute}, {GamePath() + u"\\..\\outside", Rule::kNotNormalised},
      {GamePath() + u"\\missing", Rule::kMissing}, {GamePath() + u"\\file.txt", Rule::kMissing},
  };
  for (const auto& [path, rule] : cases) {
    EXPECT_EQ(tree_.Open(path.c_str(), {}), rule) << U8(path);
    EXPECT_FALSE(tree_.IsOpen());
  }
  if (links_work_) {
    Link(u"link", fence_.Root(), true);
    EXPECT_EQ(tree_.Open((GamePath() + u"\\link").c_str(), {}), Rule::kRootIsLink);
  }
}

TEST_F(ConfinedTreeTest, RefusesSystemFoldersProfilesAndTheAllUsersDataFolder) {
  os::SystemFolders system = os::GetSystemFolders();
  ASSERT_FALSE(system.reserved.empty());
  for (const std::u16string& folder : system.reserved) {
    Rule rule = tree_.Open(folder.c_str(), {});
    // Some are links on this system (/bin on Debian): refused as well.
    EXPECT_TRUE(rule == Rule::kSystemFolder || rule == Rule::kMissing || rule == Rule::kRootIsLink)
        << U8(folder);
  }
  for (const std::u16string& folder : system.profiles) {
    Rule rule = tree_.Open(folder.c_str(), {});
    EXPECT_TRUE(rule == Rule::kUserProfile || rule == Rule::kSystemFolder) << U8(folder);
  }
#ifdef _WIN32
  EXPECT_EQ(tree_.Open(u"C:\\", {}), Rule::kVolumeRoot);
  EXPECT_EQ(tree_.Open(u"c:/", {}), Rule::kVolumeRoot);
#else
  EXPECT_EQ(tree_.Open(u"/", {}), Rule::kVolumeRoot);
  for (const char16_t* folder : {u"/home", u"/usr", u"/etc/"})
    EXPECT_EQ(tree_.Open(folder, {}), Rule::kSystemFolder) << U8(folder);
#endif
  // The folder of every profile, and another user's profile in it.
  ASSERT_FALSE(system.profile_parents.empty());
  const std::u16string& profiles = system.profile_parents.front();
  EXPECT_EQ(tree_.Open(profiles.c_str(), {}), Rule::kSystemFolder) << U8(profiles);
  for (const auto& entry : fs::directory_iterator(fs::path(profiles))) {
    if (!entry.is_directory() || entry.is_symlink()) continue;
    const std::u16string other = entry.path().u16string();
    Rule rule = tree_.Open(other.c_str(), {});
    EXPECT_TRUE(rule == Rule::kUserProfile || rule == Rule::kSystemFolder) << U8(other);
  }
  // The all-users application-data folder, wherever it is set.
  {
    qvtest::ScopedEnv common("QV_COMMON_APPDATA", U8(GamePath()).c_str());
    EXPECT_EQ(tree_.Open(GamePath().c_str(), {}), Rule::kSystemFolder);
  }
  EXPECT_EQ(tree_.Open(GamePath().c_str(), {}), Rule::kOk);
}

TEST_F(ConfinedTreeTest, RefusesThePatchFolderAndFoldersInsideItButNotOneThatHoldsIt) {
  fs::create_directories(Game(u"patches/MyPatch/data/sub"));
  fs::create_directories(Game(u"patches/MyPatch/g"));
  const std::u16string patch = GamePath() + u"\\patches\\MyPatch";
  // "g": a one-letter name.
  for (const std::u16string& inside : {patch, patch + u"\\g", patch + u"\\data\\sub"})
    EXPECT_EQ(tree_.Open(inside.c_str(), {patch}), Rule::kPatchFolder) << U8(inside);
  EXPECT_EQ(tree_.Open((patch + u"\\data").c_str(), {patch + u"\\"}), Rule::kPatchFolder);
  EXPECT_EQ(tree_.Open(GamePath().c_str(), {patch}), Rule::kOk);
  EXPECT_EQ(tree_.Open((GamePath() + u"\\patches").c_str(), {patch}), Rule::kOk);
}

// --- deleting --------------------------------------------------------------------

TEST_F(ConfinedTreeTest, DeletesFilesAndFoldersWithTheirContents) {
  Write(u"old.txt", "old");
  Write(u"olddir\\a.txt", "a");
  Write(u"olddir\\inner\\b.txt", "b");
  fs::create_directories(Game(u"olddir/empty"));
  Write(u"keep.txt", "keep");
  OpenGame();
  EXPECT_EQ(tree_.Delete(u"old.txt"), DeleteResult::kDeleted);
  EXPECT_EQ(tree_.Delete(u"olddir\\"), DeleteResult::kDeleted);
  EXPECT_EQ(tree_.Delete(u"nothing-here"), DeleteResult::kAbsent);
  EXPECT_EQ(tree_.Delete(u"no\\such\\folder"), DeleteResult::kAbsent);
  EXPECT_EQ(Listing(), std::vector<std::string>{"keep.txt"});
}

TEST_F(ConfinedTreeTest, RefusedEntriesTouchNothing) {
  Write(u"sub\\keep.txt", "kept");
  Write(u"keep.tmp", "kept");
  OpenGame();
  for (const char16_t* entry : {u"", u".", u"..", u"..\\outside", u"sub\\..\\..\\outside",
                                u"*.tmp", u"C:outside", u"\\\\server\\share\\x"}) {
    EXPECT_EQ(tree_.Delete(entry), DeleteResult::kRefused) << U8(entry);
  }
  EXPECT_EQ(tree_.Delete(U16(fs::absolute(fence_.File()).string())), DeleteResult::kRefused);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"keep.tmp", "sub", "sub/keep.txt"}));
}

// A link named by an entry goes itself, a folder holding links is emptied
// without entering them, and an entry passing through a link is refused;
// TearDown checks that every target stays.
TEST_F(ConfinedTreeTest, LinksAreRemovedNeverEnteredOrPassedThrough) {
  REQUIRE_LINKS();
  Link(u"linked-folder", fence_.Root(), true);
  Link(u"linked-file", fence_.File(), false);
  Write(u"cache\\a.bin", "a");
  fs::create_directories(Game(u"cache/deeper"));
  Link(u"cache\\deeper\\out", fence_.Root(), true);
  Link(u"cache\\out-file", fence_.File(), false);
  Link(u"cache\\out-empty", fence_.EmptyFolder(), true);
  fs::create_directories(Game(u"real"));
  Link(u"real\\via", fence_.Root(), true);
  OpenGame();
  for (const char16_t* entry :
       {u"linked-folder\\secret.txt", u"linked-folder\\inner", u"real\\via\\inner\\deep.txt"})
    EXPECT_EQ(tree_.Delete(entry), DeleteResult::kRefused) << U8(entry);
  EXPECT_EQ(tree_.Delete(u"linked-file"), DeleteResult::kDeleted);
  EXPECT_FALSE(Has(u"linked-file"));
  const DeleteResult folder = tree_.Delete(u"linked-folder");
  const DeleteResult cache = tree_.Delete(u"cache");
  if (!qvtest::RunningUnderWine()) {  // Wine cannot remove a link to a folder
    EXPECT_EQ(folder, DeleteResult::kDeleted);
    EXPECT_EQ(cache, DeleteResult::kDeleted);
    EXPECT_FALSE(Has(u"linked-folder"));
    EXPECT_FALSE(Has(u"cache"));
  }
}

TEST_F(ConfinedTreeTest, ThePatchFolderInsideTheGameIsNeverReached) {
  Write(u"patches\\MyPatch\\updateinfo.xml", "description");
  Write(u"patches\\MyPatch\\data\\a.bin", "a");
  Write(u"patches\\other.txt", "other");
  OpenGame(GamePath() + u"\\patches\\MyPatch");
  for (const char16_t* entry : {u"patches", u"patches\\MyPatch", u"patches\\MyPatch\\data",
                                u"patches\\MyPatch\\updateinfo.xml"})
    EXPECT_EQ(tree_.Delete(entry), DeleteResult::kRefused) << U8(entry);
  EXPECT_EQ(tree_.Delete(u"patches\\other.txt"), DeleteResult::kDeleted);
  EXPECT_EQ(Read(u"patches\\MyPatch\\updateinfo.xml"), "description");
  EXPECT_EQ(Read(u"patches\\MyPatch\\data\\a.bin"), "a");
}

TEST_F(ConfinedTreeTest, WhatCannotBeRemovedStaysAndIsReported) {
  Write(u"locked\\keep.txt", "read-only");
  Write(u"locked\\gone.txt", "gone");
  ASSERT_TRUE(os::SetFileAttributes(dir_.Path(u"game\\locked\\keep.txt").c_str(), os::kAttrReadOnly));
  OpenGame();
  EXPECT_EQ(tree_.Delete(u"locked"), DeleteResult::kIncomplete);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"locked", "locked/keep.txt"}));
}

// --- writing ---------------------------------------------------------------------

bool WriteStaged(const confine::Tree& tree, const char16_t* relative, const std::string& bytes,
                 confine::StagedFile::Step* failed = nullptr) {
  confine::StagedFile staged;
  const bool begun = staged.Begin(tree, relative, 0);
  if (failed) *failed = staged.FailedStep();
  if (!begun) return false;
  std::uint32_t done = 0;
  return os::WriteFile(staged.File(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), &done) &&
         staged.Commit(os::kAttrArchive);
}

TEST_F(ConfinedTreeTest, AStagedFileReplacesTheDestinationOnlyWhenCommitted) {
  Write(u"readme.txt", "old");
  OpenGame();
  EXPECT_TRUE(WriteStaged(tree_, u"readme.txt", "new"));
  EXPECT_TRUE(WriteStaged(tree_, u"new\\folder\\file.txt", "made"));
  EXPECT_EQ(Read(u"readme.txt"), "new");
  EXPECT_EQ(Read(u"new\\folder\\file.txt"), "made");
  {
    // A commit whose rename fails leaves no temporary file behind.
    confine::StagedFile refused;
    ASSERT_TRUE(refused.Begin(tree_, u"readme.txt", 0));
    std::uint32_t done = 0;
    os::WriteFile(refused.File(), "lost", 4, &done);
    os::ArmFaults({os::FileOp::kRename, 1});
    const bool committed = refused.Commit(os::kAttrArchive, false);
    os::DisarmFaults();
    EXPECT_FALSE(committed);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"new", "new/folder", "new/folder/file.txt",
                                                   "readme.txt"}));
  }
}

TEST_F(ConfinedTreeTest, AFileBegunInPlaceIsWrittenUnderItsNameAndDroppedWhenNotCommitted) {
  OpenGame();
  const os::Handle work = os::OpenTreeFolder(tree_.Root(), u"work", true);
  ASSERT_NE(work, os::kInvalidHandle);
  std::uint32_t done = 0;
  {
    confine::StagedFile staged;
    ASSERT_TRUE(staged.BeginInPlace(work, u"0", 0));
    ASSERT_TRUE(os::WriteFile(staged.File(), "data", 4, &done));
    EXPECT_TRUE(staged.Commit(os::kAttrArchive, false));
    // A name that is taken is never written over.
    EXPECT_FALSE(staged.BeginInPlace(work, u"0", 0));
    EXPECT_EQ(os::GetLastError(), os::kErrorFileExists);
    EXPECT_EQ(staged.FailedStep(), confine::StagedFile::Step::kFile);
    ASSERT_TRUE(staged.BeginInPlace(work, u"1", 0));
    ASSERT_TRUE(os::WriteFile(staged.File(), "half", 4, &done));
    EXPECT_TRUE(staged.Discard());
    ASSERT_TRUE(staged.BeginInPlace(work, u"2", 0));
  }
  os::CloseTreeFolder(work);
  EXPECT_EQ(Read(u"work\\0"), "data");
  EXPECT_EQ(Listing(), (std::vector<std::string>{"work", "work/0"}));
}

TEST_F(ConfinedTreeTest, TheFolderOfTheLastFileWrittenCanStillBeDeleted) {
  OpenGame();
  EXPECT_TRUE(WriteStaged(tree_, u"sub\\one.txt", "1"));
  EXPECT_TRUE(WriteStaged(tree_, u"sub\\two.txt", "2"));
  EXPECT_TRUE(WriteStaged(tree_, u"other\\three.txt", "3"));
  EXPECT_TRUE(WriteStaged(tree_, u"sub\\four.txt", "4"));
  EXPECT_EQ(tree_.Delete(u"sub"), DeleteResult::kDeleted);
  EXPECT_TRUE(WriteStaged(tree_, u"sub\\again.txt", "again"));
  EXPECT_EQ(Listing(), (std::vector<std::string>{"other", "other/three.txt", "sub", "sub/again.txt"}));
}

TEST_F(ConfinedTreeTest, AStagedFileRefusesFoldersAndReadOnlyFilesInTheWay) {
  fs::create_directories(Game(u"a.bin/inside"));
  Write(u"locked.txt", "locked");
  Write(u"blocker", "a file where a folder should be");
  ASSERT_TRUE(os::SetFileAttributes(dir_.Path(u"game\\locked.txt").c_str(), os::kAttrReadOnly));
  OpenGame();
  confine::StagedFile::Step step = confine::StagedFile::Step::kNone;
  EXPECT_FALSE(WriteStaged(tree_, u"a.bin", "x", &step));
  EXPECT_EQ(step, confine::StagedFile::Step::kFile);
  EXPECT_FALSE(WriteStaged(tree_, u"locked.txt", "x", &step));
  EXPECT_EQ(step, confine::StagedFile::Step::kFile);
  EXPECT_EQ(os::GetLastError(), os::kErrorAccessDenied);
  EXPECT_FALSE(WriteStaged(tree_, u"blocker\\sub\\f.txt", "x", &step));
  EXPECT_EQ(step, confine::StagedFile::Step::kFolder);
  EXPECT_EQ(Read(u"locked.txt"), "locked");
}

// A link as the destination is replaced, its target untouched; a linked
// folder on the way refuses the write.
TEST_F(ConfinedTreeTest, ADestinationThatIsALinkIsReplacedAndOneBehindALinkIsRefused) {
  REQUIRE_LINKS();
  Link(u"readme.txt", fence_.File(), false);
  Link(u"system", fence_.Root(), true);
  OpenGame();
  EXPECT_TRUE(WriteStaged(tree_, u"readme.txt", "new readme"));
  EXPECT_EQ(Read(u"readme.txt"), "new readme");
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(Game(u"readme.txt"))));
  confine::StagedFile::Step step = confine::StagedFile::Step::kNone;
  EXPECT_FALSE(WriteStaged(tree_, u"system\\new.dll", "x", &step));
  EXPECT_EQ(step, confine::StagedFile::Step::kFolder);
  EXPECT_EQ(os::GetLastError(), os::kErrorStoppedOnSymlink);
}

// --- failures of the system -----------------------------------------------------

// Every file operation of a staged write fails once in turn: the
// destination is then its old or its new content, whole, and no temporary
// file is left.
TEST_F(ConfinedTreeTest, AWriteThatFailsAnywhereLeavesTheOldFileOrTheNewOneAndNothingElse) {
  auto reset = [&] {
    tree_.Close();
    fs::remove_all(Game());
    Write(u"sub\\readme.txt", "old");
    OpenGame();
  };
  auto write_both = [&] {
    bool readme = WriteStaged(tree_, u"sub\\readme.txt", "new");
    return WriteStaged(tree_, u"fresh\\new.txt", "fresh") && readme;
  };
  for (os::FileOp kind : {os::FileOp::kOpen, os::FileOp::kWrite, os::FileOp::kQuery,
                          os::FileOp::kSetAttributes, os::FileOp::kRename,
                          os::FileOp::kCreateFolder}) {
    reset();
    os::ArmFaults({});  // count only
    ASSERT_TRUE(write_both());
    const std::uint64_t calls = os::FaultCallCount(kind);
    os::DisarmFaults();
    for (std::uint64_t n = 1; n <= calls; ++n) {
      SCOPED_TRACE(std::string(os::FileOpName(kind)) + " " + std::to_string(n));
      reset();
      os::ArmFaults({kind, n});
      write_both();
      os::DisarmFaults();
      const std::string readme = Read(u"sub\\readme.txt");
      EXPECT_TRUE(readme == "old" || readme == "new") << readme;
      EXPECT_TRUE(!Has(u"fresh\\new.txt") || Read(u"fresh\\new.txt") == "fresh");
      for (const std::string& name : Listing())
        EXPECT_EQ(name.find("~qv"), std::string::npos) << name;
    }
  }
}

TEST_F(ConfinedTreeTest, ADeletionThatFailsHalfWayLeavesTheRestAndSaysSo) {
  OpenGame();
  for (os::FileOp kind : {os::FileOp::kDelete, os::FileOp::kRemoveFolder, os::FileOp::kFind,
                          os::FileOp::kOpen}) {
    // The report names the failure that stopped it, though later steps succeed.
    for (std::uint64_t nth : {1, 2}) {
      SCOPED_TRACE(std::string(os::FileOpName(kind)) + " #" + std::to_string(nth));
      Write(u"cache\\a.bin", "a");
      Write(u"cache\\inner\\b.bin", "b");
      const std::uint32_t error = 1000 + static_cast<std::uint32_t>(kind);
      os::ArmFaults({kind, nth, error});
      DeleteResult result = tree_.Delete(u"cache");
      EXPECT_EQ(os::GetLastError(), error);
      const bool fired = os::FaultFired();
      os::DisarmFaults();
      EXPECT_TRUE(fired);
      EXPECT_NE(result, DeleteResult::kDeleted);
      EXPECT_TRUE(Has(u"cache"));
      EXPECT_EQ(tree_.Delete(u"cache"), DeleteResult::kDeleted);
    }
  }
}

// --- moving aside ------------------------------------------------------------------

class MoveAsideTest : public ConfinedTreeTest {
 protected:
  void SetUp() override {
    ConfinedTreeTest::SetUp();
    fs::create_directories(Game(u"~work/d"));
  }
  void TearDown() override {
    if (aside_ != os::kInvalidHandle) os::CloseTreeFolder(aside_);
    ConfinedTreeTest::TearDown();
  }
  // The backup area in another folder of the tree than the entries.
  os::Handle Aside() {
    if (aside_ == os::kInvalidHandle) aside_ = os::OpenTreeFolder(tree_.Root(), u"~work\\d", false);
    return aside_;
  }
  DeleteResult Move(const char16_t* relative, const char16_t* key) {
    return tree_.MoveAside(relative, Aside(), key);
  }

  os::Handle aside_ = os::kInvalidHandle;
};

TEST_F(MoveAsideTest, FilesAndWholeFoldersMoveIntoAnotherFolderUnderTheirKeys) {
  Write(u"sub\\old.txt", "old");
  Write(u"cache\\x.bin", "x");
  Write(u"cache\\y\\z.bin", "z");
  OpenGame();
  ASSERT_NE(Aside(), os::kInvalidHandle);
  EXPECT_EQ(Move(u"sub\\old.txt", u"0"), DeleteResult::kDeleted);
  EXPECT_EQ(Move(u"cache", u"1"), DeleteResult::kDeleted);
  EXPECT_EQ(Move(u"missing.txt", u"2"), DeleteResult::kAbsent);
  EXPECT_EQ(Move(u"gone\\missing.txt", u"3"), DeleteResult::kAbsent);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"sub", "~work", "~work/d", "~work/d/0", "~work/d/1",
                                                 "~work/d/1/x.bin", "~work/d/1/y",
                                                 "~work/d/1/y/z.bin"}));
  EXPECT_EQ(Read(u"~work\\d\\0"), "old");
  EXPECT_EQ(Read(u"~work\\d\\1\\y\\z.bin"), "z");
}

TEST_F(MoveAsideTest, AKeyAlreadyTakenKeepsBothTheEntryAndWhatWasSetAside) {
  Write(u"a.txt", "new a");
  Write(u"folder\\f.txt", "f");
  Write(u"~work\\d\\0", "set aside before");
  fs::create_directories(Game(u"~work/d/1"));
  OpenGame();
  EXPECT_EQ(Move(u"a.txt", u"0"), DeleteResult::kIncomplete);
  EXPECT_EQ(os::GetLastError(), os::kErrorAlreadyExists);
  EXPECT_EQ(Move(u"folder", u"1"), DeleteResult::kIncomplete);
  EXPECT_EQ(Read(u"a.txt"), "new a");
  EXPECT_EQ(Read(u"folder\\f.txt"), "f");
  EXPECT_EQ(Read(u"~work\\d\\0"), "set aside before");
}

// A delete entry may name an entry by its short (8.3) name: it is set aside
// as under its long name, never deleted, so a rollback can bring it back.
TEST_F(MoveAsideTest, AShortNameMovesTheEntryItNames) {
  Write(u"savedata folder\\slot1.dat", "slot");
  Write(u"read me first.txt", "notes");
  const std::u16string folder = qvtest::ShortNameOf(Game(u"savedata folder"));
  const std::u16string file = qvtest::ShortNameOf(Game(u"read me first.txt"));
  if (folder.empty() || file.empty()) GTEST_SKIP() << "no short names here";
  OpenGame();
  EXPECT_EQ(Move(folder.c_str(), u"0"), DeleteResult::kDeleted) << U8(folder);
  EXPECT_EQ(Move(file.c_str(), u"1"), DeleteResult::kDeleted) << U8(file);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"~work", "~work/d", "~work/d/0", "~work/d/0/slot1.dat",
                                                 "~work/d/1"}));
  EXPECT_EQ(Read(u"~work\\d\\0\\slot1.dat"), "slot");
  EXPECT_EQ(Read(u"~work\\d\\1"), "notes");
}

TEST_F(MoveAsideTest, ALinkGoesItselfAndWhatItPointsToStays) {
  REQUIRE_LINKS();
  Link(u"linked-file", fence_.File(), false);
  Link(u"linked-folder", fence_.Root(), true);
  OpenGame();
  EXPECT_EQ(Move(u"linked-file", u"0"), DeleteResult::kDeleted);
  EXPECT_FALSE(Has(u"linked-file"));
  const DeleteResult folder = Move(u"linked-folder", u"1");
  if (!qvtest::RunningUnderWine()) {  // Wine can neither move nor remove it: refused
    EXPECT_EQ(folder, DeleteResult::kDeleted);
    EXPECT_FALSE(Has(u"linked-folder"));
  } else {
    EXPECT_EQ(folder, DeleteResult::kRefused);
  }
  // Whatever was set aside is a link at most, never the outside tree.
  for (const char16_t* key : {u"~work\\d\\0", u"~work\\d\\1"}) {
    const fs::file_status status = fs::symlink_status(Game(key));
    EXPECT_TRUE(!fs::exists(status) || fs::is_symlink(status)) << U8(key);
  }
  // TearDown checks the outside tree byte for byte.
}

TEST_F(MoveAsideTest, AnEntryThroughALinkOrIntoThePatchFolderIsRefusedAndStays) {
  REQUIRE_LINKS();
  Link(u"via", fence_.Root(), true);
  Write(u"patches\\MyPatch\\updateinfo.xml", "description");
  OpenGame(GamePath() + u"\\patches\\MyPatch");
  for (const char16_t* entry : {u"via\\secret.txt", u"patches", u"patches\\MyPatch"})
    EXPECT_EQ(Move(entry, u"0"), DeleteResult::kRefused) << U8(entry);
  EXPECT_EQ(Read(u"patches\\MyPatch\\updateinfo.xml"), "description");
  EXPECT_TRUE(fs::is_empty(Game(u"~work/d")));
}

// A folder on the way or the entry itself that cannot be opened or looked
// at is a failure, never a skipped entry: the install would leave it.
TEST_F(MoveAsideTest, AFailureOfTheSystemOnTheWayIsNeverASkip) {
  Write(u"cache\\inner\\x.bin", "x");
  OpenGame();
  ASSERT_NE(Aside(), os::kInvalidHandle);
  for (const char16_t* entry : {u"cache", u"cache\\inner", u"cache\\inner\\x.bin"}) {
    for (os::FileOp kind : {os::FileOp::kOpen, os::FileOp::kQuery}) {
      for (std::uint32_t error : {os::kErrorAccessDenied, os::kErrorSharingViolation}) {
        for (std::uint64_t n = 1;; ++n) {
          SCOPED_TRACE(U8(entry) + " " + os::FileOpName(kind) + " #" + std::to_string(n));
          os::ArmFaults({kind, n, error});
          const DeleteResult result = Move(entry, u"0");
          const bool fired = os::FaultFired();
          os::DisarmFaults();
          if (!fired) {
            EXPECT_EQ(result, DeleteResult::kDeleted);
            ASSERT_TRUE(fs::exists(Game(u"~work/d/0")));
            fs::rename(Game(u"~work/d/0"), Game(entry));
            break;
          }
          EXPECT_EQ(result, DeleteResult::kIncomplete);
          EXPECT_TRUE(Has(entry));
        }
      }
    }
  }
}

}  // namespace
