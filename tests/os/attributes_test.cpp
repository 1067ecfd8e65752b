#include <gtest/gtest.h>

#include "os/file.h"
#include "os/folders.h"
#include "os_test_util.h"

namespace {

using ostest::ErrorOf;
using qvtest::ScratchDir;

TEST(Attributes, FilesFoldersAndReadOnly) {
  ScratchDir dir;
  dir.WriteFile(u"f.bin", "x");
  std::uint32_t file = os::GetFileAttributes(dir.Path(u"f.bin").c_str());
  ASSERT_NE(os::kInvalidAttributes, file);
  EXPECT_EQ(0u, file & (os::kAttrDirectory | os::kAttrReadOnly | os::kAttrHidden));
  std::uint32_t folder = os::GetFileAttributes(dir.Path().c_str());
  EXPECT_NE(0u, folder & os::kAttrDirectory);

  EXPECT_EQ(os::kInvalidAttributes, os::GetFileAttributes(dir.Path(u"none").c_str()));
  EXPECT_EQ(os::kErrorFileNotFound, os::GetLastError());
  EXPECT_EQ(os::kInvalidAttributes, os::GetFileAttributes(dir.Path(u"no\\none").c_str()));
  EXPECT_EQ(os::kErrorPathNotFound, os::GetLastError());

  // Read-only toggles, and keeps the file from being deleted.
  std::u16string path = dir.Path(u"f.bin");
  ASSERT_TRUE(os::SetFileAttributes(path.c_str(), os::kAttrReadOnly));
  EXPECT_NE(0u, os::GetFileAttributes(path.c_str()) & os::kAttrReadOnly);
  EXPECT_EQ(os::kErrorAccessDenied, ErrorOf(os::DeleteFile(path.c_str())));

  ASSERT_TRUE(os::SetFileAttributes(path.c_str(), os::kAttrNormal));
  EXPECT_EQ(0u, os::GetFileAttributes(path.c_str()) & os::kAttrReadOnly);
  EXPECT_TRUE(os::DeleteFile(path.c_str()));
  EXPECT_EQ(os::kInvalidAttributes, os::GetFileAttributes(path.c_str()));
}

TEST(Folders, CreateRemoveAndTheirErrors) {
  ScratchDir dir;
  std::u16string sub = dir.Path(u"sub");
  ASSERT_TRUE(os::CreateDirectory(sub.c_str()));
  EXPECT_EQ(os::kErrorAlreadyExists, ErrorOf(os::CreateDirectory(sub.c_str())));
  EXPECT_EQ(os::kErrorPathNotFound, ErrorOf(os::CreateDirectory(dir.Path(u"a\\b").c_str())));

  dir.WriteFile(u"sub\\f.bin", "x");
  EXPECT_FALSE(os::DeleteFile(sub.c_str()));  // DeleteFile takes files only
  EXPECT_EQ(os::kErrorDirNotEmpty, ErrorOf(os::RemoveDirectory(sub.c_str())));
  EXPECT_TRUE(os::DeleteFile(dir.Path(u"sub\\f.bin").c_str()));
  EXPECT_TRUE(os::RemoveDirectory(sub.c_str()));
  EXPECT_EQ(os::kErrorPathNotFound, ErrorOf(os::DeleteFile(dir.Path(u"sub\\f.bin").c_str())));
}

#ifndef _WIN32
TEST(Attributes, PosixMapping) {
  ScratchDir dir;
  dir.WriteFile(u".hidden", "x");
  dir.WriteFile(u"plain", "x");
  EXPECT_EQ(os::kAttrHidden | os::kAttrArchive,
            os::GetFileAttributes(dir.Path(u".hidden").c_str()));
  EXPECT_EQ(os::kAttrArchive, os::GetFileAttributes(dir.Path(u"plain").c_str()));
  EXPECT_EQ(os::kAttrDirectory, os::GetFileAttributes(dir.Path(u".").c_str()));
  EXPECT_EQ(os::kAttrNormal, os::GetFileAttributes(u"/dev/null"));
  ASSERT_TRUE(os::SetFileAttributes(dir.Path(u"plain").c_str(), os::kAttrReadOnly));
  EXPECT_EQ(os::kAttrReadOnly | os::kAttrArchive, os::GetFileAttributes(dir.Path(u"plain").c_str()));
  auto perms = std::filesystem::status(dir.Native(u"plain")).permissions();
  EXPECT_EQ(std::filesystem::perms::none, perms & std::filesystem::perms::owner_write);
  EXPECT_EQ(std::filesystem::perms::none, perms & std::filesystem::perms::group_write);
}
#endif

}  // namespace
