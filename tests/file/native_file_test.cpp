#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/debug_log_capture.h"
#include "file/native_file.h"
#include "os/file.h"
#include "os/process.h"
#include "test_support.h"

namespace {

constexpr std::uint32_t kRead = QVFILE_READ | QVFILE_OPEN_EXISTING;      // 0x101
constexpr std::uint32_t kWrite = QVFILE_WRITE | QVFILE_CREATE_ALWAYS;    // 0x402
constexpr std::uint32_t kAttrReadOnly = 0x1;
constexpr std::uint32_t kAttrHidden = 0x2;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrNormal = 0x80;

class NativeFileTest : public ::testing::Test {
 protected:
  std::u16string Path(std::u16string_view name) const { return dir_.Path(name); }
  bool OnDisk(std::u16string_view name) const {
    return std::filesystem::exists(dir_.Native(name));
  }
  std::string Read(qvFile& file, std::uint32_t count) {
    std::string bytes(count, '\0');
    const std::int32_t got = file.Read(bytes.data(), count);
    bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    return bytes;
  }
  qvtest::ScratchDir dir_;
};

TEST_F(NativeFileTest, FailedOpenLeavesTheObjectClosed) {
  qvFile file;
  EXPECT_EQ(file.Open(Path(u"missing.txt").c_str(), kRead), 0);
  qvtest::DebugLogCapture log;
  EXPECT_EQ(file.Write("x", 1), -1);
  EXPECT_FALSE(log.FileExists());  // a closed object logs reads, not writes
  char16_t name[8];
  char byte;
  EXPECT_EQ(file.GetName(name, 8), nullptr);
  EXPECT_EQ(file.GetSize(), -1);
  EXPECT_EQ(file.GetPosition(), -1);
  EXPECT_EQ(file.GetHandle(), -1);
  EXPECT_EQ(file.Seek(0), -1);
  EXPECT_EQ(file.Read(&byte, 1), -1);
  // "qvFile : ハンドルが無効です" in Shift-JIS.
  EXPECT_NE(log.Contents().find("\tqvFile : \x83\x6E\x83\x93\x83\x68\x83\x8B"),
            std::string::npos);
  EXPECT_EQ(file.Close(), 0);
}

TEST_F(NativeFileTest, ReadsAndCountsThePosition) {
  dir_.WriteFile(u"a.txt", "hello world");
  qvFile file;
  ASSERT_EQ(file.Open(Path(u"a.txt").c_str(), kRead), 1);
  EXPECT_NE(file.GetHandle(), -1);
  EXPECT_EQ(file.GetSize(), 11);
  EXPECT_EQ(Read(file, 5), "hello");
  EXPECT_EQ(file.GetPosition(), 5);
  EXPECT_EQ(Read(file, 100), " world");
  EXPECT_EQ(file.GetPosition(), 11);
  // At the end: 0 bytes, position unchanged.
  EXPECT_EQ(file.Read(nullptr, 0), 0);
  char byte;
  EXPECT_EQ(file.Read(&byte, 1), 0);
  EXPECT_EQ(file.GetPosition(), 11);
  EXPECT_EQ(file.Close(), 1);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(file.GetHandle(), -1);
}

// A close that fails lets go of the handle all the same: closing it again
// could close another file that got the same number meanwhile, and the
// object must open a file again rather than end the process as one that
// is still open.
TEST_F(NativeFileTest, AFailedCloseForgetsTheHandle) {
  dir_.WriteFile(u"a.txt", "a");
  dir_.WriteFile(u"b.txt", "b");
  qvFile file;
  ASSERT_EQ(file.Open(Path(u"a.txt").c_str(), kRead), 1);
  ASSERT_TRUE(os::CloseFile(file.GetHandle()));
  EXPECT_EQ(file.Close(), 0);
  const os::Handle other = os::OpenFile(Path(u"b.txt").c_str(), os::kAccessRead, os::kShareRead,
                                        os::kOpenExisting, 0, 0);
  ASSERT_NE(other, os::kInvalidHandle);
  EXPECT_EQ(file.Close(), 0);
  char byte = 0;
  std::uint32_t done = 0;
  EXPECT_TRUE(os::ReadFile(other, &byte, 1, &done));
  EXPECT_EQ(byte, 'b');
  EXPECT_TRUE(os::CloseFile(other));
  ASSERT_EQ(file.Open(Path(u"b.txt").c_str(), kRead), 1);
  EXPECT_EQ(Read(file, 1), "b");
}

TEST_F(NativeFileTest, CreateAlwaysWritesAFreshUnsharedFile) {
  dir_.WriteFile(u"a.txt", "old contents");
  const std::u16string path = Path(u"a.txt");
  qvFile file;
  ASSERT_EQ(file.Open(path.c_str(), kWrite), 1);
  EXPECT_EQ(file.GetSizeOf(path.c_str()), 0u);
  qvFile other;
  EXPECT_EQ(other.Open(path.c_str(), kRead), 0);
  EXPECT_EQ(file.Write("abc", 3), 3);
  EXPECT_EQ(file.Write("defg", 4), 4);
  EXPECT_EQ(file.GetPosition(), 7);
  ASSERT_EQ(file.Close(), 1);
  EXPECT_EQ(dir_.ReadFile(u"a.txt"), "abcdefg");

  ASSERT_EQ(file.Open(Path(u"new.txt").c_str(), kWrite), 1);
  EXPECT_TRUE(OnDisk(u"new.txt"));
}

TEST_F(NativeFileTest, DispositionBits) {
  struct Case {
    std::uint32_t flags;
    bool exists_before;
    int opened;
    const char* contents_after;  // null: no file afterwards
  };
  const Case cases[] = {
      {QVFILE_WRITE | QVFILE_OPEN_EXISTING, false, 0, nullptr},
      {QVFILE_WRITE | QVFILE_OPEN_EXISTING, true, 1, "Xld"},
      {QVFILE_WRITE | QVFILE_CREATE_NEW, false, 1, "X"},
      {QVFILE_WRITE | QVFILE_CREATE_NEW, true, 0, "old"},
      {QVFILE_WRITE | QVFILE_OPEN_ALWAYS, false, 1, "X"},
      {QVFILE_WRITE | QVFILE_OPEN_ALWAYS, true, 1, "Xld"},
      // CREATE_NEW | OPEN_ALWAYS is the system's TRUNCATE_EXISTING.
      {QVFILE_WRITE | QVFILE_CREATE_NEW | QVFILE_OPEN_ALWAYS, true, 1, "X"},
      {QVFILE_WRITE | QVFILE_CREATE_NEW | QVFILE_OPEN_ALWAYS, false, 0, nullptr},
      {QVFILE_WRITE, true, 0, "old"},
      {QVFILE_WRITE | QVFILE_OPEN_EXISTING | QVFILE_OPEN_ALWAYS, true, 0, "old"},
      // CREATE_ALWAYS overrides the other bits.
      {QVFILE_WRITE | 0xF00, true, 1, "X"}, {QVFILE_READ | QVFILE_OPEN_ALWAYS, false, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.flags << " exists " << c.exists_before);
    std::filesystem::remove(dir_.Native(u"f.txt"));
    if (c.exists_before) dir_.WriteFile(u"f.txt", "old");
    {
      qvFile file;
      ASSERT_EQ(file.Open(Path(u"f.txt").c_str(), c.flags), c.opened);
      if (c.opened && (c.flags & QVFILE_WRITE) && !(c.flags & QVFILE_READ)) {
        EXPECT_EQ(file.Write("X", 1), 1);
      }
    }
    if (c.contents_after == nullptr) {
      EXPECT_FALSE(OnDisk(u"f.txt"));
    } else {
      EXPECT_EQ(dir_.ReadFile(u"f.txt"), c.contents_after);
    }
  }
}

TEST_F(NativeFileTest, ReadAndWriteFlagsGiveAReadOnlyHandle) {
  dir_.WriteFile(u"a.txt", "abc");
  qvtest::DebugLogCapture log;
  qvFile file;
  ASSERT_EQ(file.Open(Path(u"a.txt").c_str(), QVFILE_READ | QVFILE_WRITE | QVFILE_OPEN_EXISTING), 1);
  EXPECT_EQ(Read(file, 3), "abc");
  EXPECT_EQ(file.Write("x", 1), -1);
  EXPECT_EQ(file.GetPosition(), 3);
  file.Close();
  EXPECT_EQ(dir_.ReadFile(u"a.txt"), "abc");
  EXPECT_NE(log.Contents().find("\tWrite file failed : 5\r\n"), std::string::npos);
}

TEST_F(NativeFileTest, SeekStopsAtTheLastByte) {
  dir_.WriteFile(u"a.txt", "0123456789");
  qvFile file;
  ASSERT_EQ(file.Open(Path(u"a.txt").c_str(), kRead), 1);
  const struct {
    std::uint32_t requested;
    std::int32_t landed;
  } cases[] = {{0, 0}, {5, 5}, {9, 9}, {10, 9}, {11, 9}, {0x80000000u, 9}, {0xFFFFFFFFu, 9}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.requested);
    EXPECT_EQ(file.Seek(c.requested), c.landed);
    EXPECT_EQ(file.GetPosition(), c.landed);
    EXPECT_EQ(Read(file, 1), std::string(1, static_cast<char>('0' + c.landed)));
  }
  // An empty file has no byte to stop at.
  file.Close();
  dir_.WriteFile(u"empty.txt", "");
  ASSERT_EQ(file.Open(Path(u"empty.txt").c_str(), kRead), 1);
  EXPECT_EQ(file.GetSize(), 0);
  EXPECT_EQ(file.Seek(0), -1);
  EXPECT_EQ(file.GetPosition(), -1);
}

