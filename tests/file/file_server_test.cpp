#include "file/file_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "archive_builder.h"
#include "support/log_text.h"
#include "file/big_file.h"
#include "file/memory_file.h"
#include "file/native_file.h"
#include "base/private_heap.h"

namespace {

using qvtest::U16;

// Reads a whole opened file and deletes it; "<null>" for no file.
std::string Drain(qvFileBase* file) {
  if (file == nullptr) return "<null>";
  std::unique_ptr<qvFileBase> owned(file);
  std::string bytes(256, '\0');
  const std::int32_t got = file->Read(bytes.data(), 256);
  bytes.resize(got > 0 ? got : 0);
  return bytes;
}

// The table of the tests:
//   folder slot 0 "bg"  -> bg   plain files, archive slot 0 "bg" {a.txt, c.txt}
//   folder slot 1 "bg"  -> bg2  no plain files
//   folder slot 2 "se"  -> se   plain files, no archive
//   group "set.lst": bg2 with archive slot 0, plain files
//   alias "pic" -> "bg", ".png" -> ".txt"
//   archive list: {z.txt}
class FileServerTable : public ::testing::Test {
 protected:
  void SetUp() override {
    CreatePrivateHeap(1 << 20);
    dir_.WriteFile(u"bg\\a.txt", "native a");
    dir_.WriteFile(u"bg2\\a2.txt", "native bg2 a2");
    dir_.WriteFile(u"bg2\\b.txt", "native b");
    dir_.WriteFile(u"se\\s.txt", "native s");

    auto* bg = new qvArchive();
    qvtest::BuildArchive(dir_, u"bg.arc", {{u"a.txt", "archive a"}, {u"c.txt", "archive c"}},
                         nullptr, bg);
    bg->SetName(u"bg");
    ASSERT_EQ(server_.RegisterArchive(0, bg), 1);
    auto* loose = new qvArchive();
    qvtest::BuildArchive(dir_, u"loose.arc", {{u"z.txt", "archive z"}}, nullptr, loose);
    ASSERT_EQ(server_.AddArchive(loose), 1);

    ASSERT_EQ(server_.RegisterFolder(0, u"bg", dir_.Path(u"bg").c_str(), true), 1);
    ASSERT_EQ(server_.RegisterFolder(1, u"bg", dir_.Path(u"bg2").c_str(), false), 1);
    ASSERT_EQ(server_.RegisterFolder(2, u"se", dir_.Path(u"se").c_str(), true), 1);
    ASSERT_EQ(server_.AddGroupEntry(u"set.lst", dir_.Path(u"bg2").c_str(), 0, true), 1);
    ASSERT_EQ(server_.AddAlias(u"PIC", u"bg", u".png", u".txt"), 1);
  }
  void TearDown() override { DestroyPrivateHeap(); }

  std::string Open(const char16_t* name, std::uint32_t flags) {
    return Drain(server_.OpenFile(name, flags | kServerQuiet));
  }

