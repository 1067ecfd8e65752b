// qvMemFile: reading loaded and shared blocks, writing into a growing one.
#include "support/log_text.h"
#include "support/debug_log_capture.h"
#include "file/memory_file.h"
#include "base/private_heap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using qvtest::Logged;

class MemoryFileTest : public ::testing::Test {
 protected:
  void SetUp() override { CreatePrivateHeap(10 * 1024 * 1024); }
};

// A source file with a name, a size and fixed contents.
class FakeSource : public qvFileBase {
 public:
  const char16_t* GetName(char16_t*, std::size_t) override { return u"data\\a.bin"; }
  std::int32_t GetSize() override { return size; }
  std::int32_t Read(void* buffer, std::uint32_t count) override {
    std::memcpy(buffer, "hello", std::min<std::uint32_t>(count, 5));
    return 5;
  }
  std::int32_t size = 5;
};

TEST_F(MemoryFileTest, ReadsToTheEndWhichReadsAsMinusOne) {
  qvMemFile file;
  ASSERT_EQ(file.LoadFromMemory(u"x", "abcdef", 6), 1);
  char buffer[8] = {};
  EXPECT_EQ(file.Read(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_EQ(file.Read(buffer, 4), 2);
  EXPECT_EQ(file.Read(buffer, 4), -1);
  EXPECT_EQ(file.GetSize(), 6);
  // Seeking past the end lands on the last byte.
  EXPECT_EQ(file.Seek(100), 5);
  EXPECT_EQ(file.Read(buffer, 4), 1);
  EXPECT_EQ(buffer[0], 'f');
  EXPECT_EQ(file.Read(buffer, 4), -1);
  EXPECT_EQ(file.Seek(1), 1);
  EXPECT_EQ(file.GetPosition(), 1);
  // A second load is refused.
  EXPECT_EQ(file.LoadFromMemory(u"y", "zz", 2), 0);
  char16_t name[4];
  EXPECT_EQ(std::u16string(file.GetName(name, 4)), u"x");
  EXPECT_EQ(std::u16string(name), u"x");
  // A longer name is cut to the room given, its terminator included.
  qvMemFile named;
  ASSERT_EQ(named.LoadFromMemory(u"abcdef", "z", 1), 1);
  char16_t cut[5] = {u'#', u'#', u'#', u'#', u'#'};
  named.GetName(cut, 4);
  EXPECT_EQ(std::u16string(cut, 5), std::u16string(u"abc\0#", 5));
  EXPECT_EQ(file.GetAttributes(u"x"), 0u);
}

TEST_F(MemoryFileTest, WritingGrowsByTheAllocationStep) {
  qvMemFile file;
  ASSERT_EQ(file.Allocate(16), 1);
  const char data[21] = "0123456789abcdefghij";
  EXPECT_EQ(file.Write(data, 20), 20);
  EXPECT_EQ(file.GetSize(), 32);
  void* bytes = nullptr;
  std::uint32_t length = 0;
  ASSERT_EQ(file.GetData(&bytes, &length), 1);
  EXPECT_EQ(length, 20u);
  EXPECT_EQ(std::memcmp(bytes, data, 20), 0);
  // Writing exactly to the end of the block still grows it, keeping what
  // was written.
  EXPECT_EQ(file.Write(data, 12), 12);
  EXPECT_EQ(file.GetSize(), 48);
  ASSERT_EQ(file.GetData(&bytes, &length), 1);
  EXPECT_EQ(std::string(static_cast<const char*>(bytes), length),
            std::string(data, 20) + std::string(data, 12));
  // A loaded file does not grow.
  qvMemFile loaded;
  ASSERT_EQ(loaded.LoadFromMemory(u"", "abcd", 4), 1);
  ASSERT_EQ(loaded.Seek(2), 2);
  EXPECT_EQ(loaded.Write("xyz", 3), 2);
  EXPECT_EQ(loaded.GetSize(), 4);
}

TEST_F(MemoryFileTest, SharingReadsTheOwnersBlockAndNeverFreesIt) {
  qvMemFile owner;
  ASSERT_EQ(owner.LoadFromMemory(u"shared", "abc", 3), 1);
  {
    qvMemFile reader;
    ASSERT_EQ(reader.ShareFrom(&owner), 1);
    char c = 0;
    EXPECT_EQ(reader.Read(&c, 1), 1);
    EXPECT_EQ(c, 'a');
    EXPECT_EQ(reader.Close(), 1);
    EXPECT_EQ(reader.Close(), 0);
  }
  char buffer[3];
  EXPECT_EQ(owner.Read(buffer, 3), 3);
  EXPECT_EQ(std::memcmp(buffer, "abc", 3), 0);
  qvMemFile nothing;
  EXPECT_EQ(nothing.ShareFrom(nullptr), 0);
}

TEST_F(MemoryFileTest, LoadFromFileCopiesNameAndBytes) {
  FakeSource source;
  qvMemFile file;
  EXPECT_EQ(file.LoadFromFile(nullptr), 0);
  ASSERT_EQ(file.LoadFromFile(&source), 1);
  EXPECT_EQ(std::u16string(file.GetName(nullptr, 0)), u"data\\a.bin");
  char buffer[5];
  EXPECT_EQ(file.Read(buffer, 5), 5);
  EXPECT_EQ(std::memcmp(buffer, "hello", 5), 0);
  // An empty file is an empty block; a source that cannot tell its size, none.
  source.size = 0;
  qvMemFile empty, failed;
  ASSERT_EQ(empty.LoadFromFile(&source), 1);
  EXPECT_EQ(empty.GetSize(), 0);
  source.size = -1;
  EXPECT_EQ(failed.LoadFromFile(&source), 0);
}

// Without a heap no block can be had: every loader refuses and the file
// stays without one, never reading into or copying to nowhere.
TEST_F(MemoryFileTest, ABlockThatCannotBeAllocatedLoadsNothing) {
  DestroyPrivateHeap();
  FakeSource source;
  qvMemFile from_file, from_memory, allocated;
  EXPECT_EQ(from_file.LoadFromFile(&source), 0);
  EXPECT_EQ(from_memory.LoadFromMemory(u"x", "abc", 3), 0);
  EXPECT_EQ(allocated.Allocate(16), 0);
  for (qvMemFile* file : {&from_file, &from_memory, &allocated}) EXPECT_EQ(file->GetSize(), -1);
  CreatePrivateHeap(10 * 1024 * 1024);
}

TEST_F(MemoryFileTest, WithoutABlockEverythingFailsAndReadsLog) {
  qvMemFile file;
  EXPECT_EQ(file.Open(u"anything", QVFILE_READ), 1);
  qvtest::DebugLogCapture log;
  char c;
  EXPECT_EQ(file.Read(&c, 1), -1);
  EXPECT_EQ(file.Write(&c, 1), -1);
  EXPECT_TRUE(Logged(log, "qvMemFile : ファイルがオープンされていません"));
  EXPECT_EQ(file.GetPosition(), -1);
  EXPECT_EQ(file.Seek(0), -1);
  EXPECT_EQ(file.GetSize(), -1);
  EXPECT_EQ(file.GetName(nullptr, 0), nullptr);
  EXPECT_EQ(file.GetData(nullptr, nullptr), 0);
  EXPECT_EQ(file.Close(), 0);
}

}  // namespace