TEST_F(NativeFileTest, NamesThatDoNotFitAreRefused) {
  const std::size_t folder_length = Path(u"").size() + 1;
  ASSERT_LT(folder_length, 200u);
  const std::u16string fits = Path(std::u16string(255 - folder_length, u'n'));
  const std::u16string too_long = Path(std::u16string(256 - folder_length, u'm'));
  ASSERT_EQ(fits.size(), 255u);

  qvFile file;
  EXPECT_EQ(file.Open(too_long.c_str(), kWrite), 0);
  EXPECT_EQ(file.GetName(nullptr, 0), nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir_.Native(std::u16string(256 - folder_length, u'm'))));

  ASSERT_EQ(file.Open(fits.c_str(), kWrite), 1);
  EXPECT_EQ(std::u16string(file.GetName(nullptr, 0)), fits);
  // A copy of the name stays within the capacity given.
  char16_t full[300];
  char16_t cut[4];
  EXPECT_EQ(std::u16string(file.GetName(full, 300)), fits);
  EXPECT_EQ(std::u16string(full), fits);
  EXPECT_EQ(std::u16string(file.GetName(cut, 4)), fits);
  EXPECT_EQ(std::u16string(cut), fits.substr(0, 3));
}

TEST_F(NativeFileTest, DeleteRespectsProtectionUnlessForced) {
  qvFile file;
  // A leading dot is what hides a file on POSIX; Windows needs the bit.
  for (const auto& [name, attribute] : {std::pair{u"plain.txt", kAttrNormal},
                                        {u"ro.txt", kAttrReadOnly}, {u".hidden", kAttrHidden}}) {
    SCOPED_TRACE(qvtest::U8(name));
    const std::u16string path = Path(name);
    dir_.WriteFile(name, "x");
    file.SetAttributes(path.c_str(), attribute);
    ASSERT_EQ(file.GetAttributes(path.c_str()) & (kAttrReadOnly | kAttrHidden),
              attribute & (kAttrReadOnly | kAttrHidden));
    const bool protect = attribute != kAttrNormal;
    EXPECT_EQ(file.Delete(path.c_str(), 0), protect ? 0 : 1);
    EXPECT_EQ(OnDisk(name), protect);
    EXPECT_EQ(file.Delete(path.c_str(), 1), protect ? 1 : 0);  // forced
    EXPECT_FALSE(OnDisk(name));
  }

  std::filesystem::create_directory(dir_.Native(u"folder"));
  for (int force : {0, 1}) {
    EXPECT_EQ(file.Delete(Path(u"folder").c_str(), force), 0);
    EXPECT_TRUE(OnDisk(u"folder"));
    EXPECT_EQ(file.Delete(Path(u"missing").c_str(), force), 0);
  }
}

