#include "os/durable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "os/fault.h"
#include "os/file.h"
#include "os/folders.h"
#include "os/tree.h"
#include "os/volume.h"
#include "os_test_util.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using ostest::ErrorOf;
using qvtest::ScratchDir;

class Durable : public ::testing::Test {
 protected:
  std::u16string Path(std::u16string_view relative) const { return dir_.Path(relative); }
  bool Rename(std::u16string_view from, std::u16string_view to) const {
    return os::Rename(Path(from).c_str(), Path(to).c_str());
  }
  ScratchDir dir_;
};

TEST_F(Durable, FlushFileNeedsAHandleThatWrites) {
  dir_.WriteFile(u"a.bin", "");
  dir_.WriteFile(u"b.bin", "b");
  os::Handle writer =
      ostest::Open(Path(u"a.bin"), os::kAccessWrite, os::kShareNone, os::kOpenExisting);
  os::Handle reader = ostest::Open(Path(u"b.bin"), os::kAccessRead, os::kShareRead, os::kOpenExisting);
  std::uint32_t done = 0;
  ASSERT_TRUE(os::WriteFile(writer, "abc", 3, &done));
  EXPECT_TRUE(os::FlushFile(writer));
  EXPECT_EQ(ErrorOf(os::FlushFile(reader)), os::kErrorAccessDenied);
  os::CloseFile(writer);
  os::CloseFile(reader);
  EXPECT_EQ(ErrorOf(os::FlushFile(os::kInvalidHandle)), os::kErrorInvalidHandle);
  EXPECT_EQ(dir_.ReadFile(u"a.bin"), "abc");
}

TEST_F(Durable, FlushFolderAndFreeSpaceTakeFoldersOnly) {
  dir_.WriteFile(u"file.txt", "x");
  EXPECT_TRUE(os::FlushFolder(Path(u"").c_str()));
  // The free space is what the volume reports, give or take what other
  // programs write meanwhile.
  std::uint64_t free = 0;
  ASSERT_TRUE(os::GetFreeDiskSpace(Path(u"").c_str(), &free));
  const std::uint64_t expected = fs::space(dir_.Native()).available;
  const std::uint64_t slack = expected / 10 + (64u << 20);
  EXPECT_GT(free, 0u);
  EXPECT_LT(free, expected + slack);
  EXPECT_GT(free + slack, expected);

  for (auto* call : {+[](const char16_t* path) { return os::FlushFolder(path); },
                     +[](const char16_t* path) {
                       std::uint64_t ignored = 0;
                       return os::GetFreeDiskSpace(path, &ignored);
                     }}) {
    EXPECT_EQ(ErrorOf(call(Path(u"missing").c_str())), os::kErrorPathNotFound);
    EXPECT_EQ(ErrorOf(call(Path(u"missing\\deeper").c_str())), os::kErrorPathNotFound);
    EXPECT_EQ(ErrorOf(call(Path(u"file.txt").c_str())), os::kErrorDirectory);
  }
}

// A folder of files and folders is flushed; several folders (the same one
// twice, too) or none at once, but one handle that is not a folder's fails
// the whole flush.
TEST_F(Durable, FlushTreeFilesAndFoldersTakeTreeFolders) {
  dir_.WriteFile(u"a\\1", "one");
  fs::create_directories(dir_.Native(u"a\\b"));
  os::Handle folders[] = {os::OpenTreeRoot(Path(u"a").c_str()),
                          os::OpenTreeRoot(Path(u"a\\b").c_str()),
                          os::OpenTreeRoot(Path(u"a").c_str())};
  for (os::Handle folder : folders) ASSERT_NE(folder, os::kInvalidHandle);
  EXPECT_TRUE(os::FlushTreeFiles(folders[0]));
  EXPECT_FALSE(os::FlushTreeFiles(os::kInvalidHandle));
  EXPECT_TRUE(os::FlushTreeFolders(folders, 3));
  EXPECT_TRUE(os::FlushTreeFolders(folders, 0));
  const os::Handle with_invalid[] = {folders[0], os::kInvalidHandle};
  EXPECT_FALSE(os::FlushTreeFolders(with_invalid, 2));
  for (os::Handle folder : folders) os::CloseTreeFolder(folder);
  EXPECT_EQ(dir_.ReadFile(u"a\\1"), "one");
}

