#include <gtest/gtest.h>

#include "os/fault.h"
#include "os/file.h"
#include "os/folders.h"
#include "os_test_util.h"

#include <string>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using ostest::ErrorOf;
using ostest::Open;
using qvtest::ScratchDir;

struct DispositionCase {
  std::uint32_t disposition;
  bool exists;
  bool opens;
  std::uint64_t size;   // size after opening (when it opens)
  std::uint32_t error;  // last error after the call
};

// The existing file holds five bytes.
const DispositionCase kDispositions[] = {
    {os::kCreateNew, false, true, 0, os::kErrorSuccess},
    {os::kCreateNew, true, false, 0, os::kErrorFileExists},
    {os::kCreateAlways, false, true, 0, os::kErrorSuccess},
    {os::kCreateAlways, true, true, 0, os::kErrorAlreadyExists},
    {os::kOpenExisting, false, false, 0, os::kErrorFileNotFound},
    {os::kOpenExisting, true, true, 5, os::kErrorSuccess},
    {os::kOpenAlways, false, true, 0, os::kErrorSuccess},
    {os::kOpenAlways, true, true, 5, os::kErrorAlreadyExists},
    {os::kTruncateExisting, false, false, 0, os::kErrorFileNotFound},
    {os::kTruncateExisting, true, true, 0, os::kErrorSuccess},
};

TEST(OpenFile, DispositionsFollowWindows) {
  for (const DispositionCase& c : kDispositions) {
    SCOPED_TRACE(testing::Message() << "disposition " << c.disposition << " exists " << c.exists);
    ScratchDir dir;
    if (c.exists) dir.WriteFile(u"f.bin", "hello");
    os::SetLastError(12345);
    os::Handle file = Open(dir.Path(u"f.bin"), os::kAccessRead | os::kAccessWrite, os::kShareNone,
                           c.disposition);
    EXPECT_EQ(c.error, os::GetLastError());
    ASSERT_EQ(c.opens, file != os::kInvalidHandle);
    if (file == os::kInvalidHandle) continue;
    EXPECT_EQ(c.size, ostest::SizeOf(file));
    EXPECT_TRUE(os::CloseFile(file));
  }
}

TEST(OpenFile, RefusalsCarryWindowsErrors) {
  ScratchDir dir;
  dir.WriteFile(u"f.bin", "x");
  const struct {
    const char16_t* path;
    std::uint32_t disposition, error;
  } cases[] = {
      {u"f.bin", 0, os::kErrorInvalidParameter},
      {u"f.bin", 6, os::kErrorInvalidParameter},
      {u"f.bin", 7, os::kErrorInvalidParameter},
      {u"no\\such.bin", os::kOpenExisting, os::kErrorPathNotFound},
      {u"", os::kOpenExisting, os::kErrorAccessDenied},  // the folder itself
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(qvtest::U8(c.path) + " " + std::to_string(c.disposition));
    EXPECT_EQ(c.error,
              ErrorOf(Open(dir.Path(c.path), os::kAccessRead, os::kShareRead, c.disposition)));
  }
}

// A writer that shares nothing keeps everyone out, readers that share
// reading keep writers out, and a handle only moves data its way.
TEST(OpenFile, SharingAndDirectionFollowWindows) {
  ScratchDir dir;
  const std::u16string path = dir.Path(u"f.bin");
  char buffer[4];
  std::uint32_t done = 99;
  os::Handle writer = Open(path, os::kAccessWrite, os::kShareNone, os::kCreateAlways);
  ASSERT_NE(os::kInvalidHandle, writer);
  EXPECT_EQ(os::kErrorSharingViolation,
            ErrorOf(Open(path, os::kAccessRead, os::kShareRead, os::kOpenExisting)));
  EXPECT_EQ(os::kErrorSharingViolation,
            ErrorOf(Open(path, os::kAccessWrite, os::kShareNone, os::kCreateAlways)));
  EXPECT_EQ(os::kErrorSharingViolation, ErrorOf(os::DeleteFile(path.c_str())));
  EXPECT_EQ(os::kErrorAccessDenied, ErrorOf(os::ReadFile(writer, buffer, sizeof(buffer), &done)));
  EXPECT_TRUE(os::WriteFile(writer, "data", 4, &done));
  EXPECT_TRUE(os::CloseFile(writer));
  EXPECT_EQ(os::kErrorInvalidHandle, ErrorOf(os::WriteFile(writer, "x", 1, &done)));
  EXPECT_FALSE(os::CloseFile(os::kInvalidHandle));

  os::Handle first = Open(path, os::kAccessRead, os::kShareRead, os::kOpenExisting);
  os::Handle second = Open(path, os::kAccessRead, os::kShareRead, os::kOpenExisting);
  EXPECT_NE(os::kInvalidHandle, first);
  EXPECT_NE(os::kInvalidHandle, second);
  EXPECT_EQ(os::kErrorSharingViolation,
            ErrorOf(Open(path, os::kAccessWrite, os::kShareRead, os::kOpenExisting)));
  EXPECT_EQ(os::kErrorAccessDenied, ErrorOf(os::WriteFile(first, "x", 1, &done)));
  EXPECT_EQ(0u, done);
  os::CloseFile(first);
  os::CloseFile(second);
}

