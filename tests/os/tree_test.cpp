// The folder tree reached without links: every operation on real folders
// with real links, and a fenced outside tree that must not change.
#include "os/find.h"
#include "os/folders.h"
#include "os/times.h"
#include "os/tree.h"

#include <gtest/gtest.h>

#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "os_test_util.h"
#include "support/fence.h"
#include "support/links.h"

namespace {

namespace fs = std::filesystem;
using ostest::ErrorOf;
using qvtest::Fence;

class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Game());
    root_ = os::OpenTreeRoot(dir_.Path(u"game").c_str());
    ASSERT_NE(root_, os::kInvalidHandle);
    before_ = fence_.Digest();
    const fs::path probe = dir_.Native(u"probe");
    if (!qvtest::MakeLink(probe, fence_.Root(), true)) GTEST_SKIP() << "this system makes no links";
    qvtest::RemoveLink(probe);
  }
  void TearDown() override {
    if (root_ != os::kInvalidHandle) os::CloseTreeFolder(root_);
    EXPECT_EQ(fence_.Digest(), before_) << "the outside tree changed";
    for (const fs::path& link : links_) qvtest::RemoveLink(link);
  }

  fs::path Game(const char16_t* relative = u"") const {
    return dir_.Native(std::u16string(u"game\\") + relative);
  }
  void Write(const char16_t* relative, const std::string& bytes) {
    dir_.WriteFile(std::u16string(u"game\\") + relative, bytes);
  }
  std::string Read(const char16_t* relative) const {
    return dir_.ReadFile(std::u16string(u"game\\") + relative);
  }
  // A link below the game folder, removed again at the end.
  void Link(const char16_t* relative, const fs::path& target, bool folder) {
    fs::path link = Game(relative);
    ASSERT_TRUE(qvtest::MakeLink(link, target, folder)) << link;
    links_.push_back(link);
  }
  // Links to files are invisible under Wine, which shows them as files.
  static bool FileLinksVisible() { return !qvtest::RunningUnderWine(); }

  qvtest::ScratchDir dir_;
  Fence fence_{dir_.Native(u"outside")};
  std::string before_;
  os::Handle root_ = os::kInvalidHandle;
  std::vector<fs::path> links_;
};

std::uint32_t OpenRootError(const std::u16string& path) {
  os::Handle folder = os::OpenTreeRoot(path.c_str());
  if (folder == os::kInvalidHandle) return os::GetLastError();
  os::CloseTreeFolder(folder);
  return 0;
}

std::uint32_t OpenFolderError(os::Handle base, const char16_t* relative, bool create) {
  os::Handle folder = os::OpenTreeFolder(base, relative, create);
  if (folder == os::kInvalidHandle) return os::GetLastError();
  os::CloseTreeFolder(folder);
  return 0;
}

// --- folders -------------------------------------------------------------------

TEST_F(TreeTest, RootMustBeAFolderThatIsNotALink) {
  Link(u"to-outside", fence_.Root(), true);
  Write(u"file.txt", "x");
  EXPECT_EQ(OpenRootError(dir_.Path(u"game")), 0u);
  EXPECT_EQ(OpenRootError(dir_.Path(u"game\\")), 0u);
  EXPECT_EQ(OpenRootError(dir_.Path(u"game\\to-outside")), os::kErrorStoppedOnSymlink);
  EXPECT_EQ(OpenRootError(dir_.Path(u"game\\to-outside\\")), os::kErrorStoppedOnSymlink);
  EXPECT_EQ(OpenRootError(dir_.Path(u"game\\file.txt")), os::kErrorDirectory);
  EXPECT_NE(OpenRootError(dir_.Path(u"game\\missing")), 0u);
}

TEST_F(TreeTest, FoldersAreCreatedOnTheWayAndEnteredComponentByComponent) {
  os::Handle deep = os::OpenTreeFolder(root_, u"a\\b/c\\\\d\\", true);
  ASSERT_NE(deep, os::kInvalidHandle);
  os::Handle file = os::CreateFileIn(deep, u"new.txt", 0);
  ASSERT_NE(file, os::kInvalidHandle);
  os::CloseFile(file);
  os::CloseTreeFolder(deep);
  EXPECT_TRUE(fs::exists(Game(u"a/b/c/d/new.txt")));

  EXPECT_EQ(OpenFolderError(root_, u"a\\b", false), 0u);
  EXPECT_EQ(OpenFolderError(root_, u"", false), 0u);
  EXPECT_EQ(OpenFolderError(root_, u"a\\missing", false), os::kErrorPathNotFound);
  EXPECT_FALSE(fs::exists(Game(u"a/missing")));
  Write(u"a\\file", "f");
  EXPECT_EQ(OpenFolderError(root_, u"a\\file\\below", true), os::kErrorDirectory);
  for (const char16_t* bad : {u"..", u"a\\..\\..", u".\\a", u"a:b", u"C:\\x"})
    EXPECT_EQ(OpenFolderError(root_, bad, true), os::kErrorInvalidName) << qvtest::U8(bad);
}