TEST_F(Durable, CopyFileDataMovesBothPositionsOrIsRefused) {
  std::string content(300000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 % 253);
  dir_.WriteFile(u"from.bin", content);
  os::Handle from = ostest::Open(Path(u"from.bin"), os::kAccessRead, os::kShareRead, os::kOpenExisting);
  os::Handle to = ostest::Open(Path(u"to.bin"), os::kAccessWrite, os::kShareNone, os::kCreateNew);
  std::uint32_t done = 1;
  // A fault point of its own kind, on every system.
  os::ArmFaults({os::FileOp::kWrite, 1, 1234});
  EXPECT_EQ(ErrorOf(os::CopyFileData(from, to, 100, &done)), 1234u);
  os::DisarmFaults();
  if (!os::SystemCopiesFileData()) {
    EXPECT_EQ(ErrorOf(os::CopyFileData(from, to, 100, &done)), os::kErrorNotSupported);
    EXPECT_EQ(done, 0u);
  } else {
    // A first chunk, the rest in pieces, then the end of the source.
    ASSERT_TRUE(os::CopyFileData(from, to, 4096, &done));
    EXPECT_EQ(done, 4096u);
    std::uint64_t copied = done;
    while (os::CopyFileData(from, to, 70000, &done) && done > 0) copied += done;
    EXPECT_EQ(copied, content.size());
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(os::SeekFile(to, 0, os::kSeekCurrent), static_cast<std::int64_t>(content.size()));
    // The destination must be writable and the source readable.
    EXPECT_EQ(ErrorOf(os::CopyFileData(to, from, 10, &done)), os::kErrorAccessDenied);
  }
  os::CloseFile(from);
  os::CloseFile(to);
  if (os::SystemCopiesFileData()) {
    EXPECT_EQ(dir_.ReadFile(u"to.bin"), content);
  }
}

TEST_F(Durable, ReadAheadIsAHintThatLeavesThePositionAlone) {
  dir_.WriteFile(u"ahead.bin", "0123456789");
  os::Handle file = ostest::Open(Path(u"ahead.bin"), os::kAccessRead, os::kShareRead, os::kOpenExisting);
  os::ArmFaults({os::FileOp::kRead, 1, 1234});
  EXPECT_EQ(ErrorOf(os::ReadAheadFile(file, 0, 1u << 20)), 1234u);
  os::DisarmFaults();
  EXPECT_TRUE(os::ReadAheadFile(file, 4, 1u << 20));
  char bytes[4] = {};
  std::uint32_t done = 0;
  ASSERT_TRUE(os::ReadFile(file, bytes, 4, &done));
  EXPECT_EQ(std::string(bytes, done), "0123");
  os::CloseFile(file);
  EXPECT_FALSE(os::ReadAheadFile(os::kInvalidHandle, 0, 1));
}

TEST_F(Durable, RenameReplacesFilesAndMovesFilesAndFoldersToFreeNames) {
  dir_.WriteFile(u"target.txt", "old");
  dir_.WriteFile(u"target.txt.new", "new");
  ASSERT_TRUE(Rename(u"target.txt.new", u"target.txt"));
  EXPECT_EQ(dir_.ReadFile(u"target.txt"), "new");
  EXPECT_FALSE(fs::exists(dir_.Native(u"target.txt.new")));
  dir_.WriteFile(u"tree\\sub\\leaf.txt", "leaf");
  dir_.WriteFile(u"loose.txt", "loose");
  fs::create_directories(dir_.Native(u"backup"));
  ASSERT_TRUE(Rename(u"tree", u"backup\\tree"));
  ASSERT_TRUE(Rename(u"loose.txt", u"backup\\loose.txt"));
  EXPECT_EQ(dir_.ReadFile(u"backup\\tree\\sub\\leaf.txt"), "leaf");
  EXPECT_EQ(dir_.ReadFile(u"backup\\loose.txt"), "loose");
  EXPECT_FALSE(fs::exists(dir_.Native(u"tree")));
  EXPECT_FALSE(fs::exists(dir_.Native(u"loose.txt")));
  // A new spelling of a folder's own name is no replacement.
  ASSERT_TRUE(Rename(u"backup\\tree", u"backup\\Tree"));
  EXPECT_EQ(dir_.ReadFile(u"backup\\Tree\\sub\\leaf.txt"), "leaf");
}