TEST(OpenFile, ReadOnlyFileRefusesWriters) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine run as root opens read-only files for writing";
#endif
  ScratchDir dir;
  dir.WriteFile(u"ro.bin", "keep");
  std::u16string path = dir.Path(u"ro.bin");
  ASSERT_TRUE(os::SetFileAttributes(path.c_str(), os::kAttrReadOnly));
  EXPECT_EQ(os::kErrorAccessDenied,
            ErrorOf(Open(path, os::kAccessWrite, os::kShareNone, os::kOpenExisting)));
  EXPECT_EQ(os::kErrorAccessDenied,
            ErrorOf(Open(path, os::kAccessWrite, os::kShareNone, os::kCreateAlways)));
  EXPECT_EQ(os::kErrorAccessDenied, ErrorOf(os::OpenFileForRewrite(path.c_str())));
  EXPECT_EQ("keep", dir.ReadFile(u"ro.bin"));

  os::Handle reader = Open(path, os::kAccessRead, os::kShareRead, os::kOpenExisting);
  EXPECT_NE(os::kInvalidHandle, reader);
  os::CloseFile(reader);
}

TEST(OpenFileForRewrite, CreatesOrEmptiesAWriterThatSharesNothing) {
  ScratchDir dir;
  dir.WriteFile(u"old.bin", "hello");
  for (const char16_t* name : {u"new.bin", u"old.bin"}) {
    SCOPED_TRACE(qvtest::U8(name));
    const std::u16string path = dir.Path(name);
    os::SetLastError(12345);
    os::Handle file = os::OpenFileForRewrite(path.c_str());
    ASSERT_NE(os::kInvalidHandle, file);
    EXPECT_EQ(os::kErrorSuccess, os::GetLastError());
    EXPECT_EQ(0u, ostest::SizeOf(file));
    EXPECT_EQ(os::kInvalidHandle, Open(path, os::kAccessRead, os::kShareRead, os::kOpenExisting));
    std::uint32_t done = 0;
    EXPECT_TRUE(os::WriteFile(file, "abc", 3, &done));
    EXPECT_TRUE(os::CloseFile(file));
    EXPECT_EQ("abc", dir.ReadFile(name));
  }
}

// One call is one fault point, so a sweep that fails it sees the failure:
// a second try behind it would empty the file all the same.
TEST(OpenFileForRewrite, FailsWithTheErrorOfTheStepThatDecided) {
  ScratchDir dir;
  dir.WriteFile(u"old.bin", "hello");
  os::ArmFaults({os::FileOp::kOpen, 1, os::kErrorDiskFull});
  EXPECT_EQ(os::kErrorDiskFull, ErrorOf(os::OpenFileForRewrite(dir.Path(u"old.bin").c_str())));
  EXPECT_EQ(os::FaultCallCount(os::FileOp::kAny), 1u);
  os::DisarmFaults();
  EXPECT_EQ("hello", dir.ReadFile(u"old.bin"));

  EXPECT_EQ(os::kErrorPathNotFound,
            ErrorOf(os::OpenFileForRewrite(dir.Path(u"none\\f.bin").c_str())));
  os::Handle holder = Open(dir.Path(u"old.bin"), os::kAccessRead, os::kShareRead, os::kOpenExisting);
  EXPECT_EQ(os::kErrorSharingViolation,
            ErrorOf(os::OpenFileForRewrite(dir.Path(u"old.bin").c_str())));
  os::CloseFile(holder);
  EXPECT_EQ("hello", dir.ReadFile(u"old.bin"));
}

#ifndef _WIN32
// Opening a FIFO nobody writes to returns at once instead of waiting.
TEST(OpenFile, FifoDoesNotHang) {
  ScratchDir dir;
  ASSERT_EQ(0, mkfifo(dir.Native(u"pipe").c_str(), 0600));
  os::Handle file = Open(dir.Path(u"pipe"), os::kAccessRead, os::kShareRead, os::kOpenExisting);
  ASSERT_NE(os::kInvalidHandle, file);
  os::CloseFile(file);
}
#endif

}  // namespace