// The same folder by handle and by path; a missing path has no identity.
TEST_F(TreeTest, IdentityTellsTheSameFolderByAnyRoute) {
  os::FileIdentity by_handle, by_path;
  ASSERT_TRUE(os::GetFolderIdentity(root_, &by_handle));
  ASSERT_TRUE(os::GetPathIdentity(dir_.Path(u"game").c_str(), &by_path));
  EXPECT_EQ(by_handle, by_path);
  EXPECT_FALSE(os::GetPathIdentity(dir_.Path(u"game\\missing").c_str(), &by_path));
}

// --- looking at entries --------------------------------------------------------

TEST_F(TreeTest, EntriesAreReportedThemselvesWithTheReparseBitForLinks) {
  Write(u"file.bin", "12345");
  fs::create_directories(Game(u"folder"));
  Link(u"folder-link", fence_.Root(), true);
  Link(u"file-link", fence_.File(), false);

  os::EntryInfo info;
  ASSERT_TRUE(os::GetEntryInfo(root_, u"file.bin", &info));
  EXPECT_EQ(info.kind, os::EntryKind::kFile);
  EXPECT_EQ(info.size, 5u);
  EXPECT_EQ(info.attributes & (os::kAttrDirectory | os::kAttrReparsePoint), 0u);
  ASSERT_TRUE(os::GetEntryInfo(root_, u"folder", &info));
  EXPECT_EQ(info.kind, os::EntryKind::kFolder);
  ASSERT_TRUE(os::GetEntryInfo(root_, u"folder-link", &info));
  // Windows' own values, exactly: a reparse point (0x400) that is a
  // folder (0x10), or a file with the archive bit (0x20).
  EXPECT_EQ(info.kind, os::EntryKind::kLink);
  EXPECT_EQ(info.attributes, 0x410u);
  if (FileLinksVisible()) {
    ASSERT_TRUE(os::GetEntryInfo(root_, u"file-link", &info));
    EXPECT_EQ(info.kind, os::EntryKind::kLink);
    EXPECT_EQ(info.attributes, 0x420u);
  }
  EXPECT_EQ(ErrorOf(os::GetEntryInfo(root_, u"missing", &info)), os::kErrorFileNotFound);
  EXPECT_EQ(ErrorOf(os::GetEntryInfo(root_, u"..", &info)), os::kErrorInvalidName);

  // The path-based queries show links the same way.
  EXPECT_EQ(os::GetFileAttributes(dir_.Path(u"game\\folder-link").c_str()), 0x410u);
  os::FindData found;
  os::Handle search = os::FindFirst(dir_.Path(u"game\\folder-link").c_str(), &found);
  ASSERT_NE(search, os::kInvalidHandle);
  EXPECT_EQ(found.attributes, 0x410u);
  os::FindClose(search);
}

// --- files ---------------------------------------------------------------------

TEST_F(TreeTest, NewFilesAreCreatedOnlyUnderFreeNames) {
  os::Handle file = os::CreateFileIn(root_, u"fresh.txt", os::kFlagSequentialScan);
  ASSERT_NE(file, os::kInvalidHandle);
  std::uint32_t done = 0;
  ASSERT_TRUE(os::WriteFile(file, "fresh", 5, &done));
  os::FileTime written{130000000000000000ull};
  EXPECT_TRUE(os::SetFileTimes(file, nullptr, nullptr, &written));
  os::CloseFile(file);
  EXPECT_EQ(Read(u"fresh.txt"), "fresh");
#ifndef _WIN32
  // Never read-only, as on Windows, whatever the umask takes away.
  const mode_t umask_before = umask(0277);
  file = os::CreateFileIn(root_, u"umask.txt", 0);
  umask(umask_before);
  ASSERT_NE(file, os::kInvalidHandle);
  os::CloseFile(file);
  os::EntryInfo info;
  ASSERT_TRUE(os::GetEntryInfo(root_, u"umask.txt", &info));
  EXPECT_EQ(info.attributes, os::kAttrArchive);
#endif

  EXPECT_EQ(ErrorOf(os::CreateFileIn(root_, u"fresh.txt", 0)), os::kErrorFileExists);
  Link(u"dangling", dir_.Native(u"outside/created-through-link"), false);
  EXPECT_EQ(ErrorOf(os::CreateFileIn(root_, u"dangling", 0)), os::kErrorFileExists);
  Link(u"over-secret", fence_.File(), false);
  EXPECT_EQ(os::CreateFileIn(root_, u"over-secret", 0), os::kInvalidHandle);
}