TEST_F(NativeFileTest, AttributesOfFilesAndFolders) {
  qvFile file;
  dir_.WriteFile(u"a.txt", "x");
  std::filesystem::create_directory(dir_.Native(u"folder"));
  EXPECT_EQ(file.GetAttributes(Path(u"missing").c_str()), 0xFFFFFFFFu);
  EXPECT_NE(file.GetAttributes(Path(u"folder").c_str()) & kAttrDirectory, 0u);
  ASSERT_EQ(file.SetAttributes(Path(u"a.txt").c_str(), kAttrReadOnly), 1);
  EXPECT_NE(file.GetAttributes(Path(u"a.txt").c_str()) & kAttrReadOnly, 0u);
  ASSERT_EQ(file.SetAttributes(Path(u"a.txt").c_str(), kAttrNormal), 1);
  EXPECT_EQ(file.GetAttributes(Path(u"a.txt").c_str()) & kAttrReadOnly, 0u);
  EXPECT_EQ(file.SetAttributes(Path(u"missing").c_str(), kAttrNormal), 0);

  // Lookups keep the system from asking about missing media only while
  // they run: the process's own setting is back afterwards.
  const std::uint32_t mode = os::SetErrorMode(0);
  file.GetAttributes(Path(u"missing").c_str());
  file.Exists(Path(u"missing").c_str());
  EXPECT_EQ(os::SetErrorMode(mode), 0u);
}