  qvtest::ScratchDir dir_;
  qvFileServer server_;
};

// Order 1: the name as it stands; 2: archives by their name; 3: the plain
// file first; 4: the archive first. Groups replace the tables, aliases
// rename folder and file, and the archive list comes first whatever the
// order.
TEST_F(FileServerTable, EachOrderSearchesWhereItSays) {
  const std::u16string plain_a = dir_.Path(u"bg\\a.txt");
  const struct {
    const char16_t* name;
    std::uint32_t order;
    const char* found;
  } cases[] = {
      {plain_a.c_str(), 1, "native a"}, {u"bg/a.txt", 1, "<null>"},
      {u"BG/c.txt", 2, "archive c"},    {u"bg/b.txt", 2, "<null>"},
      {u"se/a.txt", 2, "<null>"},       {u"bg/a.txt", 4, "archive a"},
      {u"Se/s.txt", 4, "native s"},     {u"bg/b.txt", 4, "<null>"},  // bg2 allows no plain files
      {u"s.txt", 4, "<null>"},          {u"bg/a.txt", 3, "native a"},
      {u"bg/c.txt", 3, "archive c"},    {u"bg/b.txt", 3, "<null>"},
      {u"b.txt", 3, "native b"},        {u"s.txt", 3, "native s"},  // every entry, plain files always
      {u"bg/a.txt", 0, "<null>"},       {u"bg/a.txt", 5, "<null>"},
      {u"set.LST/b.txt", 3, "native b"}, {u"set.lst/b.txt", 2, "<null>"},
      {u"set.lst/a.txt", 2, "archive a"}, {u"set.lst/a2.txt", 4, "native bg2 a2"},
      {u"set.lst/a.txt", 3, "archive a"}, {u"other.lst/a.txt", 3, "<null>"},
      {u"pic/a.png", 4, "archive a"},   {u"Pic/a.png", 3, "native a"},
      {u"anything/Z.TXT", 1, "archive z"}, {u"z.txt", 9, "archive z"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Open(c.name, c.order), c.found) << qvtest::U8(c.name) << " order " << c.order;
  EXPECT_EQ(server_.AddGroupEntry(u"notagroup", u"x", -1, true), 0);
  EXPECT_EQ(server_.AddGroupEntry(u"g.lst", u"x", 256, true), 0);
}

TEST_F(FileServerTable, OnlyOrderThreeOfTheTableTakesAnEmptyPathAsTheBareName) {
  dir_.WriteFile(u"here.txt", "native here");
  dir_.WriteFile(u"d\\here.txt", "native d");
  ASSERT_EQ(server_.RegisterFolder(3, u"cur", u"", true), 1);
  ASSERT_EQ(server_.RegisterFolder(4, u"one", u"d", true), 1);  // a one-letter path is a folder
  ASSERT_EQ(server_.AddGroupEntry(u"cur.lst", u"", -1, true), 1);
  const qvtest::ScopedCurrentFolder inside(dir_.Native());
  EXPECT_EQ(Open(u"cur/here.txt", 3), "native here");
  EXPECT_EQ(Open(u"one/here.txt", 3), "native d");
  // Everywhere else an empty path gives "\here.txt", at the drive's root.
  EXPECT_EQ(Open(u"cur/here.txt", 4), "<null>");
  EXPECT_EQ(Open(u"cur.lst/here.txt", 3), "<null>");
  EXPECT_EQ(Open(u"cur.lst/here.txt", 4), "<null>");
}

TEST_F(FileServerTable, FlagsCopyCreateAndSilence) {
  qvFileBase* copied = server_.OpenFile(u"bg/c.txt", 2 | kServerIntoMemory);
  ASSERT_NE(dynamic_cast<qvMemFile*>(copied), nullptr);
  EXPECT_EQ(Drain(copied), "archive c");

  const std::u16string created = dir_.Path(u"se\\new.txt");
  qvFileBase* writer = server_.OpenFile(created.c_str(), kServerCreateForWriting);
  ASSERT_NE(dynamic_cast<qvFile*>(writer), nullptr);
  EXPECT_EQ(writer->Write("new", 3), 3);
  delete writer;
  EXPECT_EQ(dir_.ReadFile(u"se\\new.txt"), "new");

  qvtest::DebugLogCapture log;
  EXPECT_EQ(server_.OpenFile(u"bg/missing.txt", 3), nullptr);
  EXPECT_EQ(server_.OpenFile(u"bg/quiet.txt", 3 | kServerQuiet), nullptr);
  EXPECT_TRUE(qvtest::Logged(log, "Open file error > bg/missing.txt"));
  EXPECT_FALSE(qvtest::Logged(log, "quiet.txt"));
}

TEST_F(FileServerTable, RegistrationRefusesWhatDoesNotFit) {
  const std::u16string long_name(kServerFolderNameCapacity, u'n');
  EXPECT_EQ(server_.RegisterFolder(256, u"x", u"x", true), 0);
  EXPECT_EQ(server_.RegisterFolder(3, long_name.c_str(), u"x", true), 0);
  EXPECT_EQ(server_.RegisterArchive(0, new qvArchive()), 0);  // taken; deleted
  EXPECT_EQ(server_.RegisterArchive(300, new qvArchive()), 0);
  EXPECT_EQ(server_.AddArchive(nullptr), 0);
  EXPECT_EQ(server_.AddAlias(u"a", nullptr, u"", u""), 0);
  EXPECT_EQ(server_.RequestPreload(u"bg/a.txt", 1, 4), 0);  // no preloading
}

TEST(FileServer, InstanceLivesWithTheObject) {
  EXPECT_EQ(qvFileServer::Instance(), nullptr);
  {
    qvFileServer server;
    EXPECT_EQ(qvFileServer::Instance(), &server);
    EXPECT_EQ(std::u16string(server.GetBaseFolder()), u".");
  }
  EXPECT_EQ(qvFileServer::Instance(), nullptr);
}

class FileServerPreload : public ::testing::Test {
 protected:
  void SetUp() override { CreatePrivateHeap(1 << 20); }
  void TearDown() override { DestroyPrivateHeap(); }

  // Waits (bounded) until the thread has gone idle with `name` loaded.
  static bool WaitLoaded(qvFileServer& server, const char16_t* name) {
    for (int i = 0; i < 5000; ++i) {
      if (server.IsPreloaded(name) && server.GetLoadingGroup() == kServerIdleGroup) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  qvtest::ScratchDir dir_;
};

TEST_F(FileServerPreload, LoadsGroupByGroupAndSharesTheBlocks) {
  dir_.WriteFile(u"one.txt", "first");
  dir_.WriteFile(u"two.txt", "second");
  dir_.WriteFile(u"three.txt", "third");
  const std::u16string one = dir_.Path(u"one.txt"), two = dir_.Path(u"two.txt"),
                       three = dir_.Path(u"three.txt"), missing = dir_.Path(u"none.txt");
  qvtest::DebugLogCapture log;
  {
    qvFileServer server(true);
    EXPECT_EQ(server.GetLoadingGroup(), kServerIdleGroup);
    ASSERT_EQ(server.RequestPreload(one.c_str(), 1, 1), 1);
    ASSERT_EQ(server.RequestPreload(missing.c_str(), 1, 1), 1);
    ASSERT_EQ(server.RequestPreload(two.c_str(), 2, 1), 1);
    ASSERT_TRUE(WaitLoaded(server, two.c_str()));
    EXPECT_EQ(server.IsPreloaded(one.c_str()), 1);
    EXPECT_EQ(server.IsPreloaded(missing.c_str()), 1);

    // The loaded copy answers even after the file is gone.
    std::filesystem::remove(dir_.Native(u"one.txt"));
    qvFileBase* share = server.OpenFile(one.c_str(), 1);
    ASSERT_NE(dynamic_cast<qvMemFile*>(share), nullptr);
    EXPECT_EQ(Drain(share), "first");

    // A request added later is loaded on the next turn.
    ASSERT_EQ(server.RequestPreload(three.c_str(), 3, 1), 1);
    ASSERT_TRUE(WaitLoaded(server, three.c_str()));

    server.ClearPreload();
    EXPECT_EQ(server.IsPreloaded(two.c_str()), 0);
    EXPECT_EQ(server.OpenFile(one.c_str(), 1 | kServerQuiet), nullptr);
    EXPECT_EQ(Drain(server.OpenFile(two.c_str(), 1)), "second");
  }
  // The failed request was tried in queue order, before the second group.
  const std::string text = qvtest::LogText(log);
  EXPECT_NE(text.find("Open file error > " + qvtest::U8(missing)), std::string::npos);
}

TEST_F(FileServerPreload, PreloadingOnlyEverReads) {
  dir_.WriteFile(u"keep.txt", "keep me");
  const std::u16string keep = dir_.Path(u"keep.txt");
  qvFileServer server(true);
  // "Create for writing" in a request would empty the file.
  ASSERT_EQ(server.RequestPreload(keep.c_str(), 1, kServerCreateForWriting | 1), 1);
  ASSERT_TRUE(WaitLoaded(server, keep.c_str()));
  EXPECT_EQ(dir_.ReadFile(u"keep.txt"), "keep me");
  qvFileBase* share = server.OpenFile(keep.c_str(), 1);
  ASSERT_NE(dynamic_cast<qvMemFile*>(share), nullptr);
  EXPECT_EQ(Drain(share), "keep me");
}

#ifndef _WIN32
TEST(FileServerDeath, ASecondInstanceEndsTheProcess) {
  qvFileServer server;
  EXPECT_EXIT(qvFileServer second, ::testing::ExitedWithCode(3),
              "qvFileServer は複数作成出来ません");
}
#endif

}  // namespace