TEST_F(TreeTest, ExistingFilesAreOpenedForReadingButNotThroughLinks) {
  Write(u"data.txt", "data");
  os::Handle file = os::OpenFileIn(root_, u"data.txt", 0);
  ASSERT_NE(file, os::kInvalidHandle);
  char buffer[8] = {};
  std::uint32_t done = 0;
  EXPECT_TRUE(os::ReadFile(file, buffer, sizeof buffer, &done));
  EXPECT_EQ(std::string(buffer, done), "data");
  os::CloseFile(file);

  fs::create_directories(Game(u"folder"));
  EXPECT_EQ(ErrorOf(os::OpenFileIn(root_, u"folder", 0)), os::kErrorAccessDenied);
  Link(u"folder-link", fence_.Root(), true);
  EXPECT_EQ(os::OpenFileIn(root_, u"folder-link", 0), os::kInvalidHandle);
  if (FileLinksVisible()) {
    Link(u"file-link", fence_.File(), false);
    EXPECT_EQ(ErrorOf(os::OpenFileIn(root_, u"file-link", 0)), os::kErrorStoppedOnSymlink);
  }
}

TEST_F(TreeTest, RenamingReplacesFilesAndLinksButNeverWhatALinkPointsTo) {
  Write(u"new1", "one");
  Write(u"new2", "two");
  Write(u"old", "old");
  Link(u"file-link", fence_.File(), false);
  ASSERT_TRUE(os::RenameEntry(root_, u"new1", root_, u"old"));
  EXPECT_EQ(Read(u"old"), "one");
  EXPECT_FALSE(fs::exists(Game(u"new1")));
  ASSERT_TRUE(os::RenameEntry(root_, u"new2", root_, u"file-link"));
  EXPECT_EQ(Read(u"file-link"), "two");
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(Game(u"file-link"))));

  // Across folders of the tree, folders too.
  fs::create_directories(Game(u"from/moved"));
  os::Handle from = os::OpenTreeFolder(root_, u"from", false);
  os::Handle to = os::OpenTreeFolder(root_, u"to", true);
  ASSERT_TRUE(os::RenameEntry(from, u"moved", to, u"arrived"));
  EXPECT_TRUE(fs::is_directory(Game(u"to/arrived")));
  os::CloseTreeFolder(from);
  os::CloseTreeFolder(to);
}

// Wine renames what a link points to; there the link must be refused and
// stay, elsewhere it moves itself. The fence proves nothing outside moved.
TEST_F(TreeTest, RenamingALinkMovesTheLinkNeverWhatItPointsTo) {
  Link(u"file-link", fence_.File(), false);
  Link(u"folder-link", fence_.Root(), true);
  Write(u"plain", "plain");
  os::Handle aside = os::OpenTreeFolder(root_, u"aside", true);
  ASSERT_NE(aside, os::kInvalidHandle);
  for (const char16_t* name : {u"file-link", u"folder-link"}) {
    const std::u16string moved = std::u16string(u"aside\\") + name;
    if (os::RenameEntry(root_, name, aside, name)) {
      EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Game(moved.c_str())))) << Game(name);
      EXPECT_FALSE(fs::exists(fs::symlink_status(Game(name)))) << Game(name);
    } else {
      EXPECT_EQ(os::GetLastError(), os::kErrorStoppedOnSymlink) << Game(name);
      EXPECT_TRUE(fs::exists(fs::symlink_status(Game(name)))) << Game(name);
    }
  }
  ASSERT_TRUE(os::RenameEntry(root_, u"plain", aside, u"plain"));
  EXPECT_EQ(Read(u"aside\\plain"), "plain");
  os::CloseTreeFolder(aside);
}

TEST_F(TreeTest, RenamingDoesNotReplaceFoldersOrReadOnlyFiles) {
  Write(u"new", "new");
  fs::create_directories(Game(u"folder"));
  Link(u"folder-link", fence_.Root(), true);
  EXPECT_EQ(ErrorOf(os::RenameEntry(root_, u"new", root_, u"folder")), os::kErrorAccessDenied);
  EXPECT_FALSE(os::RenameEntry(root_, u"new", root_, u"folder-link"));
  Write(u"locked", "locked");
  ASSERT_TRUE(os::SetEntryAttributes(root_, u"locked", os::kAttrReadOnly));
  EXPECT_FALSE(os::RenameEntry(root_, u"new", root_, u"locked"));
  EXPECT_EQ(Read(u"locked"), "locked");
  EXPECT_EQ(Read(u"new"), "new");
  EXPECT_EQ(ErrorOf(os::RenameEntry(root_, u"missing", root_, u"x")), os::kErrorFileNotFound);
}

