#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "os/file.h"
#include "os/find.h"
#include "os/folders.h"
#include "os/memory.h"
#include "os/volume.h"
#include "test_support.h"

namespace {

using qvtest::ScratchDir;

TEST(Win32File, UnbufferedReadsWholeSectorsIntoPages) {
  ScratchDir dir;
  std::u16string path = dir.Path(u"sectors.bin");
  std::u16string root = path.substr(0, 3);  // "X:\"
  std::uint32_t sector = os::GetSectorSize(root.c_str());
  ASSERT_GT(sector, 0u);
  ASSERT_EQ(sector & (sector - 1), 0u) << "sector size " << sector;

  std::string content(sector * 2 + 17, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  dir.WriteFile(u"sectors.bin", content);

  os::Handle file = os::OpenFile(path.c_str(), os::kAccessRead, os::kShareRead, os::kOpenExisting,
                                 0, os::kFlagNoBuffering | os::kFlagSequentialScan);
  ASSERT_NE(file, os::kInvalidHandle);
  std::size_t capacity = sector * 4;
  auto* pages = static_cast<char*>(os::AllocatePages(capacity));
  ASSERT_NE(pages, nullptr);
  std::uint32_t done = 0;
  // A whole number of sectors is asked for; the tail of the file comes back
  // short.
  ASSERT_TRUE(os::ReadFile(file, pages, static_cast<std::uint32_t>(capacity), &done));
  EXPECT_EQ(done, content.size());
  EXPECT_EQ(std::memcmp(pages, content.data(), content.size()), 0);
  // Unbuffered positions must be whole sectors too.
  ASSERT_EQ(os::SeekFile(file, sector * 2, os::kSeekBegin), sector * 2);
  ASSERT_TRUE(os::ReadFile(file, pages, sector, &done));
  EXPECT_EQ(done, 17u);
  EXPECT_EQ(std::memcmp(pages, content.data() + sector * 2, 17), 0);
  os::FreePages(pages, capacity);
  os::CloseFile(file);
}

TEST(Win32File, InvalidHandleIsNeverTakenForTheProcess) {
  // The invalid value is also the process's pseudo handle; nothing may act
  // on the process through it.
  std::uint64_t size = 0;
  char byte = 0;
  std::uint32_t done = 7;
  EXPECT_FALSE(os::CloseFile(os::kInvalidHandle));
  EXPECT_EQ(os::GetLastError(), os::kErrorInvalidHandle);
  EXPECT_FALSE(os::ReadFile(os::kInvalidHandle, &byte, 1, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_FALSE(os::WriteFile(os::kInvalidHandle, &byte, 1, &done));
  EXPECT_EQ(os::SeekFile(os::kInvalidHandle, 0, os::kSeekBegin), -1);
  EXPECT_FALSE(os::GetFileSize(os::kInvalidHandle, &size));
  os::FindData data;
  EXPECT_FALSE(os::FindNext(os::kInvalidHandle, &data));
  os::FindClose(os::kInvalidHandle);
}

TEST(Win32File, PathResultsThatDoNotFitAreRefusedWithoutOverrun) {
  ScratchDir dir;
  std::u16string relative = u"a-rather-long-relative-name.bin";
  char16_t buffer[16];
  for (auto& unit : buffer) unit = u'#';
  EXPECT_EQ(os::GetFullPathName(relative.c_str(), buffer, 8), 0u);
  EXPECT_EQ(buffer[0], 0);
  for (int i = 8; i < 16; ++i) EXPECT_EQ(buffer[i], u'#');

  char16_t full[1024];
  std::uint32_t length = os::GetFullPathName(dir.Path(u"x").c_str(), full, 1024);
  ASSERT_GT(length, 0u);
  // Exactly one unit short of the terminator still does not fit.
  EXPECT_EQ(os::GetFullPathName(dir.Path(u"x").c_str(), full, length), 0u);
  EXPECT_EQ(os::GetFullPathName(dir.Path(u"x").c_str(), full, length + 1), length);
}

}  // namespace
