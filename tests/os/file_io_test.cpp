#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "os/file.h"
#include "os/memory.h"
#include "os/times.h"
#include "os_test_util.h"

namespace {

using ostest::ErrorOf;
using ostest::Open;
using qvtest::ScratchDir;

TEST(FileIo, SeekOrigins) {
  ScratchDir dir;
  dir.WriteFile(u"f.bin", "0123456789");
  os::Handle file = Open(dir.Path(u"f.bin"), os::kAccessRead, os::kShareRead, os::kOpenExisting);
  ASSERT_NE(os::kInvalidHandle, file);
  EXPECT_EQ(2, os::SeekFile(file, 2, os::kSeekBegin));
  EXPECT_EQ(5, os::SeekFile(file, 3, os::kSeekCurrent));
  EXPECT_EQ(9, os::SeekFile(file, -1, os::kSeekEnd));
  EXPECT_EQ(20, os::SeekFile(file, 20, os::kSeekBegin));  // beyond the end is allowed

  EXPECT_EQ(-1, os::SeekFile(file, -1, os::kSeekBegin));
  EXPECT_EQ(os::kErrorNegativeSeek, os::GetLastError());
  EXPECT_EQ(-1, os::SeekFile(file, -11, os::kSeekEnd));
  EXPECT_EQ(os::kErrorNegativeSeek, os::GetLastError());
  EXPECT_EQ(20, os::SeekFile(file, 0, os::kSeekCurrent));  // a failed seek does not move

  EXPECT_EQ(7, os::SeekFile(file, 7, os::kSeekBegin));
  char byte = 0;
  std::uint32_t done = 0;
  ASSERT_TRUE(os::ReadFile(file, &byte, 1, &done));
  EXPECT_EQ('7', byte);
  os::CloseFile(file);
}

TEST(FileIo, TimesRoundTripWithSubSecondPrecision) {
  ScratchDir dir;
  os::Handle file = Open(dir.Path(u"t.bin"), os::kAccessWrite, os::kShareNone, os::kCreateNew);
  ASSERT_NE(os::kInvalidHandle, file);
  // 2021-01-01 plus 0.1234567 s, in 100 ns ticks since 1601.
  const os::FileTime write_time{132539328001234567ull};
  const os::FileTime access_time{132539328009999999ull};
  std::uint32_t done = 0;
  ASSERT_TRUE(os::WriteFile(file, "size", 4, &done));
  ASSERT_TRUE(os::SetFileTimes(file, nullptr, &access_time, &write_time));
  os::FileTime creation, access, last_write;
  ASSERT_TRUE(os::GetFileTimes(file, &creation, &access, &last_write));
  EXPECT_EQ(write_time.ticks, last_write.ticks);
  EXPECT_EQ(access_time.ticks, access.ticks);
  EXPECT_GT(creation.ticks, 0u);
  // The same answers with the size, in one query.
  std::uint64_t size = 0;
  os::FileTime with_size[3];
  ASSERT_TRUE(os::GetFileSizeAndTimes(file, &size, &with_size[0], &with_size[1], &with_size[2]));
  EXPECT_EQ(4u, size);
  EXPECT_EQ(creation.ticks, with_size[0].ticks);
  EXPECT_EQ(access_time.ticks, with_size[1].ticks);
  EXPECT_EQ(write_time.ticks, with_size[2].ticks);
  os::CloseFile(file);

#ifndef _WIN32  // Windows refuses this too, but Wine does not check the access
  // Setting times needs write access.
  os::Handle reader = Open(dir.Path(u"t.bin"), os::kAccessRead, os::kShareRead, os::kOpenExisting);
  EXPECT_EQ(os::kErrorAccessDenied,
            ErrorOf(os::SetFileTimes(reader, nullptr, nullptr, &write_time)));
  os::CloseFile(reader);
#endif
}

// Whole-sector reads into page-aligned memory, as the copy engine does; the
// last read asks for more than remains. tmpfs refuses O_DIRECT: there the
// open falls back to buffered reads.
TEST(FileIo, UnbufferedReadsReturnTheShortTail) {
  ScratchDir dir;
  std::string content(3 * 8192 + 1000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  std::vector<std::filesystem::path> files = {dir.Native(u"big.bin")};
#ifndef _WIN32
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error)) files.push_back("/dev/shm/qv_os_direct_test.bin");
#endif
  const std::uint32_t kChunk = 8192;
  void* pages = os::AllocatePages(kChunk);
  ASSERT_NE(nullptr, pages);
  for (const std::filesystem::path& path : files) {
    SCOPED_TRACE(path.string());
    qvtest::WriteBytes(path, content);
    os::Handle file = Open(path.u16string(), os::kAccessRead, os::kShareRead, os::kOpenExisting,
                           os::kFlagNoBuffering | os::kFlagSequentialScan);
    ASSERT_NE(os::kInvalidHandle, file);
    std::string got;
    std::uint32_t done = 0;
    do {
      ASSERT_TRUE(os::ReadFile(file, pages, kChunk, &done));
      got.append(static_cast<char*>(pages), done);
    } while (done == kChunk);
    EXPECT_EQ(content, got);
    os::CloseFile(file);
  }
  os::FreePages(pages, kChunk);
  std::error_code ignored;
  std::filesystem::remove("/dev/shm/qv_os_direct_test.bin", ignored);
}

}  // namespace
