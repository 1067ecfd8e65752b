#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "archive_builder.h"
#include "file/archive.h"
#include "file/big_file.h"
#include "support/log_text.h"

namespace {

using qvtest::ArchiveMember;
using qvtest::CountingBytes;

BlowfishSchedule TestSchedule() {
  BlowfishSchedule schedule;
  const char key[] = "archive key";
  EXPECT_TRUE(BlowfishSetKey(&schedule, key, sizeof key - 1));
  return schedule;
}

class ArchiveRead : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    members_ = {{u"Short.dat", CountingBytes(13, 1)},
                {u"Long.dat", CountingBytes(20, 50)},
                {u"Empty.dat", ""}};
    schedule_ = TestSchedule();
    qvtest::BuildArchive(dir_, u"test.arc", members_, GetParam() ? &schedule_ : nullptr,
                         &archive_);
  }

  qvtest::ScratchDir dir_;
  std::vector<ArchiveMember> members_;
  BlowfishSchedule schedule_;
  qvArchive archive_;
};

TEST_P(ArchiveRead, EveryStartAndLengthMatchesThePlainBytes) {
  for (const ArchiveMember& member : members_) {
    const std::uint32_t size = static_cast<std::uint32_t>(member.bytes.size());
    for (std::uint32_t start = 0; start < size; ++start) {
      for (std::uint32_t length = 1; length <= size + 2; ++length) {
        SCOPED_TRACE(testing::Message() << qvtest::U8(member.name) << " start " << start
                                        << " length " << length);
        qvBigFile file(&archive_);
        ASSERT_EQ(file.Open(member.name.c_str(), QVFILE_READ), 1);
        ASSERT_EQ(file.Seek(start), static_cast<std::int32_t>(start));
        std::string got(length + 8, '\xEE');
        const std::int32_t expected = static_cast<std::int32_t>(std::min(length, size - start));
        ASSERT_EQ(file.Read(got.data(), length), expected);
        EXPECT_EQ(got.substr(0, expected), member.bytes.substr(start, expected));
        EXPECT_EQ(got.substr(expected), std::string(length + 8 - expected, '\xEE'));
        EXPECT_EQ(file.GetPosition(), static_cast<std::int32_t>(start) + expected);

        // A second read carries on where the first stopped.
        const std::uint32_t position = start + expected;
        if (position < size) {
          std::string next(size, '\0');
          ASSERT_EQ(file.Read(next.data(), size), static_cast<std::int32_t>(size - position));
          EXPECT_EQ(next.substr(0, size - position), member.bytes.substr(position));
        }
      }
    }
  }
}

TEST_P(ArchiveRead, EndOfMemberAndSeeksPastIt) {
  qvBigFile file(&archive_);
  ASSERT_EQ(file.Open(u"long.DAT", QVFILE_READ), 1);
  EXPECT_EQ(file.GetSize(), 20);
  char buffer[32];
  ASSERT_EQ(file.Read(buffer, sizeof buffer), 20);
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);

  // At or past the end: the last byte, and the size as result.
  EXPECT_EQ(file.Seek(20), 20);
  EXPECT_EQ(file.GetPosition(), 19);
  EXPECT_EQ(file.Seek(0x7FFFFFFF), 20);
  ASSERT_EQ(file.Read(buffer, sizeof buffer), 1);
  EXPECT_EQ(buffer[0], members_[1].bytes[19]);

  EXPECT_EQ(file.Move(-5, 1), 15);
  EXPECT_EQ(file.Move(-100, 1), 0);
  EXPECT_EQ(file.Move(3, 1), 3);

  qvBigFile empty(&archive_);
  ASSERT_EQ(empty.Open(u"empty.dat", QVFILE_READ), 1);
  EXPECT_EQ(empty.Seek(4), 0);
  EXPECT_EQ(empty.GetPosition(), 0);
  EXPECT_EQ(empty.Read(buffer, sizeof buffer), 0);
}