TEST_F(NativeFileTest, ExistenceAndSizesByName) {
  dir_.WriteFile(u"data.bin", std::string(1234, 'z'));
  dir_.WriteFile(u"notes.txt", "abc");
  std::filesystem::create_directory(dir_.Native(u"folder"));
  const struct {
    std::u16string_view name;
    int exists;
    std::uint32_t size;
  } cases[] = {
      {u"data.bin", 1, 1234}, {u"notes.txt", 1, 3},  {u"folder", 0, 0},
      {u"missing", 0, 0},     {u"*.bin", 1, 1234},   {u"note?.txt", 1, 3},
      {u"*.none", 0, 0},      {u"fold*", 0, 0},
  };
  qvFile file;
  for (const auto& c : cases) {
    SCOPED_TRACE(qvtest::U8(c.name));
    const std::u16string path = Path(c.name);
    EXPECT_EQ(file.Exists(path.c_str()), c.exists);
    EXPECT_EQ(file.GetSizeOf(path.c_str()), c.size);
    EXPECT_EQ(qvFile::GetSize64Of(path.c_str()), c.size);
  }
}

TEST_F(NativeFileTest, SizesOfFourGigabytesAndMore) {
  const std::uint64_t size = (std::uint64_t{1} << 32) + 5;
  dir_.WriteFile(u"big.bin", "");
  std::error_code error;
  std::filesystem::resize_file(dir_.Native(u"big.bin"), size, error);
  if (error) GTEST_SKIP() << "no room for a sparse file: " << error.message();
  const std::u16string path = Path(u"big.bin");
  qvFile file;
  EXPECT_EQ(qvFile::GetSize64Of(path.c_str()), size);
  EXPECT_EQ(file.GetSizeOf(path.c_str()), 5u);
  ASSERT_EQ(file.Open(path.c_str(), kRead), 1);
  EXPECT_EQ(file.GetSize(), 5);
}

}  // namespace