TEST_F(TreeTest, DeletingAndRemovingTakeEntriesButNeverTheTargetsOfLinks) {
  Write(u"plain.txt", "p");
  Link(u"file-link", fence_.File(), false);
  Link(u"folder-link", fence_.Root(), true);
  Link(u"empty-link", fence_.EmptyFolder(), true);
  EXPECT_TRUE(os::DeleteEntry(root_, u"plain.txt"));
  EXPECT_FALSE(fs::exists(Game(u"plain.txt")));
  EXPECT_TRUE(os::DeleteEntry(root_, u"file-link"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Game(u"file-link"))));
  // Wine cannot remove a link to a folder; it must then stay as it is.
  bool removed = os::DeleteEntry(root_, u"folder-link");
  EXPECT_EQ(removed, !fs::exists(fs::symlink_status(Game(u"folder-link"))));
  if (!qvtest::RunningUnderWine()) {
    EXPECT_TRUE(removed);
  }
  os::DeleteEntry(root_, u"empty-link");
  EXPECT_TRUE(fs::is_directory(fence_.EmptyFolder()));

  fs::create_directories(Game(u"folder"));
  EXPECT_EQ(ErrorOf(os::DeleteEntry(root_, u"folder")), os::kErrorAccessDenied);
  Write(u"locked", "locked");
  ASSERT_TRUE(os::SetEntryAttributes(root_, u"locked", os::kAttrReadOnly));
  EXPECT_FALSE(os::DeleteEntry(root_, u"locked"));
  EXPECT_EQ(Read(u"locked"), "locked");
  // Removing folders takes only empty real ones.
  fs::create_directories(Game(u"empty"));
  Write(u"full\\x", "x");
  Link(u"linked-empty", fence_.EmptyFolder(), true);
  EXPECT_TRUE(os::RemoveFolderIn(root_, u"empty"));
  EXPECT_FALSE(fs::exists(Game(u"empty")));
  EXPECT_EQ(ErrorOf(os::RemoveFolderIn(root_, u"full")), os::kErrorDirNotEmpty);
  EXPECT_EQ(ErrorOf(os::RemoveFolderIn(root_, u"linked-empty")), os::kErrorStoppedOnSymlink);
  EXPECT_TRUE(fs::is_directory(fence_.EmptyFolder()));
}

TEST_F(TreeTest, AttributesAndTimesChangeTheEntryButNeverALink) {
  Write(u"file", "f");
  ASSERT_TRUE(os::SetEntryAttributes(root_, u"file", os::kAttrReadOnly));
  os::EntryInfo info;
  ASSERT_TRUE(os::GetEntryInfo(root_, u"file", &info));
  EXPECT_TRUE(info.attributes & os::kAttrReadOnly);
  ASSERT_TRUE(os::SetEntryAttributes(root_, u"file", os::kAttrArchive));
  const os::FileTime written{131000000000000000ull};
  ASSERT_TRUE(os::SetEntryTimes(root_, u"file", nullptr, nullptr, &written));
  ASSERT_TRUE(os::GetEntryInfo(root_, u"file", &info));
  EXPECT_FALSE(info.attributes & os::kAttrReadOnly);
  EXPECT_EQ(info.last_write.ticks, written.ticks);

  Link(u"folder-link", fence_.Root(), true);
  EXPECT_EQ(ErrorOf(os::SetEntryAttributes(root_, u"folder-link", os::kAttrReadOnly)),
            os::kErrorStoppedOnSymlink);
  EXPECT_FALSE(os::SetEntryTimes(root_, u"folder-link", nullptr, nullptr, &written));
  if (FileLinksVisible()) {
    Link(u"file-link", fence_.File(), false);
    EXPECT_FALSE(os::SetEntryAttributes(root_, u"file-link", os::kAttrReadOnly));
    EXPECT_FALSE(os::SetEntryTimes(root_, u"file-link", nullptr, nullptr, &written));
  }
}

TEST_F(TreeTest, BadHandlesAndNamesAreRefused) {
  EXPECT_EQ(ErrorOf(os::OpenTreeFolder(os::kInvalidHandle, u"a", true)), os::kErrorInvalidHandle);
  EXPECT_FALSE(os::CloseTreeFolder(os::kInvalidHandle));
  os::EntryInfo info;
  EXPECT_FALSE(os::GetEntryInfo(root_, nullptr, &info));
  for (const char16_t* bad : {u"", u".", u"..", u"a\\b", u"a/b", u"a:stream"}) {
    EXPECT_EQ(os::CreateFileIn(root_, bad, 0), os::kInvalidHandle) << qvtest::U8(bad);
    EXPECT_EQ(os::GetLastError(), os::kErrorInvalidName);
    EXPECT_FALSE(os::DeleteEntry(root_, bad));
  }
}

}  // namespace