TEST_P(ArchiveRead, ShortArchiveFileGivesNoBytesFromBeyondIt) {
  // The directory claims more than the file holds.
  ASSERT_EQ(archive_.AddMember(u"beyond.dat", 6 + 13 + 20 - 4, 16), 1);
  qvtest::DebugLogCapture log;
  qvBigFile file(&archive_);
  ASSERT_EQ(file.Open(u"beyond.dat", QVFILE_READ), 1);
  char buffer[16];
  if (GetParam()) {
    // A whole block cannot be read: no bytes, position unchanged.
    EXPECT_EQ(file.Read(buffer, sizeof buffer), -1);
    EXPECT_EQ(file.GetPosition(), 0);
    EXPECT_TRUE(qvtest::Logged(log, "読み込みに失敗 (beyond.dat:16)"));

    // The first block is there, the second (read whole for a short tail)
    // is not.
    ASSERT_EQ(archive_.AddMember(u"tail.dat", 6 + 13 + 20 - 12, 16), 1);
    qvBigFile tail(&archive_);
    ASSERT_EQ(tail.Open(u"tail.dat", QVFILE_READ), 1);
    ASSERT_EQ(tail.Read(buffer, 8), 8);
    EXPECT_EQ(tail.Read(buffer, 3), -1);
    EXPECT_EQ(tail.GetPosition(), 8);
    EXPECT_TRUE(qvtest::Logged(log, "暗号化解除エラー (tail.dat:16)"));
  } else {
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, 4), members_[1].bytes.substr(16));
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
  }
}