// Each refusal leaves both names as they were.
struct Refusal {
  const char* what;
  const char16_t* from;
  const char16_t* to;
  std::uint32_t error;
  std::function<void(const ScratchDir&)> prepare;
};

TEST_F(Durable, RenameRefusesWhatWindowsRefuses) {
  const Refusal refusals[] = {
      {"missing source", u"gone.txt", u"to.txt", os::kErrorFileNotFound, nullptr},
      {"missing target folder", u"from.txt", u"nowhere\\to.txt", os::kErrorPathNotFound, nullptr},
      {"read-only target", u"from.txt", u"to.txt", os::kErrorAccessDenied,
       [](const ScratchDir& dir) {
         dir.WriteFile(u"to.txt", "to");
         os::SetFileAttributes(dir.Path(u"to.txt").c_str(), os::kAttrReadOnly);
       }},
      {"empty folder as target", u"from.txt", u"empty", os::kErrorAccessDenied,
       [](const ScratchDir& dir) { fs::create_directories(dir.Native(u"empty")); }},
      {"folder over a file", u"folder", u"to.txt", os::kErrorAccessDenied,
       [](const ScratchDir& dir) {
         dir.WriteFile(u"folder\\inside.txt", "inside");
         dir.WriteFile(u"to.txt", "to");
       }},
      {"folder over an empty folder", u"folder", u"empty", os::kErrorAccessDenied,
       [](const ScratchDir& dir) {
         dir.WriteFile(u"folder\\inside.txt", "inside");
         fs::create_directories(dir.Native(u"empty"));
       }},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    ScratchDir dir;
    dir.WriteFile(u"from.txt", "from");
    if (r.prepare) r.prepare(dir);
    const bool from_existed = fs::exists(dir.Native(r.from));
    const bool to_existed = fs::exists(dir.Native(r.to));
    EXPECT_EQ(ErrorOf(os::Rename(dir.Path(r.from).c_str(), dir.Path(r.to).c_str())), r.error);
    EXPECT_EQ(fs::exists(dir.Native(r.from)), from_existed);
    EXPECT_EQ(fs::exists(dir.Native(r.to)), to_existed);
    if (fs::is_regular_file(dir.Native(r.to))) {
      EXPECT_EQ(dir.ReadFile(r.to), "to");
    }
  }
}

TEST_F(Durable, RenameRefusesFilesThatAreOpen) {
  dir_.WriteFile(u"from.txt", "from");
  dir_.WriteFile(u"to.txt", "to");
  // An open source is a sharing violation; an open target, a refused access.
  for (auto [open_name, error] : {std::pair{u"from.txt", os::kErrorSharingViolation},
                                  std::pair{u"to.txt", os::kErrorAccessDenied}}) {
    SCOPED_TRACE(qvtest::U8(open_name));
    os::Handle open = ostest::Open(Path(open_name), os::kAccessRead, os::kShareRead,
                                   os::kOpenExisting);
    EXPECT_EQ(ErrorOf(Rename(u"from.txt", u"to.txt")), error);
    os::CloseFile(open);
  }
  EXPECT_EQ(dir_.ReadFile(u"to.txt"), "to");
  EXPECT_TRUE(Rename(u"from.txt", u"to.txt"));
  EXPECT_EQ(dir_.ReadFile(u"to.txt"), "from");
}

#ifndef _WIN32
// A link in the target's place is replaced, never followed; a link that is
// moved stays a link.
TEST_F(Durable, RenameMovesAndReplacesLinksThemselves) {
  dir_.WriteFile(u"victim.txt", "victim");
  dir_.WriteFile(u"staged.txt", "staged");
  fs::create_symlink(dir_.Native(u"victim.txt"), dir_.Native(u"target.txt"));
  fs::create_symlink(dir_.Native(u"victim.txt"), dir_.Native(u"link.txt"));
  ASSERT_TRUE(Rename(u"staged.txt", u"target.txt"));
  EXPECT_FALSE(fs::is_symlink(dir_.Native(u"target.txt")));
  EXPECT_EQ(dir_.ReadFile(u"target.txt"), "staged");
  EXPECT_EQ(dir_.ReadFile(u"victim.txt"), "victim");

  ASSERT_TRUE(Rename(u"link.txt", u"moved.txt"));
  EXPECT_TRUE(fs::is_symlink(dir_.Native(u"moved.txt")));
}
#endif

}  // namespace