// Two threads (as the file server's preloading thread and its owner) read
// their own members of one archive at once; neither may ever see bytes of
// the other's member.
TEST_P(ArchiveRead, MembersReadOnTwoThreadsNeverMix) {
  const std::vector<ArchiveMember> members = {{u"a.dat", CountingBytes(4096, 3)},
                                              {u"b.dat", CountingBytes(4096, 101)}};
  qvArchive archive;
  qvtest::BuildArchive(dir_, u"two.arc", members, GetParam() ? &schedule_ : nullptr, &archive);
  std::atomic<int> wrong{0};
  auto reader = [&](const ArchiveMember& member, unsigned seed) {
    qvBigFile file(&archive);
    if (file.Open(member.name.c_str(), QVFILE_READ) != 1) {
      ++wrong;
      return;
    }
    char got[61];
    for (int i = 0; i < 2000; ++i) {
      seed = seed * 1103515245u + 12345u;
      const std::uint32_t start = (seed >> 8) % (4096 - sizeof got);
      file.Seek(start);
      if (file.Read(got, sizeof got) != static_cast<std::int32_t>(sizeof got) ||
          member.bytes.compare(start, sizeof got, got, sizeof got) != 0) {
        ++wrong;
      }
    }
  };
  std::thread first(reader, std::cref(members[0]), 1u);
  std::thread second(reader, std::cref(members[1]), 2u);
  first.join();
  second.join();
  EXPECT_EQ(wrong.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(PlainAndEnciphered, ArchiveRead, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Enciphered" : "Plain"; });

TEST(Archive, NamesMatchWithTheEngineCaseWalk) {
  qvArchive archive;
  ASSERT_EQ(archive.AddMember(u"Data/Face.HG3", 0, 1), 1);
  ASSERT_EQ(archive.AddMember(u"日ab", 0, 1), 1);
  // After a unit above U+00FF the next unit keeps its case on both sides.
  for (const auto& [name, found] : {std::pair{u"data/face.hg3", 1}, {u"DATA/FACE.HG3", 1},
                                    {u"data/face.hg", 0}, {u"日aB", 1}, {u"日ab", 1}, {u"日Ab", 0}})
    EXPECT_EQ(archive.Contains(name), found) << qvtest::U8(name);
  EXPECT_EQ(archive.Contains(nullptr), 0);

  // The slot keeps the name as it was asked for.
  qvBigFile file(&archive);
  ASSERT_EQ(file.Open(u"data/FACE.hg3", QVFILE_READ), 1);
  char16_t name[8];
  EXPECT_EQ(std::u16string(file.GetName(nullptr, 0)), u"data/FACE.hg3");
  file.GetName(name, 8);
  EXPECT_EQ(std::u16string(name), u"data/FA");
  EXPECT_EQ(file.Exists(u"DATA/face.hg3"), 1);
  EXPECT_EQ(file.GetAttributes(nullptr), 0x80u);
  EXPECT_EQ(file.GetSizeOf(u"data/FACE.hg3"), 0xFFFFFFFFu);  // no size by name: -1

  // Names the slot cannot hold are refused.
  const std::u16string long_name(kArchiveNameCapacity, u'a');
  EXPECT_EQ(archive.AddMember(long_name.c_str(), 0, 1), 0);
  EXPECT_EQ(archive.SetName(long_name.c_str()), 0);
  EXPECT_EQ(archive.AddMember(nullptr, 0, 1), 0);
  EXPECT_EQ(archive.OpenFile(nullptr), 0);
  qvBigFile other(&archive);
  EXPECT_EQ(other.Open(long_name.c_str(), QVFILE_READ), 0);
}

TEST(Archive, OpenFailuresAndClosedStates) {
  qvtest::DebugLogCapture log;
  qvArchive archive;
  ASSERT_EQ(archive.SetSlotCount(1), 1);
  ASSERT_EQ(archive.AddMember(u"a", 0, 4), 1);
  char buffer[4];

  qvBigFile no_archive(nullptr);
  EXPECT_EQ(no_archive.Open(u"a", QVFILE_READ), 0);
  EXPECT_EQ(no_archive.Read(buffer, 4), -1);
  EXPECT_EQ(no_archive.GetSize(), -1);
  EXPECT_EQ(no_archive.Exists(u"a"), 0);

  qvBigFile file(&archive);
  EXPECT_EQ(file.Read(buffer, 4), -1);  // never opened
  EXPECT_EQ(file.GetSize(), -1);
  EXPECT_EQ(file.Open(u"a", QVFILE_WRITE), 0);
  EXPECT_EQ(file.Open(u"missing", QVFILE_READ), 0);
  EXPECT_EQ(file.Read(buffer, 4), 0);  // after a failed open
  EXPECT_EQ(file.GetSize(), 0);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(file.GetName(nullptr, 0), nullptr);

  // The failed open used no slot: the only one is still free.
  qvBigFile other(&archive);
  ASSERT_EQ(other.Open(u"A", QVFILE_READ), 1);
  EXPECT_EQ(archive.SetSlotCount(4), 0);  // not while a member is open
  EXPECT_EQ(other.Close(), 1);
  EXPECT_EQ(other.Close(), 0);
  EXPECT_EQ(archive.SetSlotCount(4), 1);

  // Without an archive file the read fails instead of ending the process.
  ASSERT_EQ(other.Open(u"a", QVFILE_READ), 1);
  EXPECT_EQ(other.Read(buffer, 4), -1);
  EXPECT_EQ(other.GetPosition(), 0);

  EXPECT_TRUE(qvtest::Logged(log, "qvBigFile : 統合ファイルがオープンされていません"));
  EXPECT_TRUE(qvtest::Logged(log, "qvBigFile : ファイルハンドルが無効です"));
  EXPECT_TRUE(qvtest::Logged(log, "読み込みに失敗 (a:4)"));
}

#ifndef _WIN32
// The assertion box is a real message box under Wine; these run natively.
TEST(ArchiveDeath, RunningOutOfSlotsEndsTheProcess) {
  qvArchive archive;
  ASSERT_EQ(archive.SetSlotCount(2), 1);
  ASSERT_EQ(archive.AddMember(u"a", 0, 1), 1);
  qvBigFile first(&archive), second(&archive), third(&archive);
  ASSERT_EQ(first.Open(u"a", QVFILE_READ), 1);
  ASSERT_EQ(second.Open(u"a", QVFILE_READ), 1);
  EXPECT_EXIT(third.Open(u"a", QVFILE_READ), ::testing::ExitedWithCode(3),
              "同時にオープンできるファイル数を超えています \\(MAX:2\\) : a");
}
#endif

}  // namespace
